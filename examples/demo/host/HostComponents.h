// What the demo host supplies to the kit: a console logger, the in-process
// extension class behind the adapter point, the network service behind
// "OpenNetService", and a remote configuration source that answers from
// memory instead of a server.

#ifndef EXAMPLES_DEMO_HOST_HOSTCOMPONENTS_H_
#define EXAMPLES_DEMO_HOST_HOSTCOMPONENTS_H_

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZQExtensionKit/ZQExtensionKitSDK.h"
#include "examples/demo/DemoInterfaces.h"

namespace zqdemo {

// The host's logger: writes every kit message to standard error when
// `print` is set (--verbose), and appends those of the plug-in signature
// check ("sign verify - ...", without the kit's prefix) to
// `signature_checks`, which must outlive the logger's use (the kit logs
// them on the thread that calls Load()).
class ConsoleLogger : public zqextensionkit::IZQELogger {
 public:
  ConsoleLogger(bool print, std::vector<std::string>* signature_checks)
      : print_(print), signature_checks_(signature_checks) {}
  void LogMessage(int level, std::string message) override;

 private:
  const bool print_;
  std::vector<std::string>* const signature_checks_;
};

// The class the adapter mapping names for the internal point
// "zq.internal.launcher". The host registers it in-process; the kit creates
// one instance per adapter record and fills its context with the record's
// payloads ("extensionId" names the web app it adapts).
class WebAppLauncher : public ILauncher,
                       public zqextensionkit::ZQBaseExtension {
 public:
  BY_INTERFACES(ILauncher, zqextensionkit::IZQBaseExtension)

  std::string Describe() override;

  // The creator the host registers: creates an instance queried for `iid`.
  static bool Create(const std::string& iid,
                     const std::string& clsid,
                     void** ppv);
};

// The host's network service, registered as "OpenNetService". It answers
// from a fixed table on a worker thread of its own, as a real service
// answers when the server replies: "/api/v1/report/summary" succeeds, any
// other path fails with 404. Workers are joined when the service goes.
class DemoNetService : public IZQOpenNetService, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IZQOpenNetService)

  ~DemoNetService() override;

  bool StartNetRequest(
      const std::string& bundleId,
      const std::string& path,
      const std::string& params,
      const std::string& method,
      const std::function<void(const std::string&)>& onSuccess,
      const std::function<void(ZQStartRequestError&)>& onFailure) override;

 private:
  std::mutex workers_mutex_;
  std::vector<std::thread> workers_;  // Guarded by workers_mutex_.
};

// A remote configuration source standing in for the host's server: it
// "fetches" at once and delivers the web apps of "com.zq.demo.webapp" (one
// more than the installation lists) and the access key of the new one.
class LocalConfigSource : public zqextensionkit::IZQERemoteConfigDataSource {
 public:
  void FetchData(const FetchDataSuccess& onSuccess,
                 const FetchDataFailure& onFailure) override;
  bool GetData(
      std::map<std::string,
               std::vector<std::shared_ptr<zqextensionkit::Extension>>>* config,
      std::vector<std::shared_ptr<zqextensionkit::ZQExtensionAuthInfo>>*
          authInfos) override;
  bool HasCache() override { return fetched_; }
  bool LoadData() override { return fetched_; }

 private:
  bool fetched_ = false;
};

}  // namespace zqdemo

#endif  // EXAMPLES_DEMO_HOST_HOSTCOMPONENTS_H_
