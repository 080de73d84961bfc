// ZQEConfigurationManagerImpl: the adapter mapping beside the executable and
// the adapter records it asks for, which let the extensions of a source
// extension point also serve an internal extension point.

#include <memory>
#include <utility>

#include "ZQExtensionKit/config/ExtensionImpl.h"
#include "ZQExtensionKit/config/ExtensionPointImpl.h"
#include "ZQExtensionKit/config/internal/ArtifactParser.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/config/internal/ZQEInstallationFiles.h"
#include "ZQExtensionKit/defines/internal/ZQEFileLimits.h"
#include "ZQExtensionKit/defines/internal/ZQELoadReport.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "base/files/file_util.h"
#include "base/guid.h"
#include "base/json/json_reader.h"

namespace zqextensionkit {

namespace {

// The payload that marks an adapter record and names its source extension.
const char kExtensionId[] = "extensionId";

// Keys of a mapping entry.
const char kEntryExtensionPointId[] = "extensionPointId";
const char kEntryVersion[] = "version";
const char kEntryClsId[] = "clsid";
const char kEntryIId[] = "iid";
const char kEntryIsSingleton[] = "isSingleton";

// Keys of the extension description the parser reads.
const char kId[] = "id";
const char kVersion[] = "version";
const char kClsId[] = "clsid";
const char kUnifiedId[] = "unifiedId";
const char kIId[] = "iid";
const char kPayloads[] = "payloads";
const char kConstraints[] = "constraints";
const char kConstraintKey[] = "key";
const char kConstraintValue[] = "value";
const char kSettingMap[] = "settingMap";
const char kIsSingleton[] = "isSingleton";

std::string EntryString(const base::DictionaryValue& entry, const char* key) {
  std::string value;
  entry.GetStringWithoutPathExpansion(key, &value);
  return value;
}

// The source's non-empty payloads, each under its own name (a "." in a name
// is kept, not read as a path), after "extensionId".
scoped_ptr<base::DictionaryValue> AdapterPayloads(const Extension& source) {
  auto payloads = std::make_unique<base::DictionaryValue>();
  const std::string id = source.GetID();
  if (!id.empty())
    payloads->SetStringWithoutPathExpansion(kExtensionId, id);
  for (const auto& payload : source.GetPayloads()) {
    if (!payload.second.empty())
      payloads->SetStringWithoutPathExpansion(payload.first, payload.second);
  }
  return payloads;
}

// One {"key", "value"} object per constraint with a non-empty string, in
// key order, holding only its non-empty strings.
scoped_ptr<base::ListValue> AdapterConstraints(const Extension& source) {
  auto constraints = std::make_unique<base::ListValue>();
  for (const auto& constraint : source.GetConstraints()) {
    auto values = std::make_unique<base::ListValue>();
    for (const std::string& value : constraint.second) {
      if (!value.empty())
        values->AppendString(value);
    }
    if (values->empty())
      continue;
    auto item = std::make_unique<base::DictionaryValue>();
    item->SetStringWithoutPathExpansion(kConstraintKey, constraint.first);
    item->SetWithoutPathExpansion(kConstraintValue, std::move(values));
    constraints->Append(std::move(item));
  }
  return constraints;
}

// The source's non-empty settings, or null when all five are empty.
scoped_ptr<base::DictionaryValue> AdapterSettingMap(const Extension& source) {
  const SettingMap settings = source.GetSettingMap();
  const std::pair<const char*, const std::string*> fields[] = {
      {"modalSize", &settings.modal_size_},
      {"modalPosition", &settings.modal_position_},
      {"openType", &settings.open_type_},
      {"host", &settings.host_},
      {"uri", &settings.uri_},
  };
  auto result = std::make_unique<base::DictionaryValue>();
  for (const auto& field : fields) {
    if (!field.second->empty())
      result->SetStringWithoutPathExpansion(field.first, *field.second);
  }
  if (result->empty())
    return nullptr;
  return result;
}

// The description of the adapter record of `source` for mapping `entry`.
scoped_ptr<base::DictionaryValue> AdapterDescription(
    const base::DictionaryValue& entry,
    const Extension& source) {
  auto description = std::make_unique<base::DictionaryValue>();
  description->SetStringWithoutPathExpansion(kVersion,
                                             EntryString(entry, kEntryVersion));
  description->SetStringWithoutPathExpansion(kClsId,
                                             EntryString(entry, kEntryClsId));
  description->SetStringWithoutPathExpansion(kUnifiedId, source.GetUnifiedId());
  description->SetStringWithoutPathExpansion(kIId,
                                             EntryString(entry, kEntryIId));
  description->SetStringWithoutPathExpansion(kId,
                                             "{" + base::GenerateGUID() + "}");
  description->SetWithoutPathExpansion(kPayloads, AdapterPayloads(source));
  description->SetWithoutPathExpansion(kConstraints,
                                       AdapterConstraints(source));
  if (scoped_ptr<base::DictionaryValue> settings = AdapterSettingMap(source))
    description->SetWithoutPathExpansion(kSettingMap, std::move(settings));
  bool is_singleton = false;
  entry.GetBooleanWithoutPathExpansion(kEntryIsSingleton, &is_singleton);
  description->SetBooleanWithoutPathExpansion(kIsSingleton, is_singleton);
  return description;
}

// The source extension id an adapter record was made for, or "" for a record
// that is not an adapter record.
std::string AdaptedExtensionId(const Extension& record) {
  const std::map<std::string, std::string> payloads = record.GetPayloads();
  auto it = payloads.find(kExtensionId);
  return it == payloads.end() ? std::string() : it->second;
}

}  // namespace

bool GetExtensionAdapterMappingFilePath(const std::string& installation_dir,
                                        base::FilePath* path) {
  if (installation_dir.empty()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "configuration manager impl - get extension adapter mapping file path "
        "failed, becuase of extension_adapter_mapping.json is not exist");
    return false;
  }
  *path = base::FilePath(installation_dir).Append(kAdapterMappingFileName);
  return true;
}

