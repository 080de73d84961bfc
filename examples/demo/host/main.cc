// The demo host: starts the kit beside the sample installation it lives in
// (extension_adapter_mapping.json and extensions/ next to this executable),
// uses every part of it once and prints what happened in sections. Exits 0
// when every step worked, 1 when one failed, 2 for a bad argument.
//
//   zq-demo [--verbose]
//
// --verbose also writes the kit's log messages to standard error and lets
// the library loader's trace lines through to standard output.

#include <cstdio>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/ZQExtensionKitSDK.h"
#include "examples/demo/DemoInterfaces.h"
#include "examples/demo/host/HostComponents.h"

namespace {

using zqextensionkit::Artifact;
using zqextensionkit::Extension;
using zqextensionkit::ExtensionPoint;
using zqextensionkit::ZQEConfigurationManager;
using zqextensionkit::ZQExtensionManager;
using zqextensionkit::ZQServiceManager;

// The foundation version this host implements; packages that need a newer
// one contribute no extension points.
constexpr char kFoundationVersion[] = "3.2.0";
// The page of a web app, as the host's browser view would report it.
constexpr char kReportPage[] =
    "https://h5.zq-demo.example/appName_com.zq.demo.report/index.html?week=1";

// Prints the report; counts the steps that failed.
class Report {
 public:
  void Section(const char* title) { std::printf("\n== %s\n", title); }
  void Line(const std::string& text) { std::printf("  %s\n", text.c_str()); }
  // Prints `what` as failed unless `ok`; returns `ok`.
  bool Check(bool ok, const std::string& what) {
    if (!ok) {
      ++failures_;
      std::printf("  FAILED: %s\n", what.c_str());
    }
    return ok;
  }
  int failures() const { return failures_; }

