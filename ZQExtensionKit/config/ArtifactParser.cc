#include "ZQExtensionKit/config/ArtifactParser.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/ExtensionImpl.h"
#include "ZQExtensionKit/config/ExtensionPointImpl.h"
#include "ZQExtensionKit/config/SettingMap.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "base/version.h"

namespace zqextensionkit {

namespace {

const char kManifestFileName[] = "manifest.json";
const char kResourcesDirName[] = "resources";

// Top level.
const char kId[] = "id";
const char kVersion[] = "version";
const char kFoundationVersion[] = "foundationVersion";
const char kMainEntry[] = "mainEntry";
const char kLibFileMD5[] = "libFileMD5";
const char kSignMD5[] = "signMD5";
const char kBundleClassId[] = "BundleClassId";
const char kExtensionPoints[] = "extensionPoints";

// Extension point.
const char kType[] = "type";
const char kIId[] = "iid";
const char kExtensions[] = "extensions";

// Extension.
const char kClsId[] = "clsid";
const char kIsSingleton[] = "isSingleton";
const char kPayloads[] = "payloads";
const char kConstraints[] = "constraints";
const char kConstraintKey[] = "key";
const char kConstraintValue[] = "value";
const char kSettingMap[] = "settingMap";
const char kModalPosition[] = "modalPosition";
const char kModalSize[] = "modalSize";
const char kHost[] = "host";
const char kUri[] = "uri";
const char kOpenType[] = "openType";
const char kUnifiedId[] = "unifiedId";

// How a "settingMap" object is taken.
enum class SettingMapRule {
  // Manifests: all five keys must be strings, or the object is ignored.
  kAllKeys,
  // In-memory descriptions: any key that is a string is enough; the others
  // read as empty.
  kAnyKey,
};

std::map<std::string, std::string> ParsePayloads(
    const base::DictionaryValue& payloads) {
  std::map<std::string, std::string> result;
  // Member names are taken literally: a "." in a payload key is not a path.
  for (base::DictionaryValue::Iterator it(payloads); !it.IsAtEnd();
       it.Advance()) {
    std::string value;
    if (it.value().GetAsString(&value) && !value.empty())
      result.emplace(it.key(), std::move(value));
  }
  return result;
}

std::map<std::string, std::vector<std::string>> ParseConstraints(
    const base::ListValue& constraints) {
  std::map<std::string, std::vector<std::string>> result;
  for (size_t i = 0; i < constraints.GetSize(); ++i) {
    const base::DictionaryValue* constraint = nullptr;
    if (!constraints.GetDictionary(i, &constraint))
      continue;
    std::string key;
    constraint->GetString(kConstraintKey, &key);
    std::vector<std::string> values;
    const base::ListValue* value_list = nullptr;
    if (constraint->GetList(kConstraintValue, &value_list)) {
      for (size_t j = 0; j < value_list->GetSize(); ++j) {
        std::string value;
        if (value_list->GetString(j, &value))
          values.push_back(std::move(value));
      }
    }
    // The first object with a given key wins.
    result.emplace(std::move(key), std::move(values));
  }
  return result;
}

// Fills `out` from a "settingMap" object; false when `rule` rejects it.
bool ParseSettingMap(const base::DictionaryValue& settings,
                     SettingMapRule rule,
                     SettingMap* out) {
  SettingMap result;
  const std::pair<const char*, std::string*> fields[] = {
      {kModalPosition, &result.modal_position_},
      {kModalSize, &result.modal_size_},
      {kHost, &result.host_},
      {kUri, &result.uri_},
      {kOpenType, &result.open_type_},
  };
  bool any_read = false;
  for (const auto& field : fields) {
    std::string value;
    if (settings.GetString(field.first, &value)) {
      *field.second = std::move(value);
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

  std::string id;
  if (!extension->GetString(kId, &id))
    return false;
  std::string version;
  extension->GetString(kVersion, &version);
  std::string clsid;
  extension->GetString(kClsId, &clsid);

  auto record = std::make_unique<ExtensionImpl>(ep);
  record->SetID(id);
  record->SetExtensionPointID(ep->GetID());
  record->SetVersion(version);
  record->SetClassID(clsid);

  bool is_singleton = true;
  extension->GetBoolean(kIsSingleton, &is_singleton);
  record->SetIsSingleton(is_singleton);

  const base::DictionaryValue* payloads = nullptr;
  if (extension->GetDictionary(kPayloads, &payloads))
    record->SetPayloads(ParsePayloads(*payloads));

  const base::ListValue* constraints = nullptr;
  if (extension->GetList(kConstraints, &constraints))
    record->SetConstraints(ParseConstraints(*constraints));

  const base::DictionaryValue* settings = nullptr;
  SettingMap setting_map;
  if (extension->GetDictionary(kSettingMap, &settings) &&
      ParseSettingMap(*settings, rule, &setting_map)) {
    record->SetSettingMap(setting_map);
  }

  std::string unified_id;
  extension->GetString(kUnifiedId, &unified_id);
  record->SetUnifiedId(unified_id);

  *ext = record.release();
  return true;
}

}  // namespace

// static
bool ArtifactParser::Parse(const base::FilePath& file_path,
                           Artifact** artifact) {
  if (!artifact)
    return false;
  const base::FilePath manifest_path = file_path.Append(kManifestFileName);
  if (!base::PathExists(file_path) || !base::PathExists(manifest_path))
    return false;
  std::string text;
  if (!base::ReadFileToString(manifest_path, &text))
    return false;
  std::unique_ptr<base::Value> root = base::JSONReader::Read(text);
  base::DictionaryValue* dict = nullptr;
  if (!root || !root->GetAsDictionary(&dict))
    return false;
  return ParseArtifact(file_path, dict, artifact);
}

// static
bool ArtifactParser::ParseArtifact(const base::FilePath& file_path,
                                   base::DictionaryValue* dict,
                                   Artifact** artifact) {
  if (!dict || !artifact)
    return false;

  std::string id;
  dict->GetString(kId, &id);
  std::string version;
  dict->GetString(kVersion, &version);
  std::string foundation_version;
  dict->GetString(kFoundationVersion, &foundation_version);
  std::string main_entry;
  dict->GetString(kMainEntry, &main_entry);
  std::string lib_file_md5;
  dict->GetString(kLibFileMD5, &lib_file_md5);
  std::string sign_md5;
  dict->GetString(kSignMD5, &sign_md5);
  std::string bundle_clsid;
  dict->GetString(kBundleClassId, &bundle_clsid);

  auto result = std::make_unique<Artifact>(file_path);
  result->SetID(id);
  result->SetVersion(base::Version(version));
  result->SetFoundationVersion(base::Version(foundation_version));
  result->SetBinFilePath(main_entry);
  result->SetLibFileMD5(lib_file_md5);
  result->SetSignMD5(sign_md5);
  result->SetBundleClassId(bundle_clsid);
  result->SetResourcesPath(file_path.Append(kResourcesDirName).value());

  base::ListValue* points = nullptr;
  if (dict->GetList(kExtensionPoints, &points)) {
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

  std::string id;
  if (!ept->GetString(kId, &id))
    return false;
  // "type" is read for completeness but not interpreted: every point reports
  // ExtensionPointTypeUnkown.
  std::string type;
  ept->GetString(kType, &type);
  std::string iid;
  ept->GetString(kIId, &iid);

  auto point = std::make_unique<ExtensionPointImpl>(artifact);
  point->SetInfo(id, iid);

  base::ListValue* extensions = nullptr;
  if (ept->GetList(kExtensions, &extensions)) {
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
