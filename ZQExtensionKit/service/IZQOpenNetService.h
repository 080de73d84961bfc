// IZQOpenNetService: the host's open network service, through which
// extensions issue requests (see ZQOpenNetworkAPI.h), and ZQStartRequestError,
// the failure record it reports.
//
// The host implements the service as a component class and registers it with
// the service manager under the name "OpenNetService" and this interface's
// id, before extensions make requests:
//
//   class HostNetService : public IZQOpenNetService, public by::CUnknownImp {
//    public:
//     BY_UNKNOWN_IMP(IZQOpenNetService)
//     bool StartNetRequest(...) override { ... }
//   };
//   zqextensionkit::ZQServiceManager::GetInstance()
//       ->RegisterService<HostNetService, IZQOpenNetService>(
//           "OpenNetService", kHostNetServiceClsid,
//           "{435BC68E-6CAD-4C14-B534-7D2B8DE3940B}", /*isSingleton=*/true);
//
// Contract of StartNetRequest: it starts the request and returns whether it
// was started; later, on any thread and at any time, it calls exactly one of
// the two continuations (or neither, if the request never started). The kit
// does not wait for them. The continuations passed by the kit own everything
// they need: the service may copy them and call the copies after
// StartNetRequest has returned.
//
// Threads: the kit calls StartNetRequest from whatever thread the extension
// requests on, with none of the kit's locks held.

#ifndef ZQEXTENSIONKIT_SERVICE_IZQOPENNETSERVICE_H_
#define ZQEXTENSIONKIT_SERVICE_IZQOPENNETSERVICE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "dlcom/unknown.h"

// A failed request: a code of the host's choosing and a message. A plain
// copyable value.
class ZQStartRequestError {
 public:
  // An error with `code` and `message`.
  ZQStartRequestError(int32_t code, std::string message)
      : code_(code), message_(std::move(message)) {}

  // The code, and the message.
  int32_t GetCode() const { return code_; }
  std::string GetMsg() const { return message_; }

 private:
  int32_t code_;
  std::string message_;
};

class ZQEXTENSIONKIT_EXPORT IZQOpenNetService : public by::IBaseUnknown {
 public:
  // Slot 3. `bundleId` is the bundle of the extension that asks; `path`,
  // `params` and `method` are passed through as the extension gave them.
  virtual bool StartNetRequest(
      const std::string& bundleId,
      const std::string& path,
      const std::string& params,
      const std::string& method,
      const std::function<void(const std::string& result)>& onSuccess,
      const std::function<void(ZQStartRequestError& error)>& onFailure) = 0;

 protected:
  ~IZQOpenNetService() = default;
};
BY_DECLARE_IID(IZQOpenNetService, IID_IZQOpenNetService)

#endif  // ZQEXTENSIONKIT_SERVICE_IZQOPENNETSERVICE_H_
