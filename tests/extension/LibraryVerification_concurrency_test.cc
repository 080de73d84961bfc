// Load() with the MD5 switch on hashes the libraries on threads of its own
// while it loads them, in order, on the calling thread: the two meet only
// through the queue of hashed files, and every thread is joined before
// Load() returns. However many libraries were verified before, a load holds
// only the descriptors it needs, so a low soft RLIMIT_NOFILE does not cap
// how many libraries an installation may have.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFileQueue.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/BundleMessages.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProcessState.h"

namespace zqextensionkit {
namespace {

class LibraryVerificationConcurrencyTest : public test::LogCaptureTest {
 protected:
  // Writes `packages` packages p0, p1, ..., each with its own copy of the
  // bundle probe plug-in and the probe's bundle class; the manifest of
  // package `refused` records another digest.
  static void WriteInstallation(test::InstallationSandbox* sandbox,
                                int packages,
                                int refused = -1) {
    const std::string plugin =
        std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kBundleProbePluginFile;
    std::string md5;
    ASSERT_TRUE(ZQEUtility_MD5_File_String(plugin, md5));
    std::string list;
    for (int i = 0; i < packages; ++i) {
      const std::string package = "p" + std::to_string(i);
      sandbox->CopyFile(plugin, "extensions/" + package + "/lib/plugin.so");
      sandbox->WriteManifest(
          package, R"({"id": ")" + package +
                       R"(", "mainEntry": "lib/plugin.so", "libFileMD5": ")" +
                       (i == refused ? std::string(32, '0') : md5) +
                       R"(", "BundleClassId": ")" + kProbeBundleClsidText +
                       R"("})");
      list += (i ? ", \"" : "\"") + package + "\"";
    }
    sandbox->WriteAdapterMapping("{}");
    sandbox->WriteConfig(R"({"artifacts": [)" + list + "]}");
  }
};

TEST_F(LibraryVerificationConcurrencyTest, LoadHashesOnThreadsItJoins) {
  constexpr int kPackages = 12;
  constexpr int kRefused = 5;
  test::InstallationSandbox sandbox;
  WriteInstallation(&sandbox, kPackages, kRefused);

  sandbox.Run([&] {
    ZQExtensionKit::InitSDK();
    ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
    manager->SetLibFileVerifyEnable(true);
    manager->SetLibFileVerifyThreads(0);
    ASSERT_TRUE(manager->Load());
    EXPECT_EQ(0u, test::ThreadsNamed(ZQEHashedFileQueue::kThreadName));
    EXPECT_EQ(static_cast<size_t>(kPackages - 1),
              capture().Count(test::kMd5Matched));
    EXPECT_EQ(1u, capture().Count(test::kVerifyFailed));
  });
}

TEST_F(LibraryVerificationConcurrencyTest,
       ManyLibrariesLoadUnderALowFileLimit) {
  // Far more libraries than the soft limit has descriptors: each verified
  // load holds only its own library's descriptor, and only while it runs.
  constexpr int kPackages = 160;
  test::InstallationSandbox sandbox;
  WriteInstallation(&sandbox, kPackages);

  sandbox.Run([&] {
    ZQExtensionKit::InitSDK();
    ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
    manager->SetLibFileVerifyEnable(true);
    manager->SetLibFileVerifyThreads(0);
    const size_t open_before = test::OpenDescriptors();
    ASSERT_LT(open_before, 32u);
    {
      test::ScopedSoftFileLimit limit(64);
      ASSERT_TRUE(limit.ok());
      ASSERT_TRUE(manager->Load());
    }
    EXPECT_EQ(static_cast<size_t>(kPackages),
              capture().Count(test::kMd5Matched));
    EXPECT_EQ(static_cast<size_t>(kPackages),
              capture().Count(test::kBundleSucceeded));
    EXPECT_EQ(0u, capture().Count(test::kLoadComFailed));
    EXPECT_EQ(open_before, test::OpenDescriptors());
    EXPECT_TRUE(manager->Unload());
  });
}

}  // namespace
}  // namespace zqextensionkit
