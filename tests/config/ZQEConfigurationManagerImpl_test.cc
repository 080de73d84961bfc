// ZQEConfigurationManagerImpl: the key, version and debug setters, and the
// installation directory below which every file is read: the running
// executable's, or the one the host names.

#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/config/Artifact.h"
#include "tests/config/ConfigurationTestSupport.h"
#include "tests/support/Installation.h"
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

constexpr char kMappingDirUnknown[] =
    "configuration manager impl - read adapter mapping failed, because of "
    "the installation directory is unknown: the executable's path cannot be "
    "read or is longer than 260 bytes";

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
                capture().TextsNotAtLevel(3));
      EXPECT_EQ(std::vector<std::string>{kMappingDirUnknown},
                capture().TextsAtLevel(3));
      // The extensions directory is unknown as well.
      ClearLog();
      EXPECT_FALSE(manager_.LoadLocalConfigurations());
      EXPECT_EQ((std::vector<std::string>{
                    "configuration manager impl - extensions dir is empty",
                    "configuration manager impl - load local configurations "
                    "failed, because of get extensions dir failed"}),
                capture().TextsNotAtLevel(3));
    });
  }
}

// The installation directory the host names takes the place of the
// executable's for every file a load reads; "" gives the executable's back.
// What is not a directory is refused and changes nothing.
TEST_F(ZQEConfigurationManagerImplTest, InstallationDirReplacesTheExecutables) {
  test::Installation installation;
  ASSERT_TRUE(installation.ok()) << installation.error();
  installation.WriteAdapterMapping("{}");
  installation.WriteConfig(R"({"artifacts": ["pkg"]})");
  installation.WriteManifest("pkg", R"({"id": "pkg"})");
  const std::string dir = installation.dir().string();
  const std::string file = dir + "/extensions/config.json";
  const std::filesystem::path relative =
      std::filesystem::relative(installation.dir());
  const std::string set = "configuration manager impl - set installation dir ";
  struct Case {
    std::string given;
    bool accepted;
    std::string now;  // GetInstallationDir() afterwards.
    std::string message;
  };
  const Case cases[] = {
      {dir, true, dir, set + "is " + dir},
      {"", true, GetCurrentRunPath(), set + "is the executable's directory"},
      {dir + "//", true, dir, set + "is " + dir},
      {file, false, dir,
       set + "failed, because of " + file + " is not a directory"},
      {dir + "/absent", false, dir,
       set + "failed, because of " + dir + "/absent is not a directory"},
      {relative.string(), true,
       (std::filesystem::current_path() / relative).string(),
       set + "is " + (std::filesystem::current_path() / relative).string()},
  };
  // Each case starts from `dir` set, but the first.
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    ClearLog();
    EXPECT_EQ(c.accepted, manager_.SetInstallationDir(c.given));
    EXPECT_EQ(c.now, manager_.GetInstallationDir());
    EXPECT_EQ(std::vector<std::string>{c.message}, capture().texts());
    manager_.SetInstallationDir(dir);
  }

  // A load reads the mapping, config.json and the packages from there.
  ASSERT_TRUE(manager_.LoadAllExtensionInfos()) << capture().Dump();
  std::vector<std::shared_ptr<Artifact>> artifacts;
  manager_.GetAllArtifactsShared(artifacts);
  ASSERT_EQ(1u, artifacts.size());
  EXPECT_EQ(dir + "/extensions/pkg", artifacts[0]->GetRootPath().value());
  // Shared: whole after an unload, for as long as the caller holds it.
  ASSERT_TRUE(manager_.UnloadAllExtensionInfos());
  EXPECT_EQ("pkg", artifacts[0]->GetID());
}

}  // namespace
}  // namespace zqextensionkit
