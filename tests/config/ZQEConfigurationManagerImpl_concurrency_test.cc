// ZQEConfigurationManagerImpl under threads: remote merges and access-key
// answers arriving on the host's threads while other threads query or load.
// Run under ThreadSanitizer in CI.

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ExtensionFactory.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "tests/config/ConfigurationTestSupport.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

using test::FakeRemoteDataSource;

constexpr int kRounds = 200;

constexpr char kMapping[] = R"({
  "remote": {"extensionPointId": "internal.ep"},
  "source": {"extensionPointId": "internal.other"}
})";

constexpr char kConfig[] = R"({
  "artifacts": ["adapter"],
  "modules": [{"id": "talk"}],
  "ExtensionAuthInfo": {"H5": {"https://h5.example.com": [
    {"bundleId": "web", "accessKey": "kw"}]}}
})";

constexpr char kAdapterManifest[] = R"({
  "id": "extension_adapter", "mainEntry": "libadapter.so",
  "extensionPoints": [
    {"id": "internal.ep", "extensions": [{"id": "n1"}, {"id": "n2"}]},
    {"id": "internal.other"}]
})";

class ZQEConfigurationManagerConcurrencyTest : public test::LogCaptureTest {
 protected:
  void SetUp() override {
    test::LogCaptureTest::SetUp();
    source_ = std::make_shared<FakeRemoteDataSource>();
    auto record = [](const std::string& id, const std::string& point) {
      return ExtensionFactory::createExtension(id, point, {{"p", "v"}}, {},
                                               SettingMap(), "");
    };
    source_->SetData(
        {{"remote", {record("n1", "remote"), record("x", "source")}}},
        {std::make_shared<ZQExtensionAuthInfo>("", "b", "")});
  }

  void WriteInstallation(test::InstallationSandbox& sandbox) {
    sandbox.WriteAdapterMapping(kMapping);
    sandbox.WriteConfig(kConfig);
    sandbox.WriteManifest("adapter", kAdapterManifest);
  }

  // Every query that takes the lock, and reads of what they hand out.
  void QueryEverything() {
    Extension* extension = nullptr;
    if (manager_.GetExtensionInfoByID("n1", &extension)) {
      EXPECT_EQ("n1", extension->GetID());
      delete extension;
    }
    std::vector<std::shared_ptr<Extension>> records;
    manager_.GetExtensionInfosByExntensionPointID("internal.ep", records);
    for (const auto& record : records)
      EXPECT_FALSE(record->GetID().empty());
    std::vector<Extension*> all;
    manager_.GetAllExtensionInfos(all);
    std::vector<Artifact*> artifacts;
    manager_.GetAllArtifacts(artifacts);
    for (Artifact* artifact : artifacts)
      EXPECT_EQ("extension_adapter", artifact->GetID());
    bool enabled = false;
    manager_.IsModuleEnabled(kModuleCodeTalk, enabled);
    EXPECT_EQ("kw", manager_.GetExtensionAccessKey("web"));
    EXPECT_EQ("web",
              manager_.GetH5ExtensionBundleId("https://h5.example.com/"));
  }

  std::shared_ptr<FakeRemoteDataSource> source_;
  ZQEConfigurationManagerImpl manager_;
};

TEST_F(ZQEConfigurationManagerConcurrencyTest, MergesRunWhileQueriesRead) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    ASSERT_TRUE(manager_.LoadAllExtensionInfos());
    manager_.SetRemoteConfigDataSource(source_);
    // One thread fetches and merges, the source completes on a second one,
    // a third queries.
    std::atomic<bool> fetching{true};
    std::thread fetcher([&] {
      for (int i = 0; i < kRounds; ++i) {
        manager_.FetchRemoteConfig(true, nullptr, nullptr);
        manager_.LoadRemoteConfig();
      }
      fetching = false;
    });
    std::thread completer([&] {
      while (fetching || source_->pending_fetches() > 0)
        source_->CompleteFetch();
    });
    std::thread querier([&] {
      for (int i = 0; i < kRounds; ++i)
        QueryEverything();
    });
    fetcher.join();
    completer.join();
    querier.join();

    std::vector<std::shared_ptr<Extension>> records;
    ASSERT_TRUE(
        manager_.GetExtensionInfosByExntensionPointID("internal.ep", records));
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("n1", records[0]->GetID());
    records.clear();
    manager_.GetExtensionInfosByExntensionPointID("internal.other", records);
    EXPECT_EQ(1u, records.size());  // One adapter of "x", however many merges.
  });
}

// A fetch started before the load completes, and merges, while it runs.
TEST_F(ZQEConfigurationManagerConcurrencyTest, FetchMayCompleteDuringLoad) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    manager_.SetRemoteConfigDataSource(source_);
    std::atomic<bool> loading{true};
    std::thread source_thread([&] {
      while (loading) {
        manager_.FetchRemoteConfig(true, nullptr, nullptr);
        source_->CompleteFetch();
      }
    });
    for (int i = 0; i < 20; ++i) {
      EXPECT_TRUE(manager_.LoadAllExtensionInfos());
      EXPECT_TRUE(manager_.UnloadAllExtensionInfos());
    }
    EXPECT_TRUE(manager_.LoadAllExtensionInfos());
    loading = false;
    source_thread.join();

    // Whatever interleaving happened, one more merge gives the merged state.
    ASSERT_TRUE(manager_.LoadRemoteConfig());
    std::vector<std::shared_ptr<Extension>> records;
    manager_.GetExtensionInfosByExntensionPointID("internal.ep", records);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("n1", records[0]->GetID());
  });
}

TEST_F(ZQEConfigurationManagerConcurrencyTest, AccessKeysArriveOnHostThreads) {
  manager_.SetRemoteConfigDataSource(source_);
  ASSERT_TRUE(manager_.LoadRemoteConfig());  // Record "b" without a key.
  std::vector<std::thread> answers;
  manager_.SetFetchExtensionAuthInfoCallback(
      [&answers](std::vector<std::string> ids,
                 std::function<void(const std::map<std::string, std::string>&)>
                     on_success,
                 std::function<void(const std::string&)>) {
        answers.emplace_back([ids, on_success] {
          std::map<std::string, std::string> keys;
          for (const std::string& id : ids)
            keys[id] = "fetched";
          on_success(keys);
        });
      });
  manager_.CheckAndFetchExtensionAuthInfo();
  std::string key;
  for (int i = 0; i < kRounds && key.empty(); ++i) {
    key = manager_.GetExtensionAccessKey("b");
    manager_.CheckAndFetchExtensionAuthInfo();
  }
  for (std::thread& answer : answers)
    answer.join();
  EXPECT_EQ("fetched", manager_.GetExtensionAccessKey("b"));
}

}  // namespace
}  // namespace zqextensionkit
