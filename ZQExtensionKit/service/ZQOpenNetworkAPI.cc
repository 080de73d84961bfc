#include "ZQExtensionKit/service/ZQOpenNetworkAPI.h"

#include "ZQExtensionKit/defines/internal/ZQEForeignCall.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/service/IZQOpenNetService.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "dlcom/comsentry.h"

namespace zqextensionkit {

namespace {

constexpr char kOpenNetServiceName[] = "OpenNetService";

void LogContinuationFailed() {
  ZQELogService::GetInstance()->LogMessage(
      0,
      "open network api - request continuation failed, because of callback "
      "execute failed");
}

}  // namespace

ZQOpenNetworkAPI::ZQOpenNetworkAPI(const std::string& bundleId)
    : bundleId_(bundleId) {}

bool ZQOpenNetworkAPI::StartRequest(
    const std::string& path,
    const std::string& params,
    const std::string& method,
    const std::function<void(const std::string& result)>& onSuccess,
    const std::function<void(int code, const std::string& message)>&
        onFailure) {
  // The lookup hands out one reference; the scoped pointer gives it back once
  // the service has started (or refused) the request.
  by::com_ptr<IZQOpenNetService> service;
  service.attach(ZQServiceManager::GetInstance()->GetService<IZQOpenNetService>(
      kOpenNetServiceName));
  if (!service)
    return false;

  // The wrappers own copies of the caller's functions: the service may run
  // them long after this call, on its own thread.
  // What the caller's functions throw stays out of the service's thread.
  auto success = [onSuccess](const std::string& result) {
    if (onSuccess && !CallForeignCode([&] { onSuccess(result); }))
      LogContinuationFailed();
  };
  auto failure = [onFailure](ZQStartRequestError& error) {
    if (onFailure &&
        !CallForeignCode([&] { onFailure(error.GetCode(), error.GetMsg()); })) {
      LogContinuationFailed();
    }
  };
  bool started = false;
  if (!CallForeignCode([&] {
        started = service->StartNetRequest(bundleId_, path, params, method,
                                           success, failure);
      })) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "open network api - start request failed, because of net service "
        "start net request failed");
    return false;
  }
  return started;
}

}  // namespace zqextensionkit
