// ZQEConfigurationManagerImpl: the local load. Reads the adapter mapping and
// extensions/config.json in the installation directory (decrypting it when a
// key is set), parses every artifact it lists and builds the local
// configuration. Each step that fails or is skipped is explained (file and
// reason) besides its own message.

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
#include "ZQExtensionKit/defines/internal/ZQELoadReport.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/security/internal/ZQEOpenSsl.h"
#include "ZQExtensionKit/trace/internal/ZQETrace.h"
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
  openssl::ScopedCipherCtx context(EVP_CIPHER_CTX_new());
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

// Explains why the package in `artifact_dir` did not parse.
void ExplainParseFailure(const base::FilePath& artifact_dir,
                         const ArtifactParser::ParseFailure& failure) {
  using Outcome = ZQELoadReport::Outcome;
  const std::string& dir = artifact_dir.value();
  const std::string manifest = artifact_dir.Append(kManifestFileName).value();
  static constexpr char kSkipped[] =
      "configuration manager impl - load package skipped, because of ";
  switch (failure.kind) {
    case ArtifactParser::ParseFailure::kNoPackageDir:
      ExplainPackage(dir, Outcome::kSkipped, load_reason::kPackageMissing, dir,
                     0, 0, "%s%s does not exist", kSkipped, dir.c_str());
      break;
    case ArtifactParser::ParseFailure::kNoManifest:
      ExplainPackage(dir, Outcome::kSkipped, load_reason::kManifestMissing,
                     manifest, 0, 0, "%s%s does not exist", kSkipped,
                     manifest.c_str());
      break;
    case ArtifactParser::ParseFailure::kUnreadable:
      ExplainPackage(dir, Outcome::kSkipped, load_reason::kManifestUnreadable,
                     manifest, 0, 0, "%s%s %s", kSkipped, manifest.c_str(),
                     kCannotBeRead);
      break;
    case ArtifactParser::ParseFailure::kNotJson:
      ExplainPackage(dir, Outcome::kSkipped, load_reason::kManifestInvalid,
                     manifest, failure.line, failure.column,
                     "%s%s is not valid JSON: line %d, column %d, %s", kSkipped,
                     manifest.c_str(), failure.line, failure.column,
                     failure.cause.c_str());
      break;
    case ArtifactParser::ParseFailure::kNotObject:
    case ArtifactParser::ParseFailure::kNone:
    case ArtifactParser::ParseFailure::kNoArtifact:
      ExplainPackage(dir, Outcome::kSkipped, load_reason::kManifestInvalid,
                     manifest, 0, 0, "%sthe top level of %s is not an object",
                     kSkipped, manifest.c_str());
      break;
  }
}

}  // namespace

JsonText ReadJsonText(const std::string& text) {
  JsonText json;
  int code = 0;
  json.value = base::JSONReader::ReadAndReturnError(
      text, base::JSON_PARSE_RFC, &code, nullptr, &json.line, &json.column);
  if (!json.value) {
    json.cause = base::JSONReader::ErrorCodeToString(
        static_cast<base::JSONReader::JsonParseError>(code));
  }
  return json;
}

std::string AES256_ECB_PKCS5_Decrypt(const std::string& cipher_text,
                                     const uint8_t (&key)[32]) {
  return AES_ECB_PKCS5_Decrypt<256, 32>(cipher_text, key);
}

std::string AES256_ECB_PKCS5_Decrypt(std::string&& cipher_text,
                                     const uint8_t (&key)[32]) {
  return AES_ECB_PKCS5_Decrypt<256, 32>(std::move(cipher_text), key);
}

bool ZQEConfigurationManagerImpl::LoadAllExtensionInfos() {
  ZQETraceSpan span("configuration", trace_category::kLoad);
  const bool loaded = span.Result(FindExtensions());
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
  ZQETraceSpan mapping("adapter mapping", trace_category::kLoad);
  if (!mapping.Result(LoadExtensionAdapterMappingJson()))
    return false;
  mapping.End();
  return LoadLocalConfigurations();
}