 private:
  int failures_ = 0;
};

// Releases the instances the extension manager handed out.
void ReleaseAll(std::vector<void*>* instances) {
  for (void* instance : *instances)
    static_cast<by::IBaseUnknown*>(instance)->Release();
  instances->clear();
}

std::string Join(const std::map<std::string, std::string>& entries) {
  std::string text;
  for (const auto& entry : entries)
    text += (text.empty() ? "" : ", ") + entry.first + "=" + entry.second;
  return text;
}

std::string Describe(const Extension& record) {
  std::string text = record.GetID();
  if (record.IsNative())
    text += " (native, class " + record.GetClassID() + ")";
  else if (!record.GetClassID().empty())
    text += " (in-process class " + record.GetClassID() + ")";
  const std::map<std::string, std::string> payloads = record.GetPayloads();
  if (!payloads.empty())
    text += ": " + Join(payloads);
  const zqextensionkit::SettingMap settings = record.GetSettingMap();
  if (!settings.url_.empty())
    text += "; opens " + settings.url_ + " (" + settings.open_type_ + ")";
  return text;
}

// Section "Artifacts, extension points and extensions". Returns the number
// of extension records listed.
size_t ListInstallation(Report* report) {
  ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
  std::vector<Artifact*> artifacts;
  config->GetAllArtifacts(artifacts);
  size_t points = 0;
  size_t records = 0;
  for (Artifact* artifact : artifacts) {
    std::string line = "artifact " + artifact->GetID() + " " +
                       artifact->GetVersion().GetString() +
                       " (needs foundation " +
                       artifact->GetFoundationVersion().GetString() + ")";
    if (!artifact->GetBinFilePath().empty())
      line += ": library " + artifact->GetBinFilePath() + ", MD5 " +
              artifact->GetLibFileMD5();
    else
      line += ": no library";
    report->Line(line);
    std::vector<ExtensionPoint*> artifact_points;
    artifact->GetExtensionPoints(artifact_points);
    for (ExtensionPoint* point : artifact_points) {
      ++points;
      report->Line("  point " + point->GetID() + " " +
                   (point->GetIId().empty() ? std::string("(records only)")
                                            : point->GetIId()));
      std::vector<std::shared_ptr<Extension>> extensions;
      config->GetExtensionInfosByExntensionPointID(point->GetID(), extensions);
      for (const std::shared_ptr<Extension>& extension : extensions) {
        ++records;
        report->Line("    " + Describe(*extension));
      }
    }
  }
  report->Line(std::to_string(artifacts.size()) + " artifacts, " +
               std::to_string(points) + " extension points, " +
               std::to_string(records) + " extension records");
  report->Check(artifacts.size() == 3, "three artifacts");
  return records;
}

// Section "Greetings from the plug-in". Returns the greetings obtained.
size_t Greet(Report* report) {
  ZQExtensionManager* extensions = ZQExtensionManager::GetInstance();
  std::vector<void*> greeters;
  extensions->GetExtensionList(zqdemo::kGreetingPoint, greeters);
  for (void* instance : greeters)
    report->Line(static_cast<zqdemo::IGreeting*>(instance)->Greet("Ann"));
  const size_t count = greeters.size();
  ReleaseAll(&greeters);
  report->Check(count == 2, "two greeting extensions");

  void* formal = nullptr;
  extensions->GetExtensionById("com.zq.demo.greeting.formal", &formal);
  if (report->Check(formal != nullptr, "the formal greeting by its id")) {
    report->Line("by id com.zq.demo.greeting.formal: " +
                 static_cast<zqdemo::IGreeting*>(formal)->Greet("Bob"));
    static_cast<by::IBaseUnknown*>(formal)->Release();
  }
  return count;
}

// Lists what the launchers of the adapter point describe; returns how many.
size_t ListLaunchers(Report* report) {
  std::vector<void*> launchers;
  ZQExtensionManager::GetInstance()->GetExtensionList(zqdemo::kLauncherPoint,
                                                      launchers);
  for (void* instance : launchers)
    report->Line(static_cast<zqdemo::ILauncher*>(instance)->Describe());
  const size_t count = launchers.size();
  ReleaseAll(&launchers);
  return count;
}

void ShowModules(Report* report) {
  using namespace zqextensionkit;
  ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
  const struct {
    ModuleCode code;
    const char* name;
  } modules[] = {{kModuleCodeTalk, "talk"},
                 {kModuleCodeAgenda, "agenda"},
                 {kModuleCodeMeetingRoom, "meeting-room"}};
  for (const auto& module : modules) {
    bool enabled = false;
    config->IsModuleEnabled(module.code, enabled);
    std::map<std::string, std::string> settings;
    std::string line = std::string("module ") + module.name + ": " +
                       (enabled ? "enabled" : "disabled");
    if (config->GetConfigurationsByID(module.code, &settings) &&
        !settings.empty()) {
      line += " (" + Join(settings) + ")";
    }
    report->Line(line);
  }
  const struct {
    FeatureCode code;
    const char* name;
  } features[] = {{kFeatureCodeTalkVanishing, "talk_allow_vanishing"},
                  {kFeatureCodeTalkRichPreview, "talk_allow_rich_preview"},
                  {kFeatureCodeTalkFederation, "federation"}};
  for (const auto& feature : features) {
    bool enabled = false;
    const bool found = config->IsFeatueEnabled(feature.code, enabled);
    report->Line(std::string("feature ") + feature.name + ": " +
                 (!found    ? "not configured"
                  : enabled ? "on"
                            : "off"));
  }
  bool talk = false;
  config->IsModuleEnabled(kModuleCodeTalk, talk);
  report->Check(talk, "module talk enabled");
}

// Section "Access keys and H5 bundle ids". Returns the bundle id of the
// report page.
std::string ShowAccessKeys(Report* report) {
  ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
  report->Line("access key of com.zq.demo.greeting: " +
               config->GetExtensionAccessKey("com.zq.demo.greeting"));
  const std::string bundle = config->GetH5ExtensionBundleId(kReportPage);
  report->Line(std::string("H5 bundle id of ") + kReportPage + ": " + bundle);
  report->Line("access key of " + bundle + ": " +
               config->GetExtensionAccessKey(bundle));
  const std::string stranger =
      config->GetH5ExtensionBundleId("https://elsewhere.example/index.html");
  report->Line("H5 bundle id of https://elsewhere.example/index.html: " +
               (stranger.empty() ? std::string("none") : stranger));
  report->Check(bundle == "com.zq.demo.report", "the report page's bundle");
  return bundle;
}

// Counts and prints the chat messages it is posted.
class ChatObserver : public zqextensionkit::ZQNotificationObserver {
 public:
  void Observe(
      int type,
      const zqextensionkit::ZQNotificationSource& source,
      const zqextensionkit::ZQNotificationParameters& params) override {
    const std::string* chat = zqextensionkit::Source<std::string>(source).ptr();
    const std::string* text = zqextensionkit::Params<std::string>(params).ptr();
    std::printf("  observer received type %d from chat \"%s\": %s\n", type,
                chat->c_str(), text->c_str());
    ++received;
  }
  int received = 0;
};

// Section "Notifications". Returns the notifications received.
int RoundTrip(Report* report) {
  IZQNotificationService* bus =
      ZQServiceManager::GetInstance()->GetService<IZQNotificationService>(
          "NotificationService");
  if (!report->Check(bus != nullptr, "the NotificationService"))
    return 0;
  const std::string chat = "general";
  const std::string text = "the weekly report is ready";
  ChatObserver observer;
  zqextensionkit::ZQNotificationRegistrar registrar;
  registrar.Add(&observer, zqextensionkit::NOTIFICATION_OPEN_SYNC_MESSAGE,
                zqextensionkit::Source<std::string>(&chat));
  report->Line("posting type 1 (NOTIFICATION_OPEN_SYNC_MESSAGE) to chat \"" +
               chat + "\"");
  bus->Notify(zqextensionkit::NOTIFICATION_OPEN_SYNC_MESSAGE,
              zqextensionkit::Source<std::string>(&chat),
              zqextensionkit::Params<std::string>(&text));
  // Another chat's messages do not reach this observer.
  const std::string other = "random";
  bus->Notify(zqextensionkit::NOTIFICATION_OPEN_SYNC_MESSAGE,
              zqextensionkit::Source<std::string>(&other),
              zqextensionkit::Params<std::string>(&text));
  bus->Release();
  report->Check(observer.received == 1, "one notification received");
  return observer.received;
}

// Section "Remote configuration". Returns the launchers after the merge.
size_t MergeRemote(Report* report) {
  ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
  config->SetRemoteConfigDataSource(
      std::make_shared<zqdemo::LocalConfigSource>());
  bool merged = false;
  std::string failure;
  config->FetchRemoteConfig(
      /*applyAfterSuccess=*/true, [&merged] { merged = true; },
      [&failure](const std::string& reason) { failure = reason; });
  if (!report->Check(merged, "the remote fetch (" + failure + ")"))
    return 0;
  report->Line("fetched and merged; the launchers now:");
  const size_t launchers = ListLaunchers(report);
  report->Line("access key of com.zq.demo.survey: " +
               config->GetExtensionAccessKey("com.zq.demo.survey"));
  report->Check(launchers == 3, "three launchers after the merge");
  return launchers;
}

// Section "Network request". Returns the requests answered.
int RequestReport(Report* report, const std::string& bundle) {
  ZQServiceManager::GetInstance()
      ->RegisterService<zqdemo::DemoNetService, IZQOpenNetService>(
          "OpenNetService", zqdemo::kNetServiceClsid,
          "{435BC68E-6CAD-4C14-B534-7D2B8DE3940B}", /*isSingleton=*/true);
  zqextensionkit::ZQOpenNetworkAPI api(bundle);
  int answered = 0;
  for (const char* path : {"/api/v1/report/summary", "/api/v1/missing"}) {
    // The service answers on its own thread; the host waits for it here.
    auto answer = std::make_shared<std::promise<std::string>>();
    const bool started = api.StartRequest(
        path, R"({"week":1})", "GET",
        [answer](const std::string& result) {
          answer->set_value("answered " + result);
        },
        [answer](int code, const std::string& message) {
          answer->set_value("failed with " + std::to_string(code) + ": " +
                            message);
        });
    if (!report->Check(started, std::string("starting GET ") + path))
      continue;
    report->Line("GET " + std::string(path) + " for " + bundle + ": " +
                 answer->get_future().get());
    ++answered;
  }
  report->Check(answered == 2, "two requests answered");
  return answered;
}

int Usage(const char* program, FILE* out) {
  std::fprintf(out,
               "usage: %s [--verbose]\n"
               "Runs the kit against the sample installation beside this "
               "program and prints what it finds.\n"
               "  --verbose  also print the kit's log messages (standard "
               "error) and the library loader's trace lines\n",
               program);
  return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--verbose") == 0) {
      verbose = true;
    } else if (std::strcmp(argv[i], "--help") == 0) {
      return Usage(argv[0], stdout);
    } else {
      std::fprintf(stderr, "%s: unknown argument %s\n", argv[0], argv[i]);
      return Usage(argv[0], stderr);
    }
  }

  Report report;
  std::printf("ZQExtensionKit demo host\n");

  report.Section("Start-up");
  std::vector<std::string> signature_checks;
  zqextensionkit::ZQELogService* log =
      zqextensionkit::ZQELogService::GetInstance();
  log->RegisterLogger(new zqdemo::ConsoleLogger(verbose, &signature_checks));
  // The library loader's trace lines would land in this report: they stay
  // on standard output only with --verbose.
  log->SetLoaderTraceOutput(
      verbose ? zqextensionkit::ZQELoaderTraceOutput::kStandardOutput
              : zqextensionkit::ZQELoaderTraceOutput::kNone);
  zqextensionkit::ZQExtensionKit::InitSDK();
  ZQExtensionManager* extensions = ZQExtensionManager::GetInstance();
  extensions->SetFoundationVersion(kFoundationVersion);
  report.Check(extensions->SetSecKey(ZQ_DEMO_KEY), "setting the demo key");
  extensions->SetLibFileVerifyEnable(true);
  // The greeting plug-in is signed with the demo key at build time; the host
  // trusts its public key, so the library loads only with that signature.
  extensions->SetSignVerifyEnable(true);
  report.Check(extensions->AddTrustedSignKey(ZQ_DEMO_SIGN_PUBLIC_KEY),
               "trusting the demo signing key");
  const bool loaded = extensions->Load();
  report.Line(std::string("foundation version ") + kFoundationVersion +
              "; encrypted config.json key set; library MD5 and signature "
              "checks on, trusting the demo signing key");
  for (const std::string& check : signature_checks)
    report.Line(check);
  report.Check(
      signature_checks.size() == 1 &&
          signature_checks[0].find("sign success") != std::string::npos,
      "the greeting plug-in's signature");
  report.Check(loaded, "loading the installation");
  if (loaded)
    report.Line("installation loaded");

  report.Section("Artifacts, extension points and extensions");
  const size_t records = ListInstallation(&report);

  report.Section("Greetings from the plug-in");
  const size_t greetings = Greet(&report);

  report.Section("In-process extension registered by the host");
  report.Check(extensions->RegisterExtension(&zqdemo::WebAppLauncher::Create,
                                             zqdemo::kWebAppLauncherClsid,
                                             /*isSingleton=*/false),
               "registering the web app launcher");
  report.Line("registered the web app launcher, class " +
              std::string(zqdemo::kWebAppLauncherClsid));
  const size_t launchers = ListLaunchers(&report);
  report.Check(launchers == 2, "two launchers");

  report.Section("Modules and features");
  ShowModules(&report);

  report.Section("Access keys and H5 bundle ids");
  const std::string bundle = ShowAccessKeys(&report);

  report.Section("Notifications");
  const int notifications = RoundTrip(&report);

  report.Section("Remote configuration");
  const size_t merged_launchers = MergeRemote(&report);

  report.Section("Network request");
  const int requests = RequestReport(&report, bundle);

  report.Section("Summary");
  const std::string counts =
      std::to_string(records) + " extension records, " +
      std::to_string(greetings) + " greetings, " + std::to_string(launchers) +
      " launchers (" + std::to_string(merged_launchers) +
      " after the remote merge), " + std::to_string(notifications) +
      " notification, " + std::to_string(requests) + " network requests";
  if (report.failures() == 0) {
    std::printf("demo OK: %s\n", counts.c_str());
    return 0;
  }
  std::printf("demo FAILED: %d step(s) failed (%s)%s\n", report.failures(),
              counts.c_str(), verbose ? "" : "; run with --verbose");
  return 1;
}
