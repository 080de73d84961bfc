// Load() while another thread unloads the configuration, over and over: the
// load holds every artifact it hands to the bundle manager, so an unload in
// between never frees what it reads (AddressSanitizer and ThreadSanitizer
// check each access). The loads and unloads stop after a fixed number of
// rounds or a short deadline; afterwards a last load serves every package.

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "dlcom/comsentry.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/Installation.h"

namespace zqextensionkit {
namespace {

constexpr int kRounds = 200;
constexpr int kPackages = 6;
constexpr std::chrono::seconds kDeadline(3);

TEST(LoadWhileUnloadingTest, UnloadNeverFreesWhatALoadReads) {
  test::Installation installation;
  ASSERT_TRUE(installation.ok()) << installation.error();
  std::ifstream in(std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kGreetingPluginFile,
                   std::ios::binary);
  const std::string library(std::istreambuf_iterator<char>(in), {});
  std::string artifacts;
  for (int i = 0; i < kPackages; ++i) {
    const std::string name = "pkg" + std::to_string(i);
    // Packages with and without a library of their own, so the bundle
    // manager reads every part of each artifact.
    const bool native = i % 2 == 0;
    if (native)
      installation.WriteFile("extensions/" + name + "/lib/plugin.so", library);
    installation.WriteManifest(
        name, R"({"id": ")" + name + R"(", "mainEntry": ")" +
                  (native ? "lib/plugin.so" : "") + R"(", "BundleClassId": ")" +
                  kGreetingBundleClsidText +
                  R"(", "extensionPoints": [{"id": "greeting", "iid": ")" +
                  kGreetingIidText + R"(", "extensions": [{"id": ")" + name +
                  R"(", "clsid": ")" + kGreeterClsidText +
                  R"(", "isSingleton": false}]}]})");
    artifacts += (i ? ", \"" : "\"") + name + "\"";
  }
  installation.WriteAdapterMapping("{}");
  installation.WriteConfig(R"({"artifacts": [)" + artifacts + "]}");

  ZQExtensionKit::InitSDK();
  ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
  ASSERT_TRUE(manager->SetInstallationDir(installation.dir().string()));
  manager->SetFoundationVersion("3.2");

  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  std::atomic<bool> loading{true};
  std::thread unloader([&] {
    while (loading.load())
      manager->Unload();
  });
  for (int round = 0;
       round < kRounds && std::chrono::steady_clock::now() < deadline;
       ++round) {
    manager->Load();
  }
  loading = false;
  unloader.join();

  ASSERT_TRUE(manager->Unload());
  ASSERT_TRUE(manager->Load());
  std::vector<void*> greeters;
  ASSERT_TRUE(manager->GetExtensionList("greeting", greeters));
  EXPECT_EQ(static_cast<size_t>(kPackages / 2), greeters.size());
  for (void* greeter : greeters)
    static_cast<IGreeting*>(greeter)->Release();
  manager->Unload();
  manager->SetInstallationDir("");
}

}  // namespace
}  // namespace zqextensionkit