bool ZQEConfigurationManagerImpl::GetExtensionsDir(
    base::FilePath* extensions_dir) {
  const std::string installation_dir = GetInstallationDir();
  if (installation_dir.empty()) {
    Log()->LogMessage(0,
                      "configuration manager impl - extensions dir is empty");
    return false;
  }
  *extensions_dir = base::FilePath(installation_dir).Append(kExtensionsDirName);
  Log()->LogMessage(0,
                    "configuration manager impl - get extensions dir success");
  return true;
}

bool ZQEConfigurationManagerImpl::LoadLocalConfigurations() {
  using Severity = ZQELoadReport::Severity;
  ZQETraceSpan reading("config.json", trace_category::kLoad);
  reading.Outcome("failed");
  base::FilePath extensions_dir;
  if (!GetExtensionsDir(&extensions_dir)) {
    Log()->LogMessage(0,
                      "configuration manager impl - load local configurations "
                      "failed, because of get extensions dir failed");
    ExplainLoadStep(Severity::kProblem, "", 0, 0,
                    "configuration manager impl - read config.json failed, "
                    "because of %s",
                    kUnknownInstallationDir);
    return false;
  }
  const base::FilePath config_path = extensions_dir.Append(kConfigFileName);
  const std::string& file = config_path.value();
  if (!base::PathExists(extensions_dir) || !base::PathExists(config_path)) {
    Log()->LogMessage(0,
                      "configuration manager impl - load local configurations "
                      "failed, becuase of config.json is not exist");
    ExplainLoadStep(Severity::kProblem, file, 0, 0,
                    "configuration manager impl - read config.json failed, "
                    "because of %s does not exist",
                    file.c_str());
    return false;
  }
  std::string text;
  if (!base::ReadFileToStringWithMaxSize(config_path, &text,
                                         kMaxConfigurationFileSize)) {
    Log()->LogMessage(0,
                      "configuration manager impl - load local configurations "
                      "failed, becuase of load config.json failed");
    ExplainLoadStep(Severity::kProblem, file, 0, 0,
                    "configuration manager impl - read config.json failed, "
                    "because of %s %s",
                    file.c_str(), kCannotBeRead);
    return false;
  }
  std::string json;
  Decryption decryption = Decryption::kPlain;
  ZQETraceSpan decrypting("decryption", trace_category::kLoad);
  if (!decrypting.Result(DecryptConfigurations(text, &json, &decryption))) {
    if (decryption == Decryption::kNotBase64) {
      const bool plain_json = base::JSONReader::Read(text) != nullptr;
      ExplainLoadStep(
          Severity::kProblem, file, 0, 0,
          "configuration manager impl - decrypt config.json "
          "failed, because of %s is not Base64 text%s",
          file.c_str(),
          plain_json ? ": the file is plain JSON but a key is set" : "");
    } else {
      ExplainLoadStep(Severity::kProblem, file, 0, 0,
                      "configuration manager impl - decrypt config.json "
                      "failed, because of %s does not decrypt with the key "
                      "set (wrong key?)",
                      file.c_str());
    }
    return false;
  }
  decrypting.Arg("config",
                 decryption == Decryption::kPlain ? "plain" : "encrypted");
  decrypting.End();

  std::string error;
  int code = 0;
  int line = 0;
  int column = 0;
  scoped_ptr<base::Value> root = base::JSONReader::ReadAndReturnError(
      json, base::JSON_PARSE_RFC, &code, &error, &line, &column);
  if (!root) {
    Log()->LogMessage(0,
                      "configuration manager impl - load local configurations "
                      "failed, becuase of parse json config.json failed, %s",
                      error.c_str());
    const std::string cause = base::JSONReader::ErrorCodeToString(
        static_cast<base::JSONReader::JsonParseError>(code));
    ExplainLoadStep(Severity::kProblem, file, line, column,
                    "configuration manager impl - read config.json failed, "
                    "because of %s is not valid JSON%s: line %d, column %d, "
                    "%s",
                    file.c_str(),
                    decryption == Decryption::kDecrypted
                        ? " after decryption (wrong key?)"
                        : "",
                    line, column, cause.c_str());
    return false;
  }
  reading.Outcome("done");
  // A root that is not an object holds nothing to load, which is not an
  // error.
  const base::DictionaryValue* dict = nullptr;
  if (root->GetAsDictionary(&dict)) {
    ParseModuleConfigurations(*dict);
    ParseExtensionAuthInfos(*dict);
    reading.End();
    ParseExtensions(*dict, extensions_dir);
    ExtractExtensionsAndExtensionPoints();
  } else {
    ExplainLoadStep(Severity::kProblem, file, 0, 0,
                    "configuration manager impl - read config.json skipped, "
                    "because of the top level of %s is not an object: no "
                    "packages, modules or access keys are read from it",
                    file.c_str());
  }
  return true;
}

