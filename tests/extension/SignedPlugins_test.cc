// Signed plug-ins at load: with both switches on and a trusted key, a library
// loads only with a trusted signature over its bytes and its package's id,
// version and main entry; every other library is refused with one message
// saying why and then the bundle loader's, and the rest of the installation
// loads. The log is the same however Load() hashes the libraries. With the
// MD5 switch off nothing is checked; with no trusted key nothing is refused
// and the log says so once. Trusted keys are Ed25519 public keys only.

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/extension/internal/ZQExtensionManagerImpl.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "dlcom/comsentry.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/BundleMessages.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/SignKeys.h"

namespace zqextensionkit {
namespace {

using test::LibraryMessage;
using test::Sha256Hex;

constexpr char kSignFailed[] =
    "Bundle Loader - load bundle failed, because of file sign verify failed";
constexpr char kNotChecked[] =
    "sign verify - signatures are not checked, because of no trusted sign key";
constexpr char kTrustedKeyFile[] = "trusted.pem";

// How a package's manifest and library differ from a correct signature.
struct Package {
  const char* name;
  // What is signed: the id, version and main entry, and whether the library
  // was changed after signing (its MD5 recorded again, or not).
  std::string signed_id, signed_version, signed_entry;
  enum Change { kNone, kLibraryChanged, kLibraryChangedMd5Kept } change;
  enum Signer {
    kTrusted,
    kStranger,
    kOtherPackage,
    kEmpty,
    kGarbage,
    kOpenssl
  } signer;
  const char* reason;  // The end of the message before kSignFailed, or null.
  std::string id, version = "1.0.0", entry = "lib/plugin.so";
};

std::vector<Package> Packages() {
  const char* not_signed =
      "no trusted key signed this library with this package id, version and "
      "main entry";
  using P = Package;
  return {
      {"signed", "signed", "1.0.0", "lib/plugin.so", P::kNone, P::kTrusted,
       nullptr, "signed"},
      {"lib-changed", "lib-changed", "1.0.0", "lib/plugin.so",
       P::kLibraryChanged, P::kTrusted, not_signed, "lib-changed"},
      {"lib-changed-md5-kept", "lib-changed-md5-kept", "1.0.0", "lib/plugin.so",
       P::kLibraryChangedMd5Kept, P::kTrusted, nullptr, "lib-changed-md5-kept"},
      {"id-changed", "com.original", "1.0.0", "lib/plugin.so", P::kNone,
       P::kTrusted, not_signed, "id-changed"},
      {"version-changed", "version-changed", "1.0.0", "lib/plugin.so", P::kNone,
       P::kTrusted, not_signed, "version-changed", "1.0.1"},
      {"entry-changed", "entry-changed", "1.0.0", "lib/plugin.so", P::kNone,
       P::kTrusted, not_signed, "entry-changed", "1.0.0", "lib/renamed.so"},
      {"untrusted", "untrusted", "1.0.0", "lib/plugin.so", P::kNone,
       P::kStranger, not_signed, "untrusted"},
      {"borrowed", "borrowed", "1.0.0", "lib/plugin.so", P::kNone,
       P::kOtherPackage, not_signed, "borrowed"},
      {"unsigned", "unsigned", "1.0.0", "lib/plugin.so", P::kNone, P::kEmpty,
       "signMD5 holds no signature", "unsigned"},
      {"malformed", "malformed", "1.0.0", "lib/plugin.so", P::kNone,
       P::kGarbage, "signMD5 is not the base64 of an ed25519 signature",
       "malformed"},
      // Signed by the openssl command over the message as documented.
      {"openssl", "openssl", "1.0.0", "lib/plugin.so", P::kNone, P::kOpenssl,
       nullptr, "openssl"},
  };
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Md5Text(const std::string& bytes) {
  std::string md5;
  ZQEUtility_MD5_String(bytes, md5);
  return md5;
}

// `openssl pkeyutl -sign -rawin` of `message` with the key `private_pem`,
// in Base64 by `openssl base64 -A`.
std::string OpensslSignature(const std::string& private_pem,
                             const std::string& message) {
  test::ScopedTempDir dir;
  const std::string key = dir.WriteFile("key.pem", private_pem);
  const std::string in = dir.WriteFile("message", message);
  const std::string out = (dir.path() / "signature").string();
  std::string output, error;
  EXPECT_EQ(0, test::RunProcess("openssl",
                                {"pkeyutl", "-sign", "-rawin", "-inkey", key,
                                 "-in", in, "-out", out},
                                {}, {}, &output, &error))
      << output << error;
  std::string base64;
  EXPECT_EQ(0, test::RunProcess("openssl", {"base64", "-A", "-in", out}, {}, {},
                                &base64, &error, &output));
  return base64;
}

// Writes every package, the trusted public key, config.json and the mapping.
void WriteInstallation(test::InstallationSandbox* sandbox) {
  const test::SignKeyPair trusted = test::NewEd25519KeyPair();
  const test::SignKeyPair stranger = test::NewEd25519KeyPair();
  const std::string plugin =
      ReadBytes(std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kGreetingPluginFile);
  std::string list, borrowed;
  for (const Package& p : Packages()) {
    list += std::string(list.empty() ? "\"" : ", \"") + p.name + "\"";
    if (sandbox->inside())
      continue;  // Signatures are made by the parent, which writes them.
    const std::string message = LibraryMessage(
        Sha256Hex(plugin), p.signed_id, p.signed_version, p.signed_entry);
    std::string sign;
    switch (p.signer) {
      case Package::kTrusted:
        sign = test::SignBase64(trusted.private_pem, message);
        break;
      case Package::kStranger:
        sign = test::SignBase64(stranger.private_pem, message);
        break;
      case Package::kOtherPackage:
        sign = borrowed;
        break;
      case Package::kEmpty:
        break;
      case Package::kGarbage:
        sign = "c2lnbmVk";  // Base64, but of 6 bytes.
        break;
      case Package::kOpenssl:
        sign = OpensslSignature(trusted.private_pem, message);
        break;
    }
    if (borrowed.empty())
      borrowed = sign;
    const std::string library =
        p.change == Package::kNone ? plugin : plugin + "changed";
    const std::string md5 =
        Md5Text(p.change == Package::kLibraryChangedMd5Kept ? plugin : library);
    sandbox->WriteFile("extensions/" + std::string(p.name) + "/" + p.entry,
                       library);
    sandbox->WriteManifest(
        p.name, R"({"id": ")" + p.id + R"(", "version": ")" + p.version +
                    R"(", "mainEntry": ")" + p.entry + R"(", "libFileMD5": ")" +
                    md5 + R"(", "signMD5": ")" + sign +
                    R"(", "extensionPoints": [{"id": "greeting", "iid": ")" +
                    kGreetingIidText + R"(", "extensions": [{"id": ")" +
                    p.name + R"(.greeter", "clsid": ")" + kGreeterClsidText +
                    R"(", "isSingleton": false}]}]})");
  }
  sandbox->WriteFile(kTrustedKeyFile, trusted.public_pem);
  sandbox->WriteAdapterMapping("{}");
  sandbox->WriteConfig(R"({"artifacts": [)" + list + "]}");
}

// The messages that end each library's checks, in load order.
std::vector<std::string> Outcomes(const std::vector<std::string>& log) {
  std::vector<std::string> outcomes;
  for (const std::string& text : log) {
    if (text.rfind("sign verify - ", 0) == 0 ||
        text.rfind("Bundle Loader - load bundle failed", 0) == 0) {
      outcomes.push_back(text);
    }
  }
  return outcomes;
}

class SignedPluginsTest : public test::LogCaptureTest {
 protected:
  struct Result {
    std::vector<std::string> log;
    size_t greeters = 0;
  };

