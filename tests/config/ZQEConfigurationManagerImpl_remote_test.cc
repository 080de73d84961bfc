// ZQEConfigurationManagerImpl: fetching the remote configuration from the
// host's data source and merging it into the local configuration.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ExtensionFactory.h"
#include "ZQExtensionKit/config/ZQEConfigurationManagerImpl.h"
#include "tests/config/ConfigurationTestSupport.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

using test::FakeRemoteDataSource;
using Texts = std::vector<std::string>;

// "remote.ep" and "remote2" stand for the internal point "internal.ep";
// remote records of the source point "source" get adapters in
// "internal.other".
constexpr char kMapping[] = R"({
  "remote": {"ep": {"extensionPointId": "internal.ep"}},
  "remote2": {"extensionPointId": "internal.ep"},
  "source": {"extensionPointId": "internal.other", "version": "2.0",
             "clsid": "{ADAPTER-CLSID}"}
})";

constexpr char kConfig[] = R"({
  "artifacts": ["adapter", "local"],
  "modules": [{"id": "talk"}],
  "ExtensionAuthInfo": {"Native": [{"bundleId": "pkg", "accessKey": "local"}]}
})";

// Native records (the package has an entry library) of the internal point.
constexpr char kAdapterManifest[] = R"({
  "id": "extension_adapter", "mainEntry": "libadapter.so",
  "extensionPoints": [
    {"id": "internal.ep", "extensions": [
      {"id": "n1", "version": "1.1", "clsid": "{N1}"},
      {"id": "n2", "version": "1.2", "clsid": "{N2}"},
      {"id": "n3", "version": "1.3", "clsid": "{N3}"}]},
    {"id": "internal.other"}]
})";

constexpr char kLocalManifest[] = R"({
  "id": "local",
  "extensionPoints": [{"id": "unmapped", "extensions": [{"id": "u1"}]}]
})";

std::shared_ptr<Extension> RemoteRecord(const std::string& id,
                                        const std::string& point) {
  return ExtensionFactory::createExtension(id, point, {{"origin", "remote"}},
                                           {}, SettingMap(), "uni-" + id);
}

class ZQEConfigurationManagerRemoteTest : public test::LogCaptureTest {
 protected:
  void SetUp() override {
    test::LogCaptureTest::SetUp();
    source_ = std::make_shared<FakeRemoteDataSource>();
    n1_ = RemoteRecord("n1", "remote.ep");
    source_->SetData(
        {{"remote.ep", {n1_, RemoteRecord("x", "source")}},
         {"remote2", {RemoteRecord("n2", "remote2"), nullptr}},
         {"unmapped", {RemoteRecord("u-remote", "unmapped")}}},
        {std::make_shared<ZQExtensionAuthInfo>("", "pkg", "remote"),
         std::make_shared<ZQExtensionAuthInfo>("https://other", "pkg", "k2")});
  }

  void WriteInstallation(test::InstallationSandbox& sandbox) {
    sandbox.WriteAdapterMapping(kMapping);
    sandbox.WriteConfig(kConfig);
    sandbox.WriteManifest("adapter", kAdapterManifest);
    sandbox.WriteManifest("local", kLocalManifest);
  }

  std::vector<std::shared_ptr<Extension>> RecordsOf(const std::string& point) {
    std::vector<std::shared_ptr<Extension>> records;
    manager_.GetExtensionInfosByExntensionPointID(point, records);
    return records;
  }

  Texts IdsOf(const std::string& point) {
    Texts ids;
    for (const auto& record : RecordsOf(point))
      ids.push_back(record->GetID());
    return ids;
  }

  // Ids of the source records that the adapters of `point` stand for.
  Texts AdaptedIdsOf(const std::string& point) {
    Texts ids;
    for (const auto& record : RecordsOf(point))
      ids.push_back(record->GetPayloads()["extensionId"]);
    return ids;
  }

  void ExpectMerged() {
    // The mapped lists hold the native remote records only (n3 is gone); the
    // unmapped point keeps its local record.
    EXPECT_EQ((Texts{"n1", "n2"}), IdsOf("internal.ep"));
    EXPECT_EQ((Texts{"u1"}), IdsOf("unmapped"));
    EXPECT_EQ((Texts{"x"}), AdaptedIdsOf("internal.other"));
  }

  void ExpectNotMerged() {
    EXPECT_EQ((Texts{"n1", "n2", "n3"}), IdsOf("internal.ep"));
    EXPECT_TRUE(IdsOf("internal.other").empty());
  }

  std::shared_ptr<FakeRemoteDataSource> source_;
  std::shared_ptr<Extension> n1_;  // As the source hands it out.
  ZQEConfigurationManagerImpl manager_;
};

TEST_F(ZQEConfigurationManagerRemoteTest, WithoutASourceNothingHappens) {
  int calls = 0;
  manager_.FetchRemoteConfig(
      true, [&] { ++calls; }, [&](const std::string&) { ++calls; });
  EXPECT_FALSE(manager_.LoadRemoteConfig());
  manager_.SetRemoteConfigDataSource(source_);
  source_->set_load_data_result(false);
  EXPECT_FALSE(manager_.LoadRemoteConfig());
  EXPECT_EQ(0, calls);
  EXPECT_EQ(0, source_->get_data_calls());
}