bool ZQEConfigurationManagerImpl::DecryptConfigurations(
    const std::string& input,
    std::string* output) {
  Decryption decryption = Decryption::kPlain;
  return DecryptConfigurations(input, output, &decryption);
}

bool ZQEConfigurationManagerImpl::DecryptConfigurations(
    const std::string& input,
    std::string* output,
    Decryption* decryption) {
  uint8_t key[32] = {};
  {
    base::AutoLock lock(lock_);
    if (_sec_key.empty()) {
      *decryption = Decryption::kPlain;
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
    *decryption = Decryption::kNotBase64;
    Log()->LogMessage(0,
                      "configuration manager impl - decrypt configurations "
                      "failed, becuase of base64 decode encrypted configs "
                      "failed");
    return false;
  }
  std::string plain = AES256_ECB_PKCS5_Decrypt(std::move(cipher_text), key);
  if (plain.empty()) {
    *decryption = Decryption::kNotDecrypted;
    Log()->LogMessage(0,
                      "configuration manager impl - decrypt configurations "
                      "failed, becuase of decrypt config.json failed");
    return false;
  }
  const size_t zero = plain.find('\0');
  if (zero != std::string::npos)
    plain.resize(zero);
  *decryption = Decryption::kDecrypted;
  *output = std::move(plain);
  return true;
}

void ZQEConfigurationManagerImpl::ParseExtensions(
    const base::DictionaryValue& root,
    const base::FilePath& extensions_dir) {
  using Outcome = ZQELoadReport::Outcome;
  using Severity = ZQELoadReport::Severity;
  ZQETraceSpan span("manifests", trace_category::kLoad);
  const std::string config_file =
      extensions_dir.Append(kConfigFileName).value();
  const base::Value* listed = nullptr;
  const base::ListValue* artifacts = nullptr;
  if (!root.GetWithoutPathExpansion(kArtifacts, &listed)) {
    ExplainLoadStep(Severity::kNote, config_file, 0, 0,
                    "configuration manager impl - load packages skipped, "
                    "because of %s holds no \"artifacts\" list",
                    config_file.c_str());
    return;
  }
  if (!listed->GetAsList(&artifacts)) {
    ExplainLoadStep(Severity::kProblem, config_file, 0, 0,
                    "configuration manager impl - load packages skipped, "
                    "because of \"artifacts\" in %s is not a list",
                    config_file.c_str());
    return;
  }
  int index = -1;
  for (const auto& element : *artifacts) {
    ++index;
    ZQETraceSpan package("manifest", trace_category::kLoad);
    std::string name;
    if (!element->GetAsString(&name) || name.empty()) {
      ExplainLoadStep(Severity::kProblem, config_file, 0, 0,
                      "configuration manager impl - load package skipped, "
                      "because of artifacts[%d] in %s is not a package name",
                      index, config_file.c_str());
      package.Outcome("skipped");
      continue;
    }
    base::FilePath artifact_dir;
    // A package outside the extensions directory is never read.
    const bool inside = GetArtifactDir(extensions_dir, name, &artifact_dir);
    package.Package(artifact_dir.value());
    if (!inside) {
      ExplainPackage(artifact_dir.value(), Outcome::kSkipped,
                     load_reason::kOutsideExtensions, config_file, 0, 0,
                     "configuration manager impl - load package skipped, "
                     "because of %s lies outside %s",
                     artifact_dir.value().c_str(),
                     extensions_dir.value().c_str());
      continue;
    }
    Artifact* parsed = nullptr;
    ArtifactParser::ParseFailure failure;
    if (!ArtifactParser::Parse(artifact_dir, &parsed, &failure) || !parsed) {
      ExplainParseFailure(artifact_dir, failure);
      continue;
    }
    if (ZQELoadReport* report = ZQELoadReport::Current())
      report->AddPackage(artifact_dir.value(), parsed->GetID());
    if (package.on())
      package.Arg("id", parsed->GetID());
    package.Result(true);
    // Held by a shared pointer from here on, so that the records copied
    // from it can share it (see ExtensionImpl).
    std::shared_ptr<Artifact> artifact(parsed);
    base::AutoLock lock(lock_);
    _artifacts.push_back(std::move(artifact));
  }
}

void ZQEConfigurationManagerImpl::ExtractExtensionsAndExtensionPoints() {
  // The artifacts the foundation version turns away, explained once the
  // lock is released: their package directory, manifest and version.
  struct Refused {
    std::string dir;
    std::string version;
  };
  std::vector<Refused> refused;
  std::string host_version;
  {
    // A merge may run on the data source's thread during the load; both
    // change the points and the local configuration only with the lock
    // held.
    base::AutoLock lock(lock_);
    ZQETraceSpan filter("version filter", trace_category::kLoad);
    host_version = _foundation_version.GetString();
    std::vector<ExtensionPoint*> accepted;
    for (const auto& artifact : _artifacts) {
      // Missing trailing components count as zero.
      if (artifact->GetFoundationVersion().CompareTo(_foundation_version) > 0) {
        refused.push_back({artifact->GetRootPath().value(),
                           artifact->GetFoundationVersion().GetString()});
        continue;
      }
      artifact->GetExtensionPoints(accepted);
    }
    _extension_points.insert(_extension_points.end(), accepted.begin(),
                             accepted.end());
    filter.Number("points", static_cast<int64_t>(accepted.size()));
    filter.Number("skipped", static_cast<int64_t>(refused.size()));
    filter.Result(true);
    filter.End();
    ZQETraceSpan adapters("extensions and adapters", trace_category::kLoad);

    LocalConfigIdIndex index;
    std::vector<Extension*> extensions;
    for (ExtensionPoint* point : accepted) {
      extensions.clear();
      if (point->GetExtensions(extensions))
        InsertExtensionsToLocalConfig(point->GetID(), extensions, &index);
    }
    adapters.Number("points", static_cast<int64_t>(accepted.size()));
    adapters.Result(true);
  }

  if (host_version.empty()) {
    ExplainLoadStep(ZQELoadReport::Severity::kNote, "", 0, 0,
                    "configuration manager impl - check foundation version "
                    "failed, because of the host set none: only packages "
                    "that need none load their extensions");
  }
  for (const Refused& artifact : refused) {
    const std::string manifest =
        base::FilePath(artifact.dir).Append(kManifestFileName).value();
    ExplainPackage(artifact.dir, ZQELoadReport::Outcome::kSkipped,
                   load_reason::kFoundationVersion, manifest, 0, 0,
                   "configuration manager impl - load package skipped, "
                   "because of %s needs foundation version %s, the host's is "
                   "%s",
                   manifest.c_str(), artifact.version.c_str(),
                   host_version.empty() ? "not set" : host_version.c_str());
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
