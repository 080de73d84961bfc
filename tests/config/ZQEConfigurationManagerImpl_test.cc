// ZQEConfigurationManagerImpl: the key, version and debug setters, and the
// directory of the running executable below which every file is read.

#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/config/ConfigurationTestSupport.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

using test::kTestSecKey;

class ZQEConfigurationManagerImplTest : public test::LogCaptureTest {
 protected:
  ZQEConfigurationManagerImpl manager_;
};

constexpr char kSecKeyRefused[] =
    "configuration manager impl - set sec key failed, becuase of the length "
    "of key is not equal to 32";

TEST_F(ZQEConfigurationManagerImplTest, OnlyKeysOf32BytesAreAccepted) {
  // Without a key config.json is plain text.
  std::string plain;
  ASSERT_TRUE(manager_.DecryptConfigurations("{}", &plain));
  EXPECT_EQ("{}", plain);

  ASSERT_TRUE(manager_.SetSecKey(kTestSecKey));
  EXPECT_TRUE(capture().texts().empty());
  for (size_t length : {0u, 31u, 33u}) {
    SCOPED_TRACE(length);
    ClearLog();
    EXPECT_FALSE(manager_.SetSecKey(std::string(length, 'k')));
    EXPECT_EQ(std::vector<std::string>{kSecKeyRefused}, capture().texts());
  }
  // The first key is still the one in force.
  std::string decrypted;
  ASSERT_TRUE(manager_.DecryptConfigurations(
      test::EncryptedConfig(R"({"artifacts": []})"), &decrypted));
  EXPECT_EQ(R"({"artifacts": []})", decrypted);
}

TEST_F(ZQEConfigurationManagerImplTest, VersionIsLoggedAndDebugFlagIsStored) {
  manager_.SetFoundationVersion("3.2.0");
  manager_.SetFoundationVersion("not a version");
  EXPECT_EQ((std::vector<std::string>{
                "configuration manager impl - set foundation version is 3.2.0",
                "configuration manager impl - set foundation version is not a "
                "version"}),
            capture().texts());
  EXPECT_TRUE(manager_.SetDebugModeEnable(true));
  EXPECT_TRUE(manager_.SetDebugModeEnable(false));
}

// The executable's path as /proc/self/exe reports it may be 260 bytes long,
// not one more; beyond that no file of the installation is found, and the
// load stops at its first step, the mapping.
TEST_F(ZQEConfigurationManagerImplTest, ExecutablePathOf260BytesIsTheLimit) {
  for (size_t length : {260u, 261u}) {
    test::InstallationSandbox sandbox(length);
    sandbox.WriteAdapterMapping("{}");
    sandbox.WriteConfig("{}");
    sandbox.Run([&] {
      const std::string run_path = GetCurrentRunPath();
      if (length == 260u) {
        EXPECT_EQ(sandbox.dir().string(), run_path);
        EXPECT_EQ(
            length,
            std::filesystem::read_symlink("/proc/self/exe").string().size());
        EXPECT_TRUE(manager_.LoadAllExtensionInfos()) << capture().Dump();
        return;
      }
      EXPECT_EQ("", run_path);
      EXPECT_FALSE(manager_.LoadAllExtensionInfos());
      EXPECT_EQ((std::vector<std::string>{
                    "configuration manager impl - get extension adapter "
                    "mapping file path failed, becuase of "
                    "extension_adapter_mapping.json is not exist",
                    "configuration manager impl - load all extension infos "
                    "failed, because of find extensions failed"}),
                capture().texts());
      // The extensions directory is unknown as well.
      ClearLog();
      EXPECT_FALSE(manager_.LoadLocalConfigurations());
      EXPECT_EQ((std::vector<std::string>{
                    "configuration manager impl - extensions dir is empty",
                    "configuration manager impl - load local configurations "
                    "failed, because of get extensions dir failed"}),
                capture().texts());
    });
  }
}

}  // namespace
}  // namespace zqextensionkit
