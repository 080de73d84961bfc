// The configuration manager's local load and its decryption, each beside its
// baseline:
//
// - BM_Load: LoadAllExtensionInfos() of a generated installation (about 2 KB
//   manifests of three points with two extensions each), beside
//   BM_ReadAndParseOnly, which reads the same files and parses them with
//   base::JSONReader alone. "spread": every point id is the artifact's own;
//   "shared": every artifact also contributes to one shared point, whose list
//   grows with the artifacts.
// - BM_DecryptConfigurations (Base64 text of a 64 KiB configuration, as on
//   disk) and BM_AesDecrypt (the kit's AES step on the cipher text), beside
//   BM_EvpDecrypt, one EVP decryption of the same cipher text, and
//   BM_EvpDecodeAndDecrypt, OpenSSL's own Base64 decoding of the file text
//   followed by that decryption (the whole path done by OpenSSL alone).
//
// The kit reads its files beside the running executable, so main() writes
// the installation into a temporary directory, places this program there
// and runs it again inside it.

#include <openssl/evp.h>
#include <stdio.h>
#include <stdlib.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "bench/BenchSupport.h"
#include "benchmark/benchmark.h"
#include "tests/support/ConfigCipher.h"
#include "tests/support/Installation.h"

namespace {

using zqextensionkit::ZQEConfigurationManagerImpl;
using zqextensionkit::test::Installation;

constexpr int kMaxArtifacts = 1000;
constexpr int kPointsPerArtifact = 3;
constexpr int kExtensionsPerPoint = 2;
const char* const kKey = zqextensionkit::test::kTestSecKey;

enum Layout { kSpread = 0, kShared = 1 };

// Set in the child: the installation directory it runs in.
std::string g_installation_dir;

std::string PackageName(Layout layout, int index) {
  char name[32];
  snprintf(name, sizeof(name), "%s_%04d",
           layout == kSpread ? "spread" : "shared", index);
  return name;
}

std::string ExtensionJson(const std::string& id) {
  return R"({"id": ")" + id + R"(", "version": "1.4.2",
      "clsid": "{6B29FC40-CA47-1067-B31D-00DD010662DA}", "isSingleton": false,
      "payloads": {"title": "Item )" +
         id + R"(", "icon": "icons/item.png"},
      "constraints": [{"key": "platform", "value": ["linux", "mac"]}],
      "settingMap": {"modalPosition": "center", "modalSize": "640x480",
                     "host": "https://apps.example.com", "uri": "/ext/)" +
         id +
         R"(", "openType": "modal"},
      "unifiedId": "u-)" +
         id + R"("})";
}

std::string ManifestJson(Layout layout, int index) {
  const std::string package = PackageName(layout, index);
  std::string text = R"({"id": ")" + package + R"(", "version": "3.2.1",
  "foundationVersion": "1.0", "mainEntry": "lib/libbench.so",
  "libFileMD5": "0123456789abcdef0123456789abcdef",
  "BundleClassId": "{11111111-2222-3333-4444-555555555555}",
  "extensionPoints": [)";
  for (int point = 0; point < kPointsPerArtifact; ++point) {
    const std::string point_id =
        (layout == kShared && point == 0)
            ? std::string("ep.shared")
            : "ep." + package + "." + std::to_string(point);
    if (point)
      text += ",";
    text += R"({"id": ")" + point_id + R"(", "type": "action",
    "iid": "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}", "extensions": [)";
    for (int extension = 0; extension < kExtensionsPerPoint; ++extension) {
      if (extension)
        text += ",";
      text += ExtensionJson(package + "." + std::to_string(point) + "." +
                            std::to_string(extension));
    }
    text += "]}";
  }
  return text + "]}";
}

std::string ConfigJson(Layout layout, int artifacts) {
  std::string text = R"({"modules": [{"id": "talk"}], "artifacts": [)";
  for (int i = 0; i < artifacts; ++i)
    text += (i ? ",\"" : "\"") + PackageName(layout, i) + "\"";
  return text + "]}";
}

base::FilePath Dir() {
  return base::FilePath(g_installation_dir);
}

