// Extension requests while another thread unloads and reloads the
// configuration and merges a remote one: a request keeps what its records
// describe (extension point, package) until it is done, so every instance is
// created and filled from its own package, whatever the configuration
// becomes meanwhile. The loading thread stops after a fixed number of rounds
// or a short deadline; AddressSanitizer and ThreadSanitizer check the rest.

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/config/ExtensionFactory.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "dlcom/comobject.h"
#include "dlcom/comsentry.h"
#include "dlcom/guidstring.h"
#include "tests/config/ConfigurationTestSupport.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/InstallationSandbox.h"

namespace zqextensionkit {
namespace {

constexpr int kRounds = 300;
constexpr std::chrono::seconds kDeadline(2);
constexpr char kPoint[] = "ep.race";
constexpr char kInProcessClsid[] = "{C0C0C0C0-0000-4000-8000-0000000000CC}";

class InProcessProbe : public ITestExtensionProbe, public ZQBaseExtension {
 public:
  BY_INTERFACES(ITestExtensionProbe, IZQBaseExtension)
  const char* ClassName() override { return "InProcessProbe"; }
  long LiveObjects() override { return 0; }
  long InitializationCalls() override { return 0; }
};

// A manifest with one point kPoint whose one extension "<package>.ext" of
// class `clsid` carries the payload "package": <package>.
std::string Manifest(const std::string& package,
                     const std::string& clsid,
                     const std::string& main_entry) {
  return R"({"id": ")" + package + R"(", "mainEntry": ")" + main_entry +
         R"(", "extensionPoints": [{"id": ")" + kPoint + R"(", "iid": ")" +
         kTestExtensionProbeIidText + R"(", "extensions": [{"id": ")" +
         package + R"(.ext", "clsid": ")" + clsid +
         R"(", "isSingleton": false, "payloads": {"package": ")" + package +
         R"("}}]}]})";
}

TEST(ExtensionListDuringUnloadTest, EveryInstanceComesFromItsOwnPackage) {
  test::InstallationSandbox sandbox;
  // "alpha" and "beta" come from an in-process class, "gamma" from the
  // probe plug-in; the remote point stands for kPoint.
  sandbox.WriteAdapterMapping(
      R"({"remote": {"race": {"extensionPointId": "ep.race"}}})");
  sandbox.WriteConfig(R"({"artifacts": ["alpha", "beta", "gamma"]})");
  sandbox.WriteManifest("alpha", Manifest("alpha", kInProcessClsid, ""));
  sandbox.WriteManifest("beta", Manifest("beta", kInProcessClsid, ""));
  sandbox.CopyFile(
      std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kExtensionProbePluginFile,
      "extensions/gamma/lib/probe.so");
  sandbox.WriteManifest(
      "gamma", Manifest("gamma", kProbeExtensionClsidText, "lib/probe.so"));

  sandbox.Run([&] {
    ZQExtensionKit::InitSDK();
    ZQExtensionManager* extensions = ZQExtensionManager::GetInstance();
    ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
    ASSERT_TRUE(extensions->RegisterExtension(
        [](const std::string& iid, const std::string&, void** ppv) {
          return by::CComObject<InProcessProbe>::CreateInstance2(
                     S2GUIDA(iid.c_str(), true), ppv) == S_OK;
        },
        kInProcessClsid, false));
    ASSERT_TRUE(extensions->Load());
    // A merge replaces the records of kPoint by the remote "gamma.ext",
    // which takes over the local record's point and package.
    auto source = std::make_shared<test::FakeRemoteDataSource>();
    source->SetData({{"remote.race",
                      {ExtensionFactory::createExtension(
                          "gamma.ext", "remote.race", {{"package", "gamma"}},
                          {}, SettingMap(), "")}}},
                    {});
    config->SetRemoteConfigDataSource(source);

    std::mutex failures_mutex;
    std::set<std::string> failures;
    const auto fail = [&](const std::string& what) {
      std::lock_guard<std::mutex> lock(failures_mutex);
      failures.insert(what);
    };
    std::map<std::string, std::atomic<int>> seen;
    for (const char* package : {"alpha", "beta", "gamma"})
      seen[package] = 0;
    // The context of an instance names the package it was filled from.
    const auto check_instance = [&](void* instance) {
      by::com_ptr<ITestExtensionProbe> probe;
      probe.attach(static_cast<ITestExtensionProbe*>(instance));
      by::com_ptr<IZQBaseExtension> base(
          static_cast<by::IBaseUnknown*>(probe.ptr()));
      ZQExtensionContext* context = base ? base->GetContext() : nullptr;
      std::string package;
      if (!context || !context->ValueForKey("package", package) ||
          !seen.count(package)) {
        fail("instance without a package");
        return;
      }
      const auto dir = sandbox.extensions_dir() / package;
      if (context->GetBinDirPath() != (dir / "bin").string())
        fail(package + " with bin dir " + context->GetBinDirPath());
      if (context->GetResourcesPath() != (dir / "resources").string())
        fail(package + " with resources " + context->GetResourcesPath());
      ++seen.at(package);
    };

    std::atomic<bool> done{false};
    std::thread loader([&] {
      const auto deadline = std::chrono::steady_clock::now() + kDeadline;
      for (int i = 0; i < kRounds; ++i) {
        if (i > 0 && std::chrono::steady_clock::now() > deadline)
          break;
        config->UnloadAllExtensionInfos();
        if (!extensions->Load())
          fail("load");
        if (i % 3 == 0 && !config->LoadRemoteConfig())
          fail("remote merge");
      }
      done = true;
    });
    std::vector<std::thread> requesters;
    requesters.emplace_back([&] {
      while (!done) {
        std::vector<void*> list;
        extensions->GetExtensionList(kPoint, list);
        for (void* instance : list)
          check_instance(instance);
      }
    });
    requesters.emplace_back([&] {
      for (int i = 0; !done; ++i) {
        void* instance = nullptr;
        if (extensions->GetExtensionById(i % 2 ? "alpha.ext" : "gamma.ext",
                                         &instance)) {
          check_instance(instance);
        }
      }
    });
    loader.join();
    for (std::thread& requester : requesters)
      requester.join();

    EXPECT_EQ(std::set<std::string>{}, failures);
    for (const auto& package : seen)
      EXPECT_GT(package.second.load(), 0) << package.first;
    config->SetRemoteConfigDataSource(nullptr);
  });
}

}  // namespace
}  // namespace zqextensionkit
