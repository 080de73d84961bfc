#include "ZQExtensionKit/config/internal/ArtifactParser.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/ExtensionImpl.h"
#include "ZQExtensionKit/config/ExtensionPointImpl.h"
#include "ZQExtensionKit/config/SettingMap.h"
#include "ZQExtensionKit/config/internal/ZQEInstallationFiles.h"
#include "ZQExtensionKit/defines/internal/ZQEFileLimits.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "base/version.h"

namespace zqextensionkit {

namespace {

const char kResourcesDirName[] = "resources";

// Top level.
constexpr const char* kId = kManifestStringKeys[kManifestId];
constexpr const char* kVersion = kManifestStringKeys[kManifestVersion];
constexpr const char* kFoundationVersion =
    kManifestStringKeys[kManifestFoundationVersion];
constexpr const char* kMainEntry = kManifestStringKeys[kManifestMainEntry];
constexpr const char* kLibFileMD5 = kManifestStringKeys[kManifestLibFileMD5];
constexpr const char* kSignMD5 = kManifestStringKeys[kManifestSignMD5];
constexpr const char* kBundleClassId =
    kManifestStringKeys[kManifestBundleClassId];
const char kExtensionPoints[] = "extensionPoints";

// Extension point.
const char kIId[] = "iid";
const char kExtensions[] = "extensions";

// Extension, in the order the fields are read.
enum ExtensionKey {
  kExtensionId,
  kExtensionVersion,
  kExtensionClsId,
  kExtensionIsSingleton,
  kExtensionPayloads,
  kExtensionConstraints,
  kExtensionSettingMap,
  kExtensionUnifiedId,
  kExtensionKeyCount
};
constexpr std::string_view kExtensionKeys[kExtensionKeyCount] = {
    "id",       "version",     "clsid",      "isSingleton",
    "payloads", "constraints", "settingMap", "unifiedId"};

// Constraint object.
const char kConstraintKey[] = "key";
const char kConstraintValue[] = "value";

// Setting object, in the order the fields are read (kSettingMapKeys).
enum SettingKey {
  kSettingModalPosition,
  kSettingModalSize,
  kSettingHost,
  kSettingUri,
  kSettingOpenType,
  kSettingKeyCount
};
constexpr const std::string_view (&kSettingKeys)[kSettingKeyCount] =
    kSettingMapKeys;

// How a "settingMap" object is taken.
enum class SettingMapRule {
  // Manifests: all five keys must be strings, or the object is ignored.
  kAllKeys,
  // In-memory descriptions: any key that is a string is enough; the others
  // read as empty.
  kAnyKey,
};

// The text of `value` when it is a string, read in place; otherwise null.
const std::string* AsString(const base::Value* value) {
  if (!value || !value->IsType(base::Value::TYPE_STRING))
    return nullptr;
  return &static_cast<const base::StringValue*>(value)->GetString();
}

// The text of the string member `key` of `dict`, read in place; null when
// the member is absent or of another type. None of the manifest's keys holds
// a ".", so the literal lookup finds what a path lookup would.
const std::string* FindString(const base::DictionaryValue& dict,
                              const std::string& key) {
  const base::Value* value = nullptr;
  if (!dict.GetWithoutPathExpansion(key, &value))
    return nullptr;
  return AsString(value);
}

// Finds the members named `keys` with one walk over `dict` (cheaper than one
// lookup per key for the small objects of a manifest): `found[i]` receives
// the value of `keys[i]`, or null when `dict` has no such member.
template <size_t N>
void FindMembers(const base::DictionaryValue& dict,
                 const std::string_view (&keys)[N],
                 const base::Value* (&found)[N]) {
  for (const base::Value*& value : found)
    value = nullptr;
  for (base::DictionaryValue::Iterator it(dict); !it.IsAtEnd(); it.Advance()) {
    const std::string_view key = it.key();
    for (size_t i = 0; i < N; ++i) {
      if (key == keys[i]) {
        found[i] = &it.value();
        break;
      }
    }
  }
}

// The text of the string member `key` of `dict`, or "" when there is none.
std::string StringOrEmpty(const base::DictionaryValue& dict,
                          const std::string& key) {
  const std::string* value = FindString(dict, key);
  return value ? *value : std::string();
}

std::map<std::string, std::string> ParsePayloads(
    const base::DictionaryValue& payloads) {
  std::map<std::string, std::string> result;
  // Member names are taken literally: a "." in a payload key is not a path.
  // The iterator walks the keys in the map's own order, so each insertion
  // goes at the end.
  for (base::DictionaryValue::Iterator it(payloads); !it.IsAtEnd();
       it.Advance()) {
    const base::Value& value = it.value();
    if (!value.IsType(base::Value::TYPE_STRING))
      continue;
    const std::string& text =
        static_cast<const base::StringValue&>(value).GetString();
    if (!text.empty())
      result.emplace_hint(result.end(), it.key(), text);
  }
  return result;
}

std::map<std::string, std::vector<std::string>> ParseConstraints(
    const base::ListValue& constraints) {
  std::map<std::string, std::vector<std::string>> result;
  for (const auto& element : constraints) {
    const base::DictionaryValue* constraint = nullptr;
    if (!element->GetAsDictionary(&constraint))
      continue;
    std::string key = StringOrEmpty(*constraint, kConstraintKey);
    // The first object with a given key wins.
    if (result.count(key))
      continue;
    std::vector<std::string> values;
    const base::ListValue* value_list = nullptr;
    if (constraint->GetListWithoutPathExpansion(kConstraintValue,
                                                &value_list)) {
      values.reserve(value_list->GetSize());
      for (const auto& value : *value_list) {
        if (value->IsType(base::Value::TYPE_STRING)) {
          values.push_back(
              static_cast<const base::StringValue&>(*value).GetString());
        }
      }
    }
    result.emplace(std::move(key), std::move(values));
  }
  return result;
}

// Fills `out` from a "settingMap" object; false when `rule` rejects it.
bool ParseSettingMap(const base::DictionaryValue& settings,
                     SettingMapRule rule,
                     SettingMap* out) {
  const base::Value* found[kSettingKeyCount];
  FindMembers(settings, kSettingKeys, found);
  SettingMap result;
  std::string* const fields[kSettingKeyCount] = {
      &result.modal_position_, &result.modal_size_, &result.host_, &result.uri_,
      &result.open_type_};
  bool any_read = false;
  for (size_t i = 0; i < kSettingKeyCount; ++i) {
    if (const std::string* value = AsString(found[i])) {
      *fields[i] = *value;
      any_read = true;
    } else if (rule == SettingMapRule::kAllKeys) {
      return false;
    }
  }
  if (!any_read)
    return false;
  result.url_ = result.host_ + result.uri_;
  *out = std::move(result);
  return true;
}

bool ParseExtensionWithRule(ExtensionPointImpl* ep,
                            const base::DictionaryValue* extension,
                            SettingMapRule rule,
                            ExtensionImpl** ext) {
  // A record always belongs to a point: its extension point id is the
  // point's id. Without one there is nothing to build.
  if (!ep || !extension || !ext)
    return false;

  const base::Value* found[kExtensionKeyCount];
  FindMembers(*extension, kExtensionKeys, found);

  const std::string* id = AsString(found[kExtensionId]);
  if (!id)
    return false;

  auto record = std::make_unique<ExtensionImpl>(ep);
  record->SetID(*id);
  record->SetExtensionPointID(ep->GetID());
  if (const std::string* version = AsString(found[kExtensionVersion]))
    record->SetVersion(*version);
  if (const std::string* clsid = AsString(found[kExtensionClsId]))
    record->SetClassID(*clsid);

  bool is_singleton = true;
  if (found[kExtensionIsSingleton])
    found[kExtensionIsSingleton]->GetAsBoolean(&is_singleton);
  record->SetIsSingleton(is_singleton);

  const base::DictionaryValue* payloads = nullptr;
  if (found[kExtensionPayloads] &&
      found[kExtensionPayloads]->GetAsDictionary(&payloads)) {
    record->SetPayloads(ParsePayloads(*payloads));
  }

  const base::ListValue* constraints = nullptr;
  if (found[kExtensionConstraints] &&
      found[kExtensionConstraints]->GetAsList(&constraints)) {
    record->SetConstraints(ParseConstraints(*constraints));
  }

  const base::DictionaryValue* settings = nullptr;
  SettingMap setting_map;
  if (found[kExtensionSettingMap] &&
      found[kExtensionSettingMap]->GetAsDictionary(&settings) &&
      ParseSettingMap(*settings, rule, &setting_map)) {
    record->SetSettingMap(std::move(setting_map));
  }

  if (const std::string* unified_id = AsString(found[kExtensionUnifiedId]))
    record->SetUnifiedId(*unified_id);

  *ext = record.release();
  return true;
}

}  // namespace

// static
bool ArtifactParser::Parse(const base::FilePath& file_path,
                           Artifact** artifact) {
  return Parse(file_path, artifact, nullptr);
}

// static
bool ArtifactParser::Parse(const base::FilePath& file_path,
                           Artifact** artifact,
                           ParseFailure* failure) {
  ParseFailure ignored;
  ParseFailure& why = failure ? *failure : ignored;
  why = ParseFailure();
  if (!artifact) {
    why.kind = ParseFailure::kNoArtifact;
    return false;
  }
  const base::FilePath manifest_path = file_path.Append(kManifestFileName);
  if (!base::PathExists(file_path)) {
    why.kind = ParseFailure::kNoPackageDir;
    return false;
  }
  if (!base::PathExists(manifest_path)) {
    why.kind = ParseFailure::kNoManifest;
    return false;
  }
  std::string text;
  if (!base::ReadFileToStringWithMaxSize(manifest_path, &text,
                                         kMaxConfigurationFileSize)) {
    why.kind = ParseFailure::kUnreadable;
    return false;
  }
  int code = 0;
  std::unique_ptr<base::Value> root = base::JSONReader::ReadAndReturnError(
      text, base::JSON_PARSE_RFC, &code, nullptr, &why.line, &why.column);
  if (!root) {
    why.kind = ParseFailure::kNotJson;
    why.cause = base::JSONReader::ErrorCodeToString(
        static_cast<base::JSONReader::JsonParseError>(code));
    return false;
  }
  base::DictionaryValue* dict = nullptr;
  if (!root->GetAsDictionary(&dict)) {
    why.kind = ParseFailure::kNotObject;
    return false;
  }
  return ParseArtifact(file_path, dict, artifact);
}

// static
bool ArtifactParser::ParseArtifact(const base::FilePath& file_path,
                                   base::DictionaryValue* dict,
                                   Artifact** artifact) {
  if (!dict || !artifact)
    return false;

  auto result = std::make_unique<Artifact>(file_path);
  result->SetID(StringOrEmpty(*dict, kId));
  result->SetVersion(base::Version(StringOrEmpty(*dict, kVersion)));
  result->SetFoundationVersion(
      base::Version(StringOrEmpty(*dict, kFoundationVersion)));
  result->SetBinFilePath(StringOrEmpty(*dict, kMainEntry));
  result->SetLibFileMD5(StringOrEmpty(*dict, kLibFileMD5));
  result->SetSignMD5(StringOrEmpty(*dict, kSignMD5));
  result->SetBundleClassId(StringOrEmpty(*dict, kBundleClassId));
  result->SetResourcesPath(file_path.Append(kResourcesDirName).value());

  base::ListValue* points = nullptr;
  if (dict->GetListWithoutPathExpansion(kExtensionPoints, &points)) {
    for (size_t i = 0; i < points->GetSize(); ++i) {
      base::DictionaryValue* ept = nullptr;
      if (!points->GetDictionary(i, &ept))
        continue;
      ExtensionPointImpl* point = nullptr;
      if (ParseExtensionPoint(result.get(), ept, &point) && point)
        result->AddExtensionPoint(std::unique_ptr<ExtensionPoint>(point));
    }
  }

  *artifact = result.release();
  return true;
}

// static
bool ArtifactParser::ParseExtensionPoint(Artifact* artifact,
                                         base::DictionaryValue* ept,
                                         ExtensionPointImpl** extension_point) {
  if (!extension_point || !ept)
    return false;

  const std::string* id = FindString(*ept, kId);
  if (!id)
    return false;
  // "type" is not interpreted: every point reports ExtensionPointTypeUnkown.

  auto point = std::make_unique<ExtensionPointImpl>(artifact);
  point->SetInfo(*id, StringOrEmpty(*ept, kIId));

  base::ListValue* extensions = nullptr;
  if (ept->GetListWithoutPathExpansion(kExtensions, &extensions)) {
    for (size_t i = 0; i < extensions->GetSize(); ++i) {
      base::DictionaryValue* extension = nullptr;
      if (!extensions->GetDictionary(i, &extension))
        continue;
      ExtensionImpl* record = nullptr;
      if (ParseExtension(point.get(), extension, &record) && record)
        point->AddExtension(std::unique_ptr<Extension>(record));
    }
  }

  *extension_point = point.release();
  return true;
}

// static
bool ArtifactParser::ParseExtension(ExtensionPointImpl* ep,
                                    base::DictionaryValue* extension,
                                    ExtensionImpl** ext) {
  return ParseExtensionWithRule(ep, extension, SettingMapRule::kAllKeys, ext);
}

// static
bool ArtifactParser::ParseExtension(ExtensionPointImpl* ep,
                                    scoped_ptr<base::DictionaryValue> extension,
                                    ExtensionImpl** ext) {
  return ParseExtensionWithRule(ep, extension.get(), SettingMapRule::kAnyKey,
                                ext);
}

}  // namespace zqextensionkit