// Lists `artifacts` packages of `layout` in config.json.
void WriteConfig(Layout layout, int artifacts) {
  const std::string text = ConfigJson(layout, artifacts);
  FILE* file = fopen(
      Dir().Append("extensions").Append("config.json").value().c_str(), "wb");
  fwrite(text.data(), 1, text.size(), file);
  fclose(file);
}

void BM_Load(benchmark::State& state) {
  const Layout layout = static_cast<Layout>(state.range(0));
  const int artifacts = static_cast<int>(state.range(1));
  WriteConfig(layout, artifacts);
  for (auto _ : state) {
    ZQEConfigurationManagerImpl manager;
    manager.SetFoundationVersion("3.2");
    std::vector<zqextensionkit::Artifact*> loaded;
    if (manager.LoadAllExtensionInfos())
      manager.GetAllArtifacts(loaded);
    if (loaded.size() != static_cast<size_t>(artifacts)) {
      state.SkipWithError("load failed");
      break;
    }
  }
}

std::unique_ptr<base::Value> ReadJson(const base::FilePath& path) {
  std::string text;
  base::ReadFileToString(path, &text);
  return base::JSONReader::Read(text);
}

void BM_ReadAndParseOnly(benchmark::State& state) {
  const Layout layout = static_cast<Layout>(state.range(0));
  WriteConfig(layout, static_cast<int>(state.range(1)));
  const base::FilePath extensions = Dir().Append("extensions");
  for (auto _ : state) {
    std::vector<std::unique_ptr<base::Value>> trees;
    trees.push_back(ReadJson(Dir().Append("extension_adapter_mapping.json")));
    std::unique_ptr<base::Value> config =
        ReadJson(extensions.Append("config.json"));
    const base::DictionaryValue* dict = nullptr;
    const base::ListValue* artifacts = nullptr;
    if (!config->GetAsDictionary(&dict) ||
        !dict->GetList("artifacts", &artifacts)) {
      state.SkipWithError("config.json unreadable");
      break;
    }
    for (const auto& entry : *artifacts) {
      std::string name;
      entry->GetAsString(&name);
      trees.push_back(
          ReadJson(extensions.Append(name).Append("manifest.json")));
    }
    benchmark::DoNotOptimize(trees.data());
  }
}

// Spread and shared layouts, 100 and 1,000 artifacts.
void LoadArguments(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"shared", "artifacts"});
  for (int layout : {kSpread, kShared}) {
    for (int artifacts : {100, kMaxArtifacts})
      benchmark->Args({layout, artifacts});
  }
  benchmark->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Load)->Apply(LoadArguments);
BENCHMARK(BM_ReadAndParseOnly)->Apply(LoadArguments);

// A 64 KiB configuration: padded, encrypted and Base64-encoded in
// 64-character lines, as `openssl enc -base64` writes it.
struct EncryptedConfiguration {
  std::string cipher_text;
  std::string file_text;
};

const EncryptedConfiguration& Encrypted64KiB() {
  static const EncryptedConfiguration* const kConfiguration = [] {
    std::string plain = ConfigJson(kSpread, kMaxArtifacts);
    plain.resize(64 * 1024, ' ');
    auto* result = new EncryptedConfiguration;
    result->cipher_text = zqextensionkit::test::AesEcbEncrypt(
        zqextensionkit::test::Pkcs5Pad(plain), kKey);
    result->file_text =
        zqextensionkit::test::Base64EncodeLines(result->cipher_text, 64);
    return result;
  }();
  return *kConfiguration;
}

