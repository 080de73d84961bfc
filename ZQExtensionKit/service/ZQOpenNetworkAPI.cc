#include "ZQExtensionKit/service/ZQOpenNetworkAPI.h"

#include "ZQExtensionKit/service/IZQOpenNetService.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "dlcom/comsentry.h"

namespace zqextensionkit {

namespace {

constexpr char kOpenNetServiceName[] = "OpenNetService";

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
  auto success = [onSuccess](const std::string& result) {
    if (onSuccess)
      onSuccess(result);
  };
  auto failure = [onFailure](ZQStartRequestError& error) {
    if (onFailure)
      onFailure(error.GetCode(), error.GetMsg());
  };
  return service->StartNetRequest(bundleId_, path, params, method, success,
                                  failure);
}

}  // namespace zqextensionkit
