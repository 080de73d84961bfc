// ZQEConfigurationManager (facade) and ZQEConfigurationManagerCreator.

#include "ZQExtensionKit/config/ZQEConfigurationManager.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/config/ZQEConfigurationManagerCreator.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "tests/config/ConfigurationTestSupport.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

class ZQEConfigurationManagerFacadeTest : public test::LogCaptureTest {
 protected:
  void TearDown() override {
    facade()->Initialize(ZQEConfigurationManagerCreator::Create());
    test::LogCaptureTest::TearDown();
  }

  static ZQEConfigurationManager* facade() {
    return ZQEConfigurationManager::GetInstance();
  }
};

TEST_F(ZQEConfigurationManagerFacadeTest, CreatorBuildsOneImplementation) {
  std::shared_ptr<IZQEConfigurationManager> first =
      ZQEConfigurationManagerCreator::Create();
  EXPECT_NE(nullptr, first);
  EXPECT_EQ(first, ZQEConfigurationManagerCreator::Create());
  EXPECT_EQ(facade(), ZQEConfigurationManager::GetInstance());
}

TEST_F(ZQEConfigurationManagerFacadeTest, WithoutImplementationNothingHappens) {
  facade()->UnInitialize();
  Extension* const sentinel = reinterpret_cast<Extension*>(0x1);
  Extension* extension = sentinel;
  std::vector<std::shared_ptr<Extension>> records(1);
  std::map<std::string, std::string> settings = {{"k", "v"}};
  bool enabled = true;
  std::vector<Extension*> all(1);
  std::vector<Artifact*> artifacts(1);
  int callbacks = 0;

  facade()->SetFoundationVersion("1.0");
  EXPECT_FALSE(facade()->LoadAllExtensionInfos());
  EXPECT_FALSE(facade()->UnloadAllExtensionInfos());
  EXPECT_FALSE(facade()->GetExtensionInfoByID("id", &extension));
  EXPECT_FALSE(facade()->GetExtensionInfosByExntensionPointID("ep", records));
  EXPECT_FALSE(facade()->GetConfigurationsByID(kModuleCodeTalk, &settings));
  EXPECT_FALSE(facade()->IsModuleEnabled(kModuleCodeTalk, enabled));
  EXPECT_FALSE(facade()->IsFeatueEnabled(kFeatureCodeHallLaunch, enabled));
  EXPECT_EQ("", facade()->GetH5ExtensionBundleId("https://h/"));
  EXPECT_EQ("", facade()->GetExtensionAccessKey("b"));
  EXPECT_FALSE(facade()->SetSecKey(test::kTestSecKey));
  EXPECT_FALSE(facade()->SetDebugModeEnable(true));
  facade()->SetFetchExtensionAuthInfoCallback(
      [&](std::vector<std::string>, auto, auto) { ++callbacks; });
  facade()->CheckAndFetchExtensionAuthInfo();
  facade()->GetAllExtensionInfos(all);
  facade()->GetAllArtifacts(artifacts);
  facade()->SetRemoteConfigDataSource(
      std::make_shared<test::FakeRemoteDataSource>());
  facade()->FetchRemoteConfig(
      true, [&] { ++callbacks; }, [&](const std::string&) { ++callbacks; });
  EXPECT_FALSE(facade()->LoadRemoteConfig());

  EXPECT_EQ(sentinel, extension);
  EXPECT_EQ(1u, records.size());
  EXPECT_EQ((std::map<std::string, std::string>{{"k", "v"}}), settings);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(1u, all.size());
  EXPECT_EQ(1u, artifacts.size());
  EXPECT_EQ(0, callbacks);
  EXPECT_TRUE(capture().texts().empty());
}

TEST_F(ZQEConfigurationManagerFacadeTest, ForwardsToTheInstalledOne) {
  auto impl = std::make_shared<ZQEConfigurationManagerImpl>();
  facade()->Initialize(impl);
  EXPECT_FALSE(facade()->SetSecKey("short"));
  EXPECT_TRUE(facade()->SetSecKey(test::kTestSecKey));
  auto source = std::make_shared<test::FakeRemoteDataSource>();
  source->SetData({}, {std::make_shared<ZQExtensionAuthInfo>("", "b", "k")});
  facade()->SetRemoteConfigDataSource(source);
  EXPECT_TRUE(facade()->LoadRemoteConfig());
  EXPECT_EQ("k", impl->GetExtensionAccessKey("b"));
  EXPECT_EQ("k", facade()->GetExtensionAccessKey("b"));
  EXPECT_TRUE(facade()->UnloadAllExtensionInfos());
  EXPECT_EQ((std::vector<std::string>{
                "configuration manager impl - set sec key failed, becuase of "
                "the length of key is not equal to 32",
                "configuration manager impl - unload all extension infos "
                "success"}),
            capture().texts());

  // The implementation keeps its state while it is not installed.
  EXPECT_TRUE(facade()->LoadRemoteConfig());
  facade()->UnInitialize();
  EXPECT_EQ("", facade()->GetExtensionAccessKey("b"));
  facade()->Initialize(impl);
  EXPECT_EQ("k", facade()->GetExtensionAccessKey("b"));
}

}  // namespace
}  // namespace zqextensionkit