TEST_F(ZQEConfigurationManagerRemoteTest, FetchMergesOnlyWhenAskedAndCached) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    ASSERT_TRUE(manager_.LoadAllExtensionInfos()) << capture().Dump();
    manager_.SetRemoteConfigDataSource(source_);
    int successes = 0;
    Texts failures;
    auto on_success = [&] { ++successes; };
    auto on_failure = [&](const std::string& reason) {
      failures.push_back(reason);
    };

    manager_.FetchRemoteConfig(false, on_success, on_failure);
    ASSERT_TRUE(source_->CompleteFetch());
    source_->set_has_cache(false);
    manager_.FetchRemoteConfig(true, on_success, on_failure);
    ASSERT_TRUE(source_->CompleteFetch());
    manager_.FetchRemoteConfig(true, on_success, on_failure);
    ClearLog();
    ASSERT_TRUE(source_->FailFetch("offline"));
    EXPECT_EQ(2, successes);
    EXPECT_EQ(Texts{"offline"}, failures);
    EXPECT_TRUE(capture().texts().empty());
    EXPECT_EQ(0, source_->get_data_calls());
    ExpectNotMerged();

    source_->set_has_cache(true);
    manager_.FetchRemoteConfig(true, on_success, nullptr);
    ASSERT_TRUE(source_->CompleteFetch());
    EXPECT_EQ(3, successes);
    ExpectMerged();
  });
}

TEST_F(ZQEConfigurationManagerRemoteTest, MergeReplacesMappedPointsOnly) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    ASSERT_TRUE(manager_.LoadAllExtensionInfos());
    manager_.SetRemoteConfigDataSource(source_);
    ASSERT_TRUE(manager_.LoadRemoteConfig());
    ExpectMerged();

    // A native remote record takes over its local namesake's identity and
    // package and keeps its own payloads.
    const auto merged = RecordsOf("internal.ep");
    EXPECT_EQ("1.1", merged[0]->GetVersion());
    EXPECT_EQ("{N1}", merged[0]->GetClassID());
    EXPECT_EQ("libadapter.so", merged[0]->GetBinPath());
    EXPECT_EQ("internal.ep", merged[0]->GetExtensionPointID());
    EXPECT_EQ("remote", merged[0]->GetPayloads()["origin"]);
    EXPECT_EQ("uni-n1", merged[0]->GetUnifiedId());
    // The adapter of the non-native record.
    const auto adapters = RecordsOf("internal.other");
    EXPECT_EQ("{ADAPTER-CLSID}", adapters[0]->GetClassID());
    EXPECT_EQ("uni-x", adapters[0]->GetUnifiedId());

    // The source's records are never changed.
    EXPECT_EQ("", n1_->GetVersion());
    EXPECT_EQ("remote.ep", n1_->GetExtensionPointID());
    EXPECT_FALSE(n1_->IsNative());

    // Access keys: same bundle id and host replaces, another host joins.
    EXPECT_EQ("remote", manager_.GetExtensionAccessKey("pkg"));
  });
}

TEST_F(ZQEConfigurationManagerRemoteTest, RepeatedMergesLeaveOneRecordEach) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    ASSERT_TRUE(manager_.LoadAllExtensionInfos());
    manager_.SetRemoteConfigDataSource(source_);
    for (int i = 0; i < 3; ++i)
      ASSERT_TRUE(manager_.LoadRemoteConfig());
    ExpectMerged();
    const std::string adapter_id = IdsOf("internal.other")[0];

    // The source hands out the same records after an unload; the next merge
    // works on fresh copies of them again.
    ASSERT_TRUE(manager_.UnloadAllExtensionInfos());
    ASSERT_TRUE(manager_.LoadAllExtensionInfos());
    ASSERT_TRUE(manager_.LoadRemoteConfig());
    ExpectMerged();
    EXPECT_NE(adapter_id, IdsOf("internal.other")[0]);
    EXPECT_EQ("libadapter.so", RecordsOf("internal.ep")[0]->GetBinPath());
  });
}

TEST_F(ZQEConfigurationManagerRemoteTest, FetchKeepsTheSourceItStartedWith) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    ASSERT_TRUE(manager_.LoadAllExtensionInfos());
    manager_.SetRemoteConfigDataSource(source_);
    bool succeeded = false;
    manager_.FetchRemoteConfig(
        true, [&] { succeeded = true; }, nullptr);
    // The host replaces the source, then clears it, while the fetch runs.
    auto other = std::make_shared<FakeRemoteDataSource>();
    manager_.SetRemoteConfigDataSource(other);
    manager_.SetRemoteConfigDataSource(nullptr);
    ASSERT_TRUE(source_->CompleteFetch());
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(1, source_->get_data_calls());
    EXPECT_EQ(0, other->get_data_calls());
    ExpectMerged();
    EXPECT_FALSE(manager_.LoadRemoteConfig());  // No source any more.
  });
}

TEST_F(ZQEConfigurationManagerRemoteTest, SourceMayAskTheManagerFromGetData) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    ASSERT_TRUE(manager_.LoadAllExtensionInfos());
    bool enabled = false;
    std::string key;
    source_->set_get_data_hook([&] {
      manager_.IsModuleEnabled(kModuleCodeTalk, enabled);
      key = manager_.GetExtensionAccessKey("pkg");
    });
    manager_.SetRemoteConfigDataSource(source_);
    ASSERT_TRUE(manager_.LoadRemoteConfig());
    EXPECT_TRUE(enabled);
    EXPECT_EQ("local", key);  // Asked before the merge.
    ExpectMerged();
  });
}

}  // namespace
}  // namespace zqextensionkit
