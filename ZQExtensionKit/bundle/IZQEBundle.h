// IZQEBundle: the interface of a plug-in library's bundle object. When the
// kit loads a library whose package names a bundle class ("BundleClassId"),
// it creates one object of that class for IZQEBundle, calls Initialize()
// once, right after creation, and keeps the object until the bundle manager
// goes away, releasing it before it closes the library.
//
// Library authors normally derive their bundle class from ZQEBaseBundle. The
// slot order below is shared with separately compiled plug-in libraries and
// never changes.
//
// Ownership: GetContext() returns the bundle's own context, valid as long as
// the bundle object; the caller neither owns nor frees it. Failure: none is
// reported; Initialize() has no result. Threads: the kit creates and
// initialises bundle objects on the thread that loads bundles.

#ifndef ZQEXTENSIONKIT_BUNDLE_IZQEBUNDLE_H_
#define ZQEXTENSIONKIT_BUNDLE_IZQEBUNDLE_H_

#include "ZQExtensionKit/bundle/ZQEBundleContext.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "dlcom/unknown.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT IZQEBundle : public by::IBaseUnknown {
 public:
  // Slot 3. Called once, right after the kit created the object.
  virtual void Initialize() = 0;
  // Slot 4. Never null for a constructed bundle.
  virtual ZQEBundleContext* GetContext() = 0;

 protected:
  ~IZQEBundle() = default;
};
BY_DECLARE_IID(IZQEBundle, IID_IZQEBundle)

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_BUNDLE_IZQEBUNDLE_H_
