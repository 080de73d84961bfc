// Load() with the MD5 switch on hashes the libraries on threads of its own
// while it loads them, in order, on the calling thread: the two meet only
// through the queue of hashed files, and every thread is joined before
// Load() returns.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/security/ZQEHashedFileQueue.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProcessState.h"

namespace zqextensionkit {
namespace {

class LibraryVerificationConcurrencyTest : public test::LogCaptureTest {};

TEST_F(LibraryVerificationConcurrencyTest, LoadHashesOnThreadsItJoins) {
  constexpr int kPackages = 12;
  constexpr int kRefused = 5;  // Its manifest records another digest.
  const std::string plugin =
      std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kBundleProbePluginFile;
  std::string md5;
  ASSERT_TRUE(ZQEUtility_MD5_File_String(plugin, md5));

  test::InstallationSandbox sandbox;
  std::string list;
  for (int i = 0; i < kPackages; ++i) {
    const std::string package = "p" + std::to_string(i);
    sandbox.CopyFile(plugin, "extensions/" + package + "/lib/plugin.so");
    sandbox.WriteManifest(
        package, R"({"id": ")" + package +
                     R"(", "mainEntry": "lib/plugin.so", "libFileMD5": ")" +
                     (i == kRefused ? std::string(32, '0') : md5) +
                     R"(", "BundleClassId": ")" + kProbeBundleClsidText +
                     R"("})");
    list += (i ? ", \"" : "\"") + package + "\"";
  }
  sandbox.WriteAdapterMapping("{}");
  sandbox.WriteConfig(R"({"artifacts": [)" + list + "]}");

  sandbox.Run([&] {
    ZQExtensionKit::InitSDK();
    ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
    manager->SetLibFileVerifyEnable(true);
    manager->SetLibFileVerifyThreads(0);
    ASSERT_TRUE(manager->Load());
    EXPECT_EQ(0u, test::ThreadsNamed(ZQEHashedFileQueue::kThreadName));
    EXPECT_EQ(static_cast<size_t>(kPackages - 1),
              capture().Count("[SignVerify] Verify lib file md5 success."));
    EXPECT_EQ(1u, capture().Count("Bundle Loader - load bundle failed, because "
                                  "of lib file verify failed"));
  });
}

}  // namespace
}  // namespace zqextensionkit
