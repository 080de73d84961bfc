// ZQEConfigurationManagerImpl: the adapter mapping and the adapter records it
// asks for when a load inserts the extensions of a mapped point.

#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

using Texts = std::vector<std::string>;
using Payloads = std::map<std::string, std::string>;
using Constraints = std::map<std::string, std::vector<std::string>>;

constexpr char kMapping[] = R"({
  "src": {"point": {"extensionPointId": "internal.ep", "version": "2.0",
                    "clsid": "{ADAPTER-CLSID}", "iid": "{ENTRY-IID}",
                    "isSingleton": true}},
  "plain": {"extensionPointId": "internal.ep", "version": "1.0",
            "clsid": "{PLAIN-CLSID}", "isSingleton": "yes"},
  "orphan": {"extensionPointId": "internal.nowhere"},
  "wrong": {"extensionPointId": "not.internal"},
  "lit.eral": {"extensionPointId": "internal.ep"}
})";

// The internal points come from the artifact "extension_adapter".
constexpr char kAdapterManifest[] = R"({
  "id": "extension_adapter", "mainEntry": "libadapter.so",
  "extensionPoints": [{"id": "internal.ep", "iid": "{INTERNAL-IID}"}]
})";

constexpr char kSourceManifest[] = R"({
  "id": "source", "mainEntry": "libsource.so",
  "extensionPoints": [
    {"id": "src.point", "extensions": [
      {"id": "ext.full", "version": "1", "clsid": "{SOURCE-CLSID}",
       "isSingleton": false, "unifiedId": "uni-1",
       "payloads": {"title": "T", "a.b": "dotted", "empty": ""},
       "constraints": [{"key": "platform", "value": ["linux", ""]},
                       {"key": "blank", "value": ["", ""]}],
       "settingMap": {"modalPosition": "", "modalSize": "400x300",
                      "host": "https://h", "uri": "/u", "openType": ""}},
      {"id": "ext.adapted", "payloads": {"extensionId": "already"}},
      {"id": "ext.bare"}]},
    {"id": "plain", "extensions": [{"id": "ext.plain"}]},
    {"id": "orphan", "extensions": [{"id": "ext.orphan"}]},
    {"id": "not.internal"},
    {"id": "wrong", "extensions": [{"id": "ext.wrong"}]},
    {"id": "lit.eral", "extensions": [{"id": "ext.literal"}]}
  ]
})";

class ZQEConfigurationManagerAdaptersTest : public test::LogCaptureTest {
 protected:
  std::vector<std::shared_ptr<Extension>> RecordsOf(const std::string& point) {
    std::vector<std::shared_ptr<Extension>> records;
    manager_.GetExtensionInfosByExntensionPointID(point, records);
    return records;
  }

  ZQEConfigurationManagerImpl manager_;
};

TEST_F(ZQEConfigurationManagerAdaptersTest, MappedPointsGetAdapterRecords) {
  test::InstallationSandbox sandbox;
  sandbox.WriteAdapterMapping(kMapping);
  sandbox.WriteConfig(R"({"artifacts": ["adapter", "source"]})");
  sandbox.WriteManifest("adapter", kAdapterManifest);
  sandbox.WriteManifest("source", kSourceManifest);
  sandbox.Run([&] {
    ASSERT_TRUE(manager_.LoadAllExtensionInfos()) << capture().Dump();

    // One adapter per source record of "src.point" (the record that is an
    // adapter already gets none) and of "plain"; none for "orphan" (its
    // internal point is declared nowhere), "wrong" (declared by another
    // artifact) or "lit.eral" (the mapping's ids are paths: the literal
    // root key is not found).
    const auto adapters = RecordsOf("internal.ep");
    ASSERT_EQ(3u, adapters.size());
    Texts sources;
    for (const auto& adapter : adapters)
      sources.push_back(adapter->GetPayloads()["extensionId"]);
    EXPECT_EQ((Texts{"ext.full", "ext.bare", "ext.plain"}), sources);
    EXPECT_EQ(nullptr, manager_.GetExtensionAdapterInfoById("lit.eral"));
    EXPECT_NE(nullptr, manager_.GetExtensionAdapterInfoById("src.point"));
    EXPECT_EQ(nullptr, manager_.GetExtensionPointOfAdapterById("not.internal"));

    const Extension& full = *adapters[0];
    const std::regex braced_guid(
        R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})");
    EXPECT_TRUE(std::regex_match(full.GetID(), braced_guid)) << full.GetID();
    EXPECT_NE(full.GetID(), adapters[1]->GetID());
    EXPECT_EQ("internal.ep", full.GetExtensionPointID());
    EXPECT_EQ("2.0", full.GetVersion());
    EXPECT_EQ("{ADAPTER-CLSID}", full.GetClassID());
    EXPECT_TRUE(full.IsSingleton());
    EXPECT_EQ("uni-1", full.GetUnifiedId());
    // The payload named "a.b" arrives as it was, not as a nested object.
    EXPECT_EQ(
        (Payloads{
            {"extensionId", "ext.full"}, {"title", "T"}, {"a.b", "dotted"}}),
        full.GetPayloads());
    EXPECT_EQ((Constraints{{"platform", {"linux"}}}), full.GetConstraints());
    const SettingMap settings = full.GetSettingMap();
    EXPECT_EQ("400x300", settings.modal_size_);
    EXPECT_EQ("https://h/u", settings.url_);
    EXPECT_EQ("", settings.modal_position_);
    // Like every record of the internal point, the adapter reports the
    // point's interface id and package; the resources are the source's.
    EXPECT_EQ("{INTERNAL-IID}", full.GetExtensionPointUUID());
    EXPECT_EQ("libadapter.so", full.GetBinPath());
    EXPECT_EQ((sandbox.extensions_dir() / "source" / "resources").string(),
              full.GetResourcesPath());

    const Extension& bare = *adapters[1];
    EXPECT_EQ((Payloads{{"extensionId", "ext.bare"}}), bare.GetPayloads());
    EXPECT_TRUE(bare.GetConstraints().empty());
    EXPECT_EQ("", bare.GetSettingMap().url_);
    EXPECT_FALSE(adapters[2]->IsSingleton());  // No boolean in the entry.

    // Adapter records are recognised and never adapted again.
    Extension* adapter = nullptr;
    ASSERT_TRUE(manager_.GetExtensionInfoByID(full.GetID(), &adapter));
    std::unique_ptr<Extension> owned(adapter);
    EXPECT_TRUE(manager_.IsExtensionAdapter(adapter));
    EXPECT_FALSE(manager_.IsExtensionAdapter(RecordsOf("plain")[0].get()));
    EXPECT_FALSE(manager_.IsExtensionAdapter(nullptr));
    EXPECT_FALSE(manager_.InsertExtensionAdapterToLocalConfig(adapter));
    EXPECT_EQ(3u, RecordsOf("internal.ep").size());
  });
}

}  // namespace
}  // namespace zqextensionkit
