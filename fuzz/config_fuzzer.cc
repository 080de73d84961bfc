// config.json text -> the configuration manager's decryption and its readers
// of the "modules", "ExtensionAuthInfo" and "artifacts" sections, then every
// query that answers from what they stored, and the access keys: a remote
// delivery of keyless records for every bundle id the section named, merged
// into its records, and the host's fetch of the keys still missing.
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
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ZQExtensionAuthInfo.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "base/files/file_path.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "fuzz/FuzzSupport.h"
#include "tests/support/ConfigCipher.h"

namespace {

using zqextensionkit::ZQExtensionAuthInfo;

// The bundle ids and hosts of every access-key object the section holds,
// well-formed or not, as keyless records.
std::vector<std::shared_ptr<ZQExtensionAuthInfo>> KeylessRecords(
    const base::DictionaryValue& root) {
  std::vector<std::shared_ptr<ZQExtensionAuthInfo>> records;
  const auto add = [&records](const base::ListValue& list,
                              const std::string& host) {
    for (const auto& element : list) {
      const base::DictionaryValue* item = nullptr;
      std::string bundle_id;
      if (element->GetAsDictionary(&item) &&
          item->GetStringWithoutPathExpansion("bundleId", &bundle_id)) {
        records.push_back(
            std::make_shared<ZQExtensionAuthInfo>(host, bundle_id, ""));
      }
    }
  };
  const base::DictionaryValue* h5 = nullptr;
  if (root.GetDictionary("ExtensionAuthInfo.H5", &h5)) {
    for (base::DictionaryValue::Iterator it(*h5); !it.IsAtEnd(); it.Advance()) {
      const base::ListValue* list = nullptr;
      if (it.value().GetAsList(&list))
        add(*list, it.key());
    }
  }
  const base::ListValue* native = nullptr;
  if (root.GetList("ExtensionAuthInfo.Native", &native))
    add(*native, "");
  return records;
}

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

  // Keyless remote records replace the section's records of the same bundle
  // id and host; the fetch then fills every key still missing.
  const std::vector<std::shared_ptr<ZQExtensionAuthInfo>> keyless =
      KeylessRecords(*root);
  manager.SetRemoteConfigDataSource(
      std::make_shared<zqextensionkit::fuzz::StaticRemoteSource>(
          zqextensionkit::fuzz::StaticRemoteSource::Config(), keyless));
  if (!manager.LoadRemoteConfig())
    __builtin_trap();
  manager.SetFetchExtensionAuthInfoCallback(
      zqextensionkit::fuzz::AnswerEveryKey("fetched"));
  manager.CheckAndFetchExtensionAuthInfo();
  for (const auto& record : keyless) {
    if (!record->GetBundleId().empty() &&
        manager.GetExtensionAccessKey(record->GetBundleId()).empty()) {
      __builtin_trap();  // Every key missing was fetched.
    }
  }
  volatile size_t sink = checksum;
  (void)sink;
  return 0;
}
