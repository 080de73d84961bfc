// config.json text -> the configuration manager's decryption and its readers
// of the "modules", "ExtensionAuthInfo" and "artifacts" sections, then every
// query that answers from what they stored.
//
// The first byte picks how the rest is treated:
//   0: plain config.json (no key set);
//   1: the text of an encrypted config.json, as found on disk (Base64,
//      white space, cipher text and padding all under the fuzzer's control);
//   2: plain text that is zero-filled to whole blocks, encrypted, Base64
//      encoded and then decrypted, so that every padding byte is reached.

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>

#include "ZQExtensionKit/config/ZQEConfigurationManagerImpl.h"
#include "base/files/file_path.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "tests/support/ConfigCipher.h"

namespace {

// Zero-fills `plain` to whole blocks, encrypts it and encodes it.
std::string EncryptToBase64(std::string plain) {
  plain.resize((plain.size() + 15) / 16 * 16, '\0');
  return zqextensionkit::test::Base64Encode(
      zqextensionkit::test::AesEcbEncrypt(plain));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zqextensionkit::ZQEConfigurationManagerImpl;
  if (size == 0)
    return 0;
  const int mode = data[0] % 3;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  ZQEConfigurationManagerImpl manager;
  if (mode != 0 && !manager.SetSecKey(zqextensionkit::test::kTestSecKey))
    __builtin_trap();
  if (mode == 2)
    text = EncryptToBase64(text);
  std::string json;
  if (!manager.DecryptConfigurations(text, &json))
    return 0;
  if (mode != 0 && json.find('\0') != std::string::npos)
    __builtin_trap();  // Decrypted text ends at its first zero byte.

  scoped_ptr<base::DictionaryValue> root =
      base::DictionaryValue::From(base::JSONReader::Read(json));
  if (!root)
    return 0;
  manager.ParseModuleConfigurations(*root);
  manager.ParseExtensionAuthInfos(*root);
  // No package directory exists there: every entry is looked up and skipped.
  manager.ParseExtensions(*root, base::FilePath("/nonexistent/extensions"));
  manager.ExtractExtensionsAndExtensionPoints();

  size_t checksum = 0;
  for (int code = -1; code <= 38; ++code) {
    bool enabled = false;
    std::map<std::string, std::string> settings;
    checksum += manager.IsModuleEnabled(
        static_cast<zqextensionkit::ModuleCode>(code), enabled);
    checksum += manager.GetConfigurationsByID(
        static_cast<zqextensionkit::ModuleCode>(code), &settings);
    checksum += manager.IsFeatueEnabled(
        static_cast<zqextensionkit::FeatureCode>(code), enabled);
  }
  const base::DictionaryValue* h5 = nullptr;
  if (root->GetDictionary("ExtensionAuthInfo.H5", &h5)) {
    for (base::DictionaryValue::Iterator it(*h5); !it.IsAtEnd(); it.Advance()) {
      checksum += manager.GetH5ExtensionBundleId(it.key()).size();
      checksum +=
          manager.GetH5ExtensionBundleId(it.key() + "/appName_b/x").size();
    }
  }
  checksum += manager.GetExtensionAccessKey("b").size();
  manager.CheckAndFetchExtensionAuthInfo();
  volatile size_t sink = checksum;
  (void)sink;
  return 0;
}
