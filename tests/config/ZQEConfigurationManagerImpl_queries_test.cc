// ZQEConfigurationManagerImpl: the queries that hand out records and
// artifacts, and unloading.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ExtensionImpl.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

using Texts = std::vector<std::string>;

// "same" is declared under two points; "ep.a" sorts first.
constexpr char kManifest[] = R"({
  "id": "pkg", "mainEntry": "libpkg.so",
  "extensionPoints": [
    {"id": "ep.b", "extensions": [{"id": "b1"}, {"id": "same", "version": "b"}]},
    {"id": "ep.a", "extensions": [{"id": "same", "version": "a"}, {"id": "a1"}]},
    {"id": "ep.empty"}]
})";

constexpr char kNotFoundById[] =
    "configuration manager impl - get extension info by extension id:%s, "
    "extension info is not founded";

std::string Message(const char* format, const std::string& id) {
  const std::string text = format;
  return text.substr(0, text.find("%s")) + id +
         text.substr(text.find("%s") + 2);
}

class ZQEConfigurationManagerQueriesTest : public test::LogCaptureTest {
 protected:
  ZQEConfigurationManagerImpl manager_;
};

TEST_F(ZQEConfigurationManagerQueriesTest, EmptyManagerFindsNothing) {
  Extension* extension = nullptr;
  EXPECT_FALSE(manager_.GetExtensionInfoByID("same", &extension));
  EXPECT_EQ(nullptr, extension);
  std::vector<std::shared_ptr<Extension>> records;
  EXPECT_FALSE(manager_.GetExtensionInfosByExntensionPointID("ep.a", records));
  EXPECT_TRUE(manager_.UnloadAllExtensionInfos());
  EXPECT_EQ((Texts{Message(kNotFoundById, "same"),
                   "configuration manager impl - get extension infos by "
                   "extension point id:ep.a, extension infos is not founded",
                   "configuration manager impl - unload all extension infos "
                   "success"}),
            capture().texts());
}

TEST_F(ZQEConfigurationManagerQueriesTest, QueriesHandOutCopiesInKeyOrder) {
  test::InstallationSandbox sandbox;
  sandbox.WriteAdapterMapping("{}");
  sandbox.WriteConfig(R"({"artifacts": ["pkg"]})");
  sandbox.WriteManifest("pkg", kManifest);
  sandbox.Run([&] {
    ASSERT_TRUE(manager_.LoadAllExtensionInfos());
    ClearLog();

    // By id: the copy from the point whose id sorts first; the caller owns
    // it, and changing it changes nothing in the configuration.
    Extension* found = nullptr;
    ASSERT_TRUE(manager_.GetExtensionInfoByID("same", &found));
    std::unique_ptr<Extension> owned(found);
    EXPECT_EQ("a", found->GetVersion());
    EXPECT_EQ("libpkg.so", found->GetBinPath());
    static_cast<ExtensionImpl*>(found)->SetVersion("changed");
    Extension* again = nullptr;
    ASSERT_TRUE(manager_.GetExtensionInfoByID("same", &again));
    std::unique_ptr<Extension> owned_again(again);
    EXPECT_EQ("a", again->GetVersion());
    Extension* untouched = owned.get();
    EXPECT_FALSE(manager_.GetExtensionInfoByID("", &untouched));
    EXPECT_FALSE(manager_.GetExtensionInfoByID("SAME", &untouched));
    EXPECT_EQ(owned.get(), untouched);
    EXPECT_FALSE(manager_.GetExtensionInfoByID("same", nullptr));
    EXPECT_EQ((Texts{"configuration manager impl - get extension info by "
                     "extension id:same, extension info is founded",
                     "configuration manager impl - get extension info by "
                     "extension id:same, extension info is founded",
                     Message(kNotFoundById, ""), Message(kNotFoundById, "SAME"),
                     Message(kNotFoundById, "same")}),
              capture().texts());

    // By point: appended after the caller's entries, which the total counts;
    // a known point without records answers true.
    ClearLog();
    std::vector<std::shared_ptr<Extension>> records = {nullptr};
    ASSERT_TRUE(manager_.GetExtensionInfosByExntensionPointID("ep.a", records));
    ASSERT_TRUE(
        manager_.GetExtensionInfosByExntensionPointID("ep.empty", records));
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ("same", records[1]->GetID());
    EXPECT_EQ("a1", records[2]->GetID());
    std::vector<std::shared_ptr<Extension>> second;
    manager_.GetExtensionInfosByExntensionPointID("ep.a", second);
    EXPECT_NE(records[1].get(), second[0].get());
    EXPECT_EQ((Texts{"configuration manager impl - get extension infos by "
                     "extension point id:ep.a, extension infos is founded, "
                     "total(3)",
                     "configuration manager impl - get extension infos by "
                     "extension point id:ep.empty, extension infos is "
                     "founded, total(3)",
                     "configuration manager impl - get extension infos by "
                     "extension point id:ep.a, extension infos is founded, "
                     "total(2)"}),
              capture().texts());

    // All records, in point id order, after what the caller had.
    std::vector<Extension*> all = {nullptr};
    manager_.GetAllExtensionInfos(all);
    Texts ids;
    for (size_t i = 1; i < all.size(); ++i)
      ids.push_back(all[i]->GetID());
    EXPECT_EQ(nullptr, all[0]);
    EXPECT_EQ((Texts{"same", "a1", "b1", "same"}), ids);

    std::vector<Artifact*> artifacts = {nullptr};
    manager_.GetAllArtifacts(artifacts);
    ASSERT_EQ(2u, artifacts.size());
    EXPECT_EQ("pkg", artifacts[1]->GetID());

    ASSERT_TRUE(manager_.UnloadAllExtensionInfos());
    all.clear();
    manager_.GetAllExtensionInfos(all);
    EXPECT_TRUE(all.empty());
  });
}

}  // namespace
}  // namespace zqextensionkit
