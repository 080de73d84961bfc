// ZQEConfigurationManagerImpl: the local load. Reads the adapter mapping and
// extensions/config.json beside the executable (decrypting it when a key is
// set), parses every artifact it lists and builds the local configuration.

#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <utility>

#include "ZQExtensionKit/config/ExtensionFactory.h"
#include "ZQExtensionKit/config/internal/ArtifactParser.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/config/internal/ZQEInstallationFiles.h"
#include "ZQExtensionKit/defines/internal/ZQEFileLimits.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "base/base64.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"

namespace zqextensionkit {

namespace {

const char kArtifacts[] = "artifacts";

constexpr size_t kAesBlockSize = 16;

ZQELogService* Log() {
  return ZQELogService::GetInstance();
}

struct CipherContextDeleter {
  void operator()(EVP_CIPHER_CTX* context) const {
    EVP_CIPHER_CTX_free(context);
  }
};

const EVP_CIPHER* AesEcbCipher(int key_bits) {
  switch (key_bits) {
    case 128:
      return EVP_aes_128_ecb();
    case 192:
      return EVP_aes_192_ecb();
    case 256:
      return EVP_aes_256_ecb();
    default:
      return nullptr;
  }
}

// AES-ECB decryption with a KeyBits-bit key of KeyBytes bytes, followed by
// the removal of the padding that the last byte announces (see
// AES256_ECB_PKCS5_Decrypt). ECB has no chaining, so one decryption over the
// whole text gives the same bytes as one block at a time.
template <int KeyBits, size_t KeyBytes>
std::string AES_ECB_PKCS5_Decrypt(std::string text,
                                  const uint8_t (&key)[KeyBytes]) {
  static_assert(KeyBits == static_cast<int>(KeyBytes * 8),
                "the key length in bits and in bytes must agree");
  if (text.size() % kAesBlockSize != 0 ||
      text.size() > static_cast<size_t>(INT_MAX)) {
    return std::string();
  }
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> context(
      EVP_CIPHER_CTX_new());
  if (!context ||
      EVP_DecryptInit_ex(context.get(), AesEcbCipher(KeyBits), nullptr, key,
                         nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
    return std::string();
  }
  // In place: EVP allows the output to be exactly the input.
  auto* bytes = reinterpret_cast<unsigned char*>(text.data());
  int written = 0;
  int final_written = 0;
  if (EVP_DecryptUpdate(context.get(), bytes, &written, bytes,
                        static_cast<int>(text.size())) != 1 ||
      EVP_DecryptFinal_ex(context.get(), bytes + written, &final_written) !=
          1) {
    return std::string();
  }
  text.resize(static_cast<size_t>(written) +
              static_cast<size_t>(final_written));

  if (text.size() >= kAesBlockSize) {
    const int8_t padding = static_cast<int8_t>(text.back());
    if (padding < 0)
      return std::string();
    // A count above one block is not padding: the text stays whole.
    if (padding <= static_cast<int8_t>(kAesBlockSize))
      text.resize(text.size() - static_cast<size_t>(padding));
  }
  return text;
}

bool IsAsciiWhitespace(char c) {
  constexpr uint64_t kWhitespace = (1ull << ' ') | (1ull << '\t') |
                                   (1ull << '\n') | (1ull << '\v') |
                                   (1ull << '\f') | (1ull << '\r');
  const auto byte = static_cast<unsigned char>(c);
  return byte <= ' ' && ((kWhitespace >> byte) & 1) != 0;
}

}  // namespace

std::string AES256_ECB_PKCS5_Decrypt(const std::string& cipher_text,
                                     const uint8_t (&key)[32]) {
  return AES_ECB_PKCS5_Decrypt<256, 32>(cipher_text, key);
}

std::string AES256_ECB_PKCS5_Decrypt(std::string&& cipher_text,
                                     const uint8_t (&key)[32]) {
  return AES_ECB_PKCS5_Decrypt<256, 32>(std::move(cipher_text), key);
}

bool ZQEConfigurationManagerImpl::LoadAllExtensionInfos() {
  const bool loaded = FindExtensions();
  if (loaded) {
    Log()->LogMessage(
        0, "configuration manager impl - load all extension infos success");
  } else {
    Log()->LogMessage(0,
                      "configuration manager impl - load all extension infos "
                      "failed, because of find extensions failed");
  }
  return loaded;
}

bool ZQEConfigurationManagerImpl::FindExtensions() {
  // The mapping is required: without it nothing of config.json is read.
  if (!LoadExtensionAdapterMappingJson())
    return false;
  return LoadLocalConfigurations();
}

bool ZQEConfigurationManagerImpl::GetExtensionsDir(
    base::FilePath* extensions_dir) {
  const std::string run_path = GetCurrentRunPath();
  if (run_path.empty()) {
    Log()->LogMessage(0,
                      "configuration manager impl - extensions dir is empty");
    return false;
  }
  *extensions_dir = base::FilePath(run_path).Append(kExtensionsDirName);
  Log()->LogMessage(0,
                    "configuration manager impl - get extensions dir success");
  return true;
}

bool ZQEConfigurationManagerImpl::LoadLocalConfigurations() {
  base::FilePath extensions_dir;
  if (!GetExtensionsDir(&extensions_dir)) {
    Log()->LogMessage(0,
                      "configuration manager impl - load local configurations "
                      "failed, because of get extensions dir failed");
    return false;
  }
  const base::FilePath config_path = extensions_dir.Append(kConfigFileName);
  if (!base::PathExists(extensions_dir) || !base::PathExists(config_path)) {
    Log()->LogMessage(0,
                      "configuration manager impl - load local configurations "
                      "failed, becuase of config.json is not exist");
    return false;
  }
  std::string text;
  if (!base::ReadFileToStringWithMaxSize(config_path, &text,
                                         kMaxConfigurationFileSize)) {
    Log()->LogMessage(0,
                      "configuration manager impl - load local configurations "
                      "failed, becuase of load config.json failed");
    return false;
  }
  std::string json;
  if (!DecryptConfigurations(text, &json))
    return false;

  std::string error;
  scoped_ptr<base::Value> root = base::JSONReader::ReadAndReturnError(
      json, base::JSON_PARSE_RFC, nullptr, &error);
  if (!root) {
    Log()->LogMessage(0,
                      "configuration manager impl - load local configurations "
                      "failed, becuase of parse json config.json failed, %s",
                      error.c_str());
    return false;
  }
  // A root that is not an object holds nothing to load, which is not an
  // error.
  const base::DictionaryValue* dict = nullptr;
  if (root->GetAsDictionary(&dict)) {
    ParseModuleConfigurations(*dict);
    ParseExtensionAuthInfos(*dict);
    ParseExtensions(*dict, extensions_dir);
    ExtractExtensionsAndExtensionPoints();
  }
  return true;
}

bool ZQEConfigurationManagerImpl::DecryptConfigurations(
    const std::string& input,
    std::string* output) {
  uint8_t key[32] = {};
  {
    base::AutoLock lock(lock_);
    if (_sec_key.empty()) {
      *output = input;
      return true;
    }
    // SetSecKey admits exactly 32 bytes.
    std::memcpy(key, _sec_key.data(), std::min(sizeof(key), _sec_key.size()));
  }

  // Tools wrap Base64 lines and end files with a newline; Base64 itself
  // never holds white space.
  const std::string* base64 = &input;
  std::string stripped;
  if (std::any_of(input.begin(), input.end(), IsAsciiWhitespace)) {
    stripped.resize(input.size());
    size_t length = 0;
    for (char c : input) {
      stripped[length] = c;
      length += !IsAsciiWhitespace(c);
    }
    stripped.resize(length);
    base64 = &stripped;
  }
  std::string cipher_text;
  base::Base64Decode(*base64, &cipher_text);
  if (cipher_text.empty()) {
    Log()->LogMessage(0,
                      "configuration manager impl - decrypt configurations "
                      "failed, becuase of base64 decode encrypted configs "
                      "failed");
    return false;
  }
  std::string plain = AES256_ECB_PKCS5_Decrypt(std::move(cipher_text), key);
  if (plain.empty()) {
    Log()->LogMessage(0,
                      "configuration manager impl - decrypt configurations "
                      "failed, becuase of decrypt config.json failed");
    return false;
  }
  const size_t zero = plain.find('\0');
  if (zero != std::string::npos)
    plain.resize(zero);
  *output = std::move(plain);
  return true;
}

void ZQEConfigurationManagerImpl::ParseExtensions(
    const base::DictionaryValue& root,
    const base::FilePath& extensions_dir) {
  const base::ListValue* artifacts = nullptr;
  if (!root.GetListWithoutPathExpansion(kArtifacts, &artifacts))
    return;
  for (const auto& element : *artifacts) {
    std::string name;
    base::FilePath artifact_dir;
    // A package outside the extensions directory is never read.
    if (!element->GetAsString(&name) ||
        !GetArtifactDir(extensions_dir, name, &artifact_dir)) {
      continue;
    }
    Artifact* parsed = nullptr;
    if (!ArtifactParser::Parse(artifact_dir, &parsed) || !parsed)
      continue;
    // Held by a shared pointer from here on, so that the records copied
    // from it can share it (see ExtensionImpl).
    std::shared_ptr<Artifact> artifact(parsed);
    base::AutoLock lock(lock_);
    _artifacts.push_back(std::move(artifact));
  }
}

void ZQEConfigurationManagerImpl::ExtractExtensionsAndExtensionPoints() {
  // A merge may run on the data source's thread during the load; both change
  // the points and the local configuration only with the lock held.
  base::AutoLock lock(lock_);
  std::vector<ExtensionPoint*> accepted;
  for (const auto& artifact : _artifacts) {
    // Missing trailing components count as zero.
    if (artifact->GetFoundationVersion().CompareTo(_foundation_version) > 0)
      continue;
    artifact->GetExtensionPoints(accepted);
  }
  _extension_points.insert(_extension_points.end(), accepted.begin(),
                           accepted.end());

  LocalConfigIdIndex index;
  std::vector<Extension*> extensions;
  for (ExtensionPoint* point : accepted) {
    extensions.clear();
    if (point->GetExtensions(extensions))
      InsertExtensionsToLocalConfig(point->GetID(), extensions, &index);
  }
}

void ZQEConfigurationManagerImpl::InsertExtensionsToLocalConfig(
    const std::string& extension_point_id,
    std::vector<Extension*> extensions) {
  InsertExtensionsToLocalConfig(extension_point_id, extensions, nullptr);
}

void ZQEConfigurationManagerImpl::InsertExtensionsToLocalConfig(
    const std::string& extension_point_id,
    const std::vector<Extension*>& extensions,
    LocalConfigIdIndex* index) {
  // The working list takes the point's list over (no copy) and goes back to
  // the configuration only after every adapter step, which may add records
  // to other points' lists in the meantime.
  ExtensionList working = std::move(_localConfig[extension_point_id]);
  _localConfig[extension_point_id].clear();

  IdIndexEntry local_entry;
  IdIndexEntry& ids = index ? (*index)[extension_point_id] : local_entry;
  for (; ids.indexed < working.size(); ++ids.indexed) {
    if (working[ids.indexed])
      ids.ids.insert(working[ids.indexed]->GetID());
  }

  const bool mapped =
      GetExtensionAdapterInfoById(extension_point_id) != nullptr;
  for (Extension* extension : extensions) {
    Extension* copy = nullptr;
    ExtensionFactory::CopyExtension(extension, &copy);
    if (!copy)
      continue;
    std::shared_ptr<Extension> record(copy);
    // The record already present wins.
    if (!ids.ids.insert(record->GetID()).second) {
      Log()->LogMessage(2, "%s", "");
      continue;
    }
    working.push_back(std::move(record));
    ++ids.indexed;
    if (mapped)
      InsertExtensionAdapterToLocalConfig(copy);
  }
  _localConfig[extension_point_id] = std::move(working);
}

}  // namespace zqextensionkit
