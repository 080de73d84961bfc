// Signed plug-ins under threads: Load() checks signatures over SHA-256s that
// its hashing threads computed, while another thread trusts keys and reads
// them; the signed libraries load and the unsigned one is refused on every
// load.

#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SignKeys.h"

namespace zqextensionkit {
namespace {

constexpr int kPackages = 8;
constexpr int kUnsigned = 3;
constexpr char kSignFailed[] =
    "Bundle Loader - load bundle failed, because of file sign verify failed";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SignedPluginsConcurrencyTest : public test::LogCaptureTest {};

TEST_F(SignedPluginsConcurrencyTest, LoadChecksWhileKeysAreTrusted) {
  test::InstallationSandbox sandbox;
  const test::SignKeyPair signer = test::NewEd25519KeyPair();
  const std::string plugin =
      ReadBytes(std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kBundleProbePluginFile);
  std::string md5;
  ZQEUtility_MD5_String(plugin, md5);
  std::string list;
  for (int i = 0; i < kPackages && !sandbox.inside(); ++i) {
    const std::string package = "p" + std::to_string(i);
    const std::string sign =
        i == kUnsigned ? ""
                       : test::SignBase64(signer.private_pem,
                                          test::LibraryMessage(
                                              test::Sha256Hex(plugin), package,
                                              "", "lib/plugin.so"));
    sandbox.WriteFile("extensions/" + package + "/lib/plugin.so", plugin);
    sandbox.WriteManifest(
        package, R"({"id": ")" + package +
                     R"(", "mainEntry": "lib/plugin.so", "libFileMD5": ")" +
                     md5 + R"(", "signMD5": ")" + sign + R"("})");
    list += (i ? ", \"" : "\"") + package + "\"";
  }
  sandbox.WriteFile("signer.pem", signer.public_pem);
  sandbox.WriteFile("other.pem", test::NewEd25519KeyPair().public_pem);
  sandbox.WriteAdapterMapping("{}");
  sandbox.WriteConfig(R"({"artifacts": [)" + list + "]}");

  sandbox.Run([&] {
    ZQExtensionKit::InitSDK();
    ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
    const std::string signer_key =
        ReadBytes((sandbox.dir() / "signer.pem").string());
    const std::string other_key =
        ReadBytes((sandbox.dir() / "other.pem").string());
    ASSERT_TRUE(manager->AddTrustedSignKey(signer_key));
    manager->SetLibFileVerifyEnable(true);
    manager->SetSignVerifyEnable(true);
    manager->SetLibFileVerifyThreads(0);

    // Trusting keys again and again, the signer's always among them: the
    // list changes (the other key comes and goes from the kit's view of
    // it), the outcome of each check does not.
    std::atomic<bool> stop{false};
    std::thread trusting([&] {
      while (!stop.load()) {
        manager->AddTrustedSignKey(other_key);
        manager->AddTrustedSignKey(signer_key);
        EXPECT_GE(manager->GetTrustedSignKeys().size(), 1u);
      }
    });
    for (int load = 0; load < 3; ++load) {
      SCOPED_TRACE(load);
      ZQEBundleManager::GetInstance()->Initialize(
          std::make_shared<ZQEBundleManagerImpl>());
      ClearLog();
      EXPECT_TRUE(manager->Load());
      EXPECT_EQ(1u, capture().Count(kSignFailed)) << capture().Dump();
      size_t signed_ok = 0;
      for (const std::string& text : capture().texts()) {
        signed_ok +=
            text.rfind("sign verify - package id:p", 0) == 0 &&
            text.find("verify lib file sign success") != std::string::npos;
      }
      EXPECT_EQ(static_cast<size_t>(kPackages - 1), signed_ok);
      EXPECT_TRUE(manager->Unload());
      ZQEBundleManager::GetInstance()->UnInitialize();
    }
    stop = true;
    trusting.join();
  });
}

}  // namespace
}  // namespace zqextensionkit
