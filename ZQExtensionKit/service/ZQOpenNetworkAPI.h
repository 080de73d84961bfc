// ZQOpenNetworkAPI: how an extension issues a network request. The kit does
// not talk to the network itself: it hands the request, with the bundle id
// given at construction, to the host's service registered under the name
// "OpenNetService" (IZQOpenNetService.h).
//
//   zqextensionkit::ZQOpenNetworkAPI api("com.example.report");
//   bool started = api.StartRequest(
//       "/api/v1/report", R"({"day":"today"})", "POST",
//       [](const std::string& result) { ... },
//       [](int code, const std::string& message) { ... });
//
// Failure: StartRequest returns false, silently and without calling either
// continuation, when no service is registered as "OpenNetService" (or the
// service manager has no implementation); otherwise it returns the service's
// answer. Afterwards exactly the continuation the service chooses runs,
// later, on the service's thread. Either continuation may be empty; an empty
// one is simply not called. A service whose StartNetRequest throws counts as
// one that refused the request (false, with "open network api - start
// request failed, ..." logged); a continuation that throws is logged ("open
// network api - request continuation failed, ...") and its exception never
// reaches the service.
//
// Ownership: the continuations are copied; the caller's function objects need
// not outlive the call. The service's reference that the lookup hands out is
// released before StartRequest returns.
//
// Threads: any thread may call StartRequest, on one object or many. The
// service manager's lock is held only while the service is looked up, never
// while the service runs; the continuations touch no kit state.

#ifndef ZQEXTENSIONKIT_SERVICE_ZQOPENNETWORKAPI_H_
#define ZQEXTENSIONKIT_SERVICE_ZQOPENNETWORKAPI_H_

#include <functional>
#include <string>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQOpenNetworkAPI {
 public:
  // Requests on behalf of the extension bundle `bundleId`.
  explicit ZQOpenNetworkAPI(const std::string& bundleId);

  // Starts a request for `path` with `params` and `method`; true when the
  // service started it.
  bool StartRequest(
      const std::string& path,
      const std::string& params,
      const std::string& method,
      const std::function<void(const std::string& result)>& onSuccess,
      const std::function<void(int code, const std::string& message)>&
          onFailure);

 private:
  std::string bundleId_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SERVICE_ZQOPENNETWORKAPI_H_