  // One load into a fresh bundle manager, by Load() with `threads`, or by
  // LoadBundle() of each artifact in turn when `one_by_one`.
  Result LoadOnce(bool one_by_one, size_t threads) {
    ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
    ZQEBundleManager::GetInstance()->Initialize(
        std::make_shared<ZQEBundleManagerImpl>());
    manager->SetLibFileVerifyThreads(threads);
    ClearLog();
    if (one_by_one) {
      ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
      EXPECT_TRUE(config->LoadAllExtensionInfos());
      std::vector<Artifact*> artifacts;
      config->GetAllArtifacts(artifacts);
      for (Artifact* artifact : artifacts)
        ZQEBundleManager::GetInstance()->LoadBundle(artifact);
    } else {
      EXPECT_TRUE(manager->Load());
    }
    Result result;
    result.log = capture().texts();
    // Load() alone ends with its summary; the loads are compared without.
    result.log.erase(
        std::remove_if(result.log.begin(), result.log.end(),
                       [](const std::string& text) {
                         return text.rfind(
                                    "extension manager impl - load summary",
                                    0) == 0;
                       }),
        result.log.end());
    std::vector<void*> greeters;
    manager->GetExtensionList("greeting", greeters);
    for (void* instance : greeters)
      static_cast<by::IBaseUnknown*>(instance)->Release();
    result.greeters = greeters.size();
    EXPECT_TRUE(manager->Unload());
    ZQEBundleManager::GetInstance()->UnInitialize();
    return result;
  }
};

TEST_F(SignedPluginsTest, OnlyTrustedSignaturesOfTheLibraryAndPackageLoad) {
  test::InstallationSandbox sandbox;
  WriteInstallation(&sandbox);
  sandbox.Run([&] {
    ZQExtensionKit::InitSDK();
    ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
    ASSERT_TRUE(manager->AddTrustedSignKey(
        ReadBytes((sandbox.dir() / kTrustedKeyFile).string())));
    manager->SetLibFileVerifyEnable(true);
    manager->SetSignVerifyEnable(true);

    std::vector<std::string> expected;
    size_t loaded = 0;
    for (const Package& p : Packages()) {
      const std::string prefix =
          "sign verify - package id:" + p.id + ", verify lib file sign ";
      if (p.change == Package::kLibraryChangedMd5Kept) {
        expected.push_back(test::kVerifyFailed);
      } else if (p.reason) {
        expected.push_back(prefix + "failed, because of " + p.reason);
        expected.push_back(kSignFailed);
      } else {
        expected.push_back(prefix + "success");
        ++loaded;
      }
    }
    const Result reference = LoadOnce(false, 0);
    EXPECT_EQ(expected, Outcomes(reference.log));
    // The load's own explanation of each refusal gives the same reason.
    for (const Package& p : Packages()) {
      if (!p.reason || p.change == Package::kLibraryChangedMd5Kept)
        continue;
      const std::string explanation =
          "Bundle Loader - load library failed, because of " +
          (sandbox.extensions_dir() / p.name / p.entry).string() +
          " fails its signature check: " + p.reason;
      EXPECT_EQ(1, std::count(reference.log.begin(), reference.log.end(),
                              explanation))
          << explanation;
    }
    EXPECT_EQ(loaded, reference.greeters) << "the rest loaded";
    EXPECT_EQ(0u, capture().Count(kNotChecked));

    // The same log line for line, however the libraries are hashed.
    const struct {
      bool one_by_one;
      size_t threads;
    } modes[] = {{true, 0}, {false, 1}, {false, 2}};
    for (const auto& mode : modes) {
      SCOPED_TRACE(std::to_string(mode.one_by_one) +
                   std::to_string(mode.threads));
      const Result result = LoadOnce(mode.one_by_one, mode.threads);
      EXPECT_EQ(reference.log, result.log);
      EXPECT_EQ(loaded, result.greeters);
    }

    // The MD5 switch off: no check at all.
    manager->SetLibFileVerifyEnable(false);
    Result unchecked = LoadOnce(false, 0);
    EXPECT_EQ(std::vector<std::string>{}, Outcomes(unchecked.log));
    EXPECT_EQ(Packages().size(), unchecked.greeters);

    // No trusted key: accepted as before, and said once in the process.
    manager->SetLibFileVerifyEnable(true);
    manager->ClearTrustedSignKeys();
    unchecked = LoadOnce(false, 0);
    EXPECT_EQ((std::vector<std::string>{kNotChecked, test::kVerifyFailed}),
              Outcomes(unchecked.log));
    EXPECT_EQ(Packages().size() - 1, unchecked.greeters);
    unchecked = LoadOnce(true, 0);
    EXPECT_EQ(std::vector<std::string>{test::kVerifyFailed},
              Outcomes(unchecked.log));
  });
}

TEST_F(SignedPluginsTest, OnlyEd25519PublicKeysAreTrusted) {
  ZQExtensionManager* facade = ZQExtensionManager::GetInstance();
  facade->Initialize(std::make_shared<ZQExtensionManagerImpl>());
  const test::SignKeyPair pair = test::NewEd25519KeyPair();
  const std::string refused =
      "extension manager impl - add trusted sign key failed, because of key "
      "is not an ed25519 public key in pem";
  const struct {
    const char* name;
    std::string text;
    bool trusted;
  } cases[] = {
      {"rsa", test::NewOtherPublicKeyPem("RSA"), false},
      {"garbage", "garbage", false},
      {"private key", pair.private_pem, false},
      {"ed25519", pair.public_pem, true},
      {"the same key again", "\n" + pair.public_pem, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClearLog();
    EXPECT_EQ(c.trusted, facade->AddTrustedSignKey(c.text));
    EXPECT_EQ(c.trusted ? std::vector<std::string>{}
                        : std::vector<std::string>{refused},
              capture().texts());
  }
  EXPECT_EQ(std::vector<std::string>{pair.public_pem},
            facade->GetTrustedSignKeys())
      << "kept once";
  facade->ClearTrustedSignKeys();
  EXPECT_EQ(std::vector<std::string>{}, facade->GetTrustedSignKeys());
  facade->UnInitialize();
}

}  // namespace
}  // namespace zqextensionkit