void BM_EvpDecrypt(benchmark::State& state) {
  const std::string& cipher = Encrypted64KiB().cipher_text;
  std::string plain(cipher.size(), '\0');
  for (auto _ : state) {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int written = 0;
    int final_written = 0;
    EVP_DecryptInit_ex(context, EVP_aes_256_ecb(), nullptr,
                       reinterpret_cast<const unsigned char*>(kKey), nullptr);
    EVP_CIPHER_CTX_set_padding(context, 0);
    EVP_DecryptUpdate(context, reinterpret_cast<unsigned char*>(plain.data()),
                      &written,
                      reinterpret_cast<const unsigned char*>(cipher.data()),
                      static_cast<int>(cipher.size()));
    EVP_DecryptFinal_ex(
        context, reinterpret_cast<unsigned char*>(plain.data()) + written,
        &final_written);
    EVP_CIPHER_CTX_free(context);
    benchmark::DoNotOptimize(plain.data());
  }
  state.SetBytesProcessed(state.iterations() * cipher.size());
}

// The whole path as OpenSSL alone would take it: its Base64 decoder over the
// file text (line breaks included), then one EVP decryption.
void BM_EvpDecodeAndDecrypt(benchmark::State& state) {
  const EncryptedConfiguration& configuration = Encrypted64KiB();
  const std::string& text = configuration.file_text;
  std::string cipher(text.size(), '\0');
  std::string plain(text.size(), '\0');
  for (auto _ : state) {
    EVP_ENCODE_CTX* decoder = EVP_ENCODE_CTX_new();
    int decoded = 0;
    int final_decoded = 0;
    EVP_DecodeInit(decoder);
    EVP_DecodeUpdate(decoder, reinterpret_cast<unsigned char*>(cipher.data()),
                     &decoded,
                     reinterpret_cast<const unsigned char*>(text.data()),
                     static_cast<int>(text.size()));
    EVP_DecodeFinal(decoder,
                    reinterpret_cast<unsigned char*>(cipher.data()) + decoded,
                    &final_decoded);
    EVP_ENCODE_CTX_free(decoder);
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int written = 0;
    EVP_DecryptInit_ex(context, EVP_aes_256_ecb(), nullptr,
                       reinterpret_cast<const unsigned char*>(kKey), nullptr);
    EVP_CIPHER_CTX_set_padding(context, 0);
    EVP_DecryptUpdate(context, reinterpret_cast<unsigned char*>(plain.data()),
                      &written,
                      reinterpret_cast<const unsigned char*>(cipher.data()),
                      decoded + final_decoded);
    EVP_CIPHER_CTX_free(context);
    benchmark::DoNotOptimize(plain.data());
  }
  state.SetBytesProcessed(state.iterations() *
                          configuration.cipher_text.size());
}

void BM_AesDecrypt(benchmark::State& state) {
  const std::string& cipher = Encrypted64KiB().cipher_text;
  uint8_t key[32];
  memcpy(key, kKey, sizeof(key));
  for (auto _ : state) {
    std::string plain = zqextensionkit::AES256_ECB_PKCS5_Decrypt(cipher, key);
    benchmark::DoNotOptimize(plain.data());
  }
  state.SetBytesProcessed(state.iterations() * cipher.size());
}

void BM_DecryptConfigurations(benchmark::State& state) {
  const EncryptedConfiguration& configuration = Encrypted64KiB();
  ZQEConfigurationManagerImpl manager;
  manager.SetSecKey(kKey);
  for (auto _ : state) {
    std::string plain;
    if (!manager.DecryptConfigurations(configuration.file_text, &plain))
      state.SkipWithError("decryption failed");
    benchmark::DoNotOptimize(plain.data());
  }
  state.SetBytesProcessed(state.iterations() *
                          configuration.cipher_text.size());
}

BENCHMARK(BM_EvpDecrypt);
BENCHMARK(BM_EvpDecodeAndDecrypt);
BENCHMARK(BM_AesDecrypt);
BENCHMARK(BM_DecryptConfigurations);

// Writes every package both layouts may list and the (empty) mapping.
bool WriteInstallation(Installation& installation) {
  bool ok = installation.WriteAdapterMapping("{}");
  for (Layout layout : {kSpread, kShared}) {
    for (int i = 0; i < kMaxArtifacts && ok; ++i) {
      ok = installation.WriteManifest(PackageName(layout, i),
                                      ManifestJson(layout, i));
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  return zqextensionkit::test::RunBenchmarksInInstallation(
      argc, argv, &g_installation_dir, WriteInstallation);
}