bool ZQEConfigurationManagerImpl::LoadExtensionAdapterMappingJson() {
  using Severity = ZQELoadReport::Severity;
  base::FilePath path;
  if (!GetExtensionAdapterMappingFilePath(GetInstallationDir(), &path)) {
    ExplainLoadStep(Severity::kProblem, "", 0, 0,
                    "configuration manager impl - read adapter mapping "
                    "failed, because of %s",
                    kUnknownInstallationDir);
    return false;
  }
  const std::string& file = path.value();
  if (!base::PathExists(path)) {
    ExplainLoadStep(Severity::kProblem, file, 0, 0,
                    "configuration manager impl - read adapter mapping "
                    "failed, because of %s does not exist",
                    file.c_str());
    return false;
  }
  std::string text;
  if (!base::ReadFileToStringWithMaxSize(path, &text,
                                         kMaxConfigurationFileSize)) {
    ExplainLoadStep(Severity::kProblem, file, 0, 0,
                    "configuration manager impl - read adapter mapping "
                    "failed, because of %s %s",
                    file.c_str(), kCannotBeRead);
    return false;
  }
  JsonText json = ReadJsonText(text);
  if (!json.value) {
    ExplainLoadStep(Severity::kProblem, file, json.line, json.column,
                    "configuration manager impl - read adapter mapping "
                    "failed, because of %s is not valid JSON: line %d, "
                    "column %d, %s",
                    file.c_str(), json.line, json.column, json.cause.c_str());
    return false;
  }
  scoped_ptr<base::DictionaryValue> mapping =
      base::DictionaryValue::From(std::move(json.value));
  if (!mapping) {
    ExplainLoadStep(Severity::kProblem, file, 0, 0,
                    "configuration manager impl - read adapter mapping "
                    "failed, because of the top level of %s is not an object",
                    file.c_str());
    return false;
  }
  base::AutoLock lock(lock_);
  // Merges read the mapping only with the lock held; the replaced mapping
  // (now in `mapping`, declared first) is freed after the lock is released.
  _mappingDict.swap(mapping);
  return true;
}

base::DictionaryValue* ZQEConfigurationManagerImpl::GetExtensionAdapterInfoById(
    const std::string& extension_point_id) {
  base::DictionaryValue* entry = nullptr;
  if (!_mappingDict || !_mappingDict->GetDictionary(extension_point_id, &entry))
    return nullptr;
  return entry;
}

ExtensionPoint* ZQEConfigurationManagerImpl::GetExtensionPointOfAdapterById(
    const std::string& internal_extension_point_id) {
  for (ExtensionPoint* point : _extension_points) {
    if (point->GetID() != internal_extension_point_id)
      continue;
    auto* point_impl = dynamic_cast<ExtensionPointImpl*>(point);
    const Artifact* artifact =
        point_impl ? point_impl->GetOwnerArtifact() : nullptr;
    if (artifact && artifact->GetID() == kAdapterArtifactId)
      return point;
  }
  return nullptr;
}

bool ZQEConfigurationManagerImpl::IsExtensionAdapter(Extension* extension) {
  if (!extension)
    return false;
  const std::map<std::string, std::string> payloads = extension->GetPayloads();
  return !payloads.empty() && payloads.count(kExtensionId) != 0;
}

bool ZQEConfigurationManagerImpl::InsertExtensionAdapterToLocalConfig(
    Extension* extension) {
  // Adapters are never adapted again.
  if (!extension || IsExtensionAdapter(extension))
    return false;
  const base::DictionaryValue* entry =
      GetExtensionAdapterInfoById(extension->GetExtensionPointID());
  if (!entry)
    return true;
  const std::string internal_id = EntryString(*entry, kEntryExtensionPointId);
  auto* internal_point = dynamic_cast<ExtensionPointImpl*>(
      GetExtensionPointOfAdapterById(internal_id));
  if (!internal_point)
    return true;

  ExtensionImpl* parsed = nullptr;
  if (!ArtifactParser::ParseExtension(
          internal_point, AdapterDescription(*entry, *extension), &parsed) ||
      !parsed) {
    return false;
  }
  std::shared_ptr<Extension> adapter(parsed);
  // The record lives in the configuration, apart from the point: it keeps the
  // point's artifact alive for as long as it, or a copy of it, lives.
  parsed->ShareOwnerExtensionPoint(internal_point);
  const std::string resources_path = extension->GetResourcesPath();
  if (!resources_path.empty())
    parsed->SetResourcePath(resources_path);

  // One adapter record per source extension: a record made for the same
  // source before (an earlier merge of the same remote data) is replaced in
  // place rather than joined by another.
  const std::string source_id = extension->GetID();
  ExtensionList& list = _localConfig[internal_id];
  for (std::shared_ptr<Extension>& record : list) {
    if (record && !source_id.empty() &&
        AdaptedExtensionId(*record) == source_id) {
      record = std::move(adapter);
      return true;
    }
  }
  list.push_back(std::move(adapter));
  return true;
}

}  // namespace zqextensionkit
