// IZQBaseExtension: the interface every extension instance answers beside
// the interface of its extension point. Through it the kit reaches the
// instance's context, fills it from the extension's record and calls
// Initialization(), before it asks the instance for the point's interface.
//
// Extension classes normally derive from ZQBaseExtension, which implements
// all of it. The slot order below is shared with separately compiled plug-in
// libraries and never changes.
//
// Ownership: GetContext() returns the instance's own context, valid as long
// as the instance; the caller neither owns nor frees it. Results are copies.
// Failure: the lookups return false for an absent key and leave the
// out-parameter as it was; nothing logs or throws.
// Threads: as for the context (ZQExtensionContext.h): no locking.

#ifndef ZQEXTENSIONKIT_EXTENSION_IZQBASEEXTENSION_H_
#define ZQEXTENSIONKIT_EXTENSION_IZQBASEEXTENSION_H_

#include <string>
#include <vector>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "ZQExtensionKit/extension/ZQExtensionContext.h"
#include "dlcom/unknown.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT IZQBaseExtension : public by::IBaseUnknown {
 public:
  // Slot 3. Called once the context is filled, on every hand-out; the kit
  // does not check the result.
  virtual HRESULT Initialization() = 0;
  // Slot 4. The payload of `key`; false (and `value` untouched) when absent.
  virtual bool ValueForKey(const std::string& key, std::string& value) = 0;
  // Slot 5. Replaces `constraint` with the values of `key`; false (and
  // `constraint` untouched) when absent.
  virtual bool ConstraintForKey(const std::string& key,
                                std::vector<std::string>& constraint) = 0;
  // Slot 6.
  virtual std::string GetResourcesPath() = 0;
  // Slot 7.
  virtual LaunchParams GetLaunchParams() = 0;
  // Slot 8. Never null for a constructed instance.
  virtual ZQExtensionContext* GetContext() = 0;
  // Slot 9. The "bin" directory under the extension's package.
  virtual std::string GetBinDirPath() = 0;

 protected:
  ~IZQBaseExtension() = default;
};
BY_DECLARE_IID(IZQBaseExtension, IID_IZQBaseExtension)

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EXTENSION_IZQBASEEXTENSION_H_
