#include "examples/demo/host/HostComponents.h"

#include <cstdio>
#include <utility>

namespace zqdemo {

namespace {

constexpr char kWebHost[] = "https://h5.zq-demo.example";

// A web app record as the server would deliver it.
std::shared_ptr<zqextensionkit::Extension> WebApp(const std::string& name,
                                                  const std::string& title) {
  std::map<std::string, std::string> payloads = {{"title", title}};
  std::map<std::string, std::vector<std::string>> constraints;
  zqextensionkit::SettingMap settings;
  settings.host_ = kWebHost;
  settings.uri_ = "/appName_com.zq.demo." + name + "/index.html";
  settings.url_ = settings.host_ + settings.uri_;
  settings.open_type_ = "modal";
  return zqextensionkit::ExtensionFactory::createExtension(
      "com.zq.demo.webapp." + name, kWebAppPoint, payloads, constraints,
      settings, "");
}

}  // namespace

void ConsoleLogger::LogMessage(int level, std::string message) {
  if (print_)
    std::fprintf(stderr, "kit (level %d): %s\n", level, message.c_str());
  // Plain character arrays: nothing here is destroyed at exit, when the kit
  // may still log.
  static constexpr char kPrefix[] = "[ZQExtensionKit] ";
  static constexpr char kSignatureCheck[] = "[ZQExtensionKit] sign verify - ";
  if (message.rfind(kSignatureCheck, 0) == 0)
    signature_checks_->push_back(message.substr(sizeof(kPrefix) - 1));
}

std::string WebAppLauncher::Describe() {
  std::string title = "(untitled)";
  std::string extension_id;
  ValueForKey("title", title);
  ValueForKey("extensionId", extension_id);
  return "launches \"" + title + "\" for " + extension_id;
}

bool WebAppLauncher::Create(const std::string& iid,
                            const std::string& /*clsid*/,
                            void** ppv) {
  return by::CreateComObject<WebAppLauncher>(
             nullptr, nullptr, S2GUIDA(iid.c_str(), true), ppv) == S_OK;
}

DemoNetService::~DemoNetService() {
  // Joined outside the lock: a continuation may start another request,
  // which takes the lock to record its worker; those are joined next round.
  while (true) {
    std::vector<std::thread> workers;
    {
      std::lock_guard<std::mutex> lock(workers_mutex_);
      workers.swap(workers_);
    }
    if (workers.empty())
      return;
    for (std::thread& worker : workers)
      worker.join();
  }
}

bool DemoNetService::StartNetRequest(
    const std::string& bundleId,
    const std::string& path,
    const std::string& /*params*/,
    const std::string& method,
    const std::function<void(const std::string&)>& onSuccess,
    const std::function<void(ZQStartRequestError&)>& onFailure) {
  // The continuations are copied: they run after this call has returned.
  auto answer = [bundleId, path, method, onSuccess, onFailure] {
    if (path == "/api/v1/report/summary") {
      onSuccess(R"({"bundle":")" + bundleId + R"(","method":")" + method +
                R"(","open":3,"done":12})");
    } else {
      ZQStartRequestError error(404, "no such path: " + path);
      onFailure(error);
    }
  };
  std::lock_guard<std::mutex> lock(workers_mutex_);
  workers_.emplace_back(std::move(answer));
  return true;
}

void LocalConfigSource::FetchData(const FetchDataSuccess& onSuccess,
                                  const FetchDataFailure& /*onFailure*/) {
  fetched_ = true;
  onSuccess();
}

bool LocalConfigSource::GetData(
    std::map<std::string,
             std::vector<std::shared_ptr<zqextensionkit::Extension>>>* config,
    std::vector<std::shared_ptr<zqextensionkit::ZQExtensionAuthInfo>>*
        authInfos) {
  // The server's list replaces the installation's: it is the whole list.
  (*config)[kWebAppPoint] = {WebApp("report", "Weekly report"),
                             WebApp("calendar", "Team calendar"),
                             WebApp("survey", "Quick survey")};
  authInfos->push_back(std::make_shared<zqextensionkit::ZQExtensionAuthInfo>(
      kWebHost, "com.zq.demo.survey", "demo-survey-key"));
  return true;
}

}  // namespace zqdemo
