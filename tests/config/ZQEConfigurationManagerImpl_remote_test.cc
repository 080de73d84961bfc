// ZQEConfigurationManagerImpl: fetching the remote configuration from the
// host's data source and merging it into the local configuration.

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ExtensionFactory.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
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
    {"id": "internal.ep", "iid": "{INTERNAL-IID}", "extensions": [
      {"id": "n1", "version": "1.1", "clsid": "{N1}"},
      {"id": "n2", "version": "1.2", "clsid": "{N2}"},
      {"id": "n3", "version": "1.3", "clsid": "{N3}"}]},
    {"id": "internal.other", "iid": "{OTHER-IID}"}]
})";

constexpr char kLocalManifest[] = R"({
  "id": "local",
  "extensionPoints": [{"id": "unmapped", "iid": "{UNMAPPED-IID}",
                       "extensions": [{"id": "u1"}]}]
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

TEST_F(ZQEConfigurationManagerRemoteTest, RecordsHandedOutOutliveAnUnload) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    ASSERT_TRUE(manager_.LoadAllExtensionInfos());
    manager_.SetRemoteConfigDataSource(source_);
    ASSERT_TRUE(manager_.LoadRemoteConfig());
    Extension* by_id = nullptr;
    ASSERT_TRUE(manager_.GetExtensionInfoByID("n1", &by_id));
    const std::string adapter_dir =
        (sandbox.extensions_dir() / "adapter").string();
    const struct {
      const char* what;
      std::shared_ptr<Extension> record;
      std::string root, bin, iid;
    } kCases[] = {
        {"merged remote record", RecordsOf("internal.ep").at(0), adapter_dir,
         "libadapter.so", "{INTERNAL-IID}"},
        {"the same by id", std::shared_ptr<Extension>(by_id), adapter_dir,
         "libadapter.so", "{INTERNAL-IID}"},
        {"adapter record", RecordsOf("internal.other").at(0), adapter_dir,
         "libadapter.so", "{OTHER-IID}"},
        {"local record", RecordsOf("unmapped").at(0),
         (sandbox.extensions_dir() / "local").string(), "", "{UNMAPPED-IID}"},
    };
    ASSERT_TRUE(manager_.UnloadAllExtensionInfos());
    // The unload frees no package that a record handed out still needs.
    for (const auto& test_case : kCases) {
      SCOPED_TRACE(test_case.what);
      EXPECT_EQ(test_case.root, test_case.record->GetRootPath().value());
      EXPECT_EQ(test_case.bin, test_case.record->GetBinPath());
      EXPECT_EQ(test_case.iid, test_case.record->GetExtensionPointUUID());
    }
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

TEST_F(ZQEConfigurationManagerRemoteTest, ExceptionsOfTheHostStayInTheManager) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    ASSERT_TRUE(manager_.LoadAllExtensionInfos());
    manager_.SetRemoteConfigDataSource(source_);
    const std::string kFetchFailed =
        "configuration manager impl - fetch remote config failed, because of "
        "data source fetch data failed";
    const std::string kGetDataFailed =
        "configuration manager impl - merge remote config failed, because of "
        "data source get data failed";
    const std::string kLoadDataFailed =
        "configuration manager impl - load remote config failed, because of "
        "data source load data failed";
    struct Case {
      const char* name;
      std::string throwing_operation;  // Of the source, or a callback.
      // Runs one operation of the manager (completing the fetch it starts)
      // and returns what it answers, or true.
      std::function<bool()> run;
      bool result;
      Texts messages;
      int successes;
    };
    int successes = 0;
    const auto throw_in = [](const std::string& wanted) {
      return [wanted](const std::string& operation) {
        if (operation == wanted)
          throw std::runtime_error(operation);
      };
    };
    // Starts a fetch, merging after it when `apply`, and completes it (or
    // fails it).
    const auto fetch = [&](bool apply, std::function<void()> on_success,
                           std::function<void(const std::string&)> on_failure,
                           bool fail) {
      manager_.FetchRemoteConfig(apply, on_success, on_failure);
      if (fail)
        source_->FailFetch("offline");
      else
        source_->CompleteFetch();
      return true;
    };
    const auto count = [&] { ++successes; };
    const auto throwing = [] { throw 42; };
    const Case cases[] = {
        {"FetchData throws",
         "FetchData",
         [&] { return fetch(true, count, nullptr, false); },
         true,
         {kFetchFailed},
         0},
        {"HasCache throws",
         "HasCache",
         [&] { return fetch(true, count, nullptr, false); },
         true,
         {kGetDataFailed},
         1},
        {"GetData throws after handing over its data",
         "GetData",
         [&] { return fetch(true, count, nullptr, false); },
         true,
         {kGetDataFailed},
         1},
        {"LoadData throws",
         "LoadData",
         [&] { return manager_.LoadRemoteConfig(); },
         false,
         {kLoadDataFailed},
         0},
        {"GetData throws under LoadRemoteConfig",
         "GetData",
         [&] { return manager_.LoadRemoteConfig(); },
         false,
         {kGetDataFailed},
         0},
        {"the success callback throws",
         "",
         [&] { return fetch(false, throwing, nullptr, false); },
         true,
         {"configuration manager impl - fetch remote config success callback "
          "execute failed"},
         0},
        {"the failure callback throws",
         "",
         [&] {
           return fetch(
               false, nullptr, [](const std::string&) { throw 42; }, true);
         },
         true,
         {"configuration manager impl - fetch remote config failure callback "
          "execute failed"},
         0},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      successes = 0;
      source_->set_on_call(throw_in(c.throwing_operation));
      source_->set_get_data_hook(c.throwing_operation == "GetData"
                                     ? std::function<void()>(throwing)
                                     : nullptr);
      ClearLog();
      EXPECT_EQ(c.result, c.run());
      EXPECT_EQ(c.messages, capture().texts());
      EXPECT_EQ(c.successes, successes);
      EXPECT_EQ(0u, source_->pending_fetches());
      ExpectNotMerged();
    }

    // Nothing of the failed deliveries was kept, and the manager works on.
    source_->set_on_call(nullptr);
    source_->set_get_data_hook(nullptr);
    ASSERT_TRUE(manager_.LoadRemoteConfig());
    ExpectMerged();
  });
}

}  // namespace
}  // namespace zqextensionkit
