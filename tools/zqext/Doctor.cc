#include "tools/zqext/Doctor.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZQExtensionKit/bundle/internal/ZQEEntryLibraryPath.h"
#include "ZQExtensionKit/bundle/internal/ZQELoadableLibraryFile.h"
#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/ExtensionPoint.h"
#include "ZQExtensionKit/config/ZQEUrlParser.h"
#include "ZQExtensionKit/config/internal/ArtifactParser.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/config/internal/ZQEInstallationFiles.h"
#include "ZQExtensionKit/defines/internal/ZQEFileLimits.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"
#include "ZQExtensionKit/security/internal/ZQELibrarySignature.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "base/version.h"
#include "dlcom/guidstring.h"
#include "dlcom/loadcom.h"
#include "tools/zqext/ConfigEncryption.h"
#include "tools/zqext/LibraryProbe.h"

namespace zqext {

namespace {

using base::DictionaryValue;
using base::ListValue;
using base::Value;

using zqextensionkit::kAdapterArtifactId;
constexpr const char* kMappingFile = zqextensionkit::kAdapterMappingFileName;
// config.json relative to the installation, as findings name it.
const std::string& ConfigFile() {
  static const std::string* const file =
      new std::string(std::string(zqextensionkit::kExtensionsDirName) + "/" +
                      zqextensionkit::kConfigFileName);
  return *file;
}
// The longest path CComLoader::LoadCom() takes: its module-name buffer,
// less the terminating NUL.
struct LoaderPathLimit : CComLoader {
  static constexpr size_t kMaxLength = sizeof(m_szModuleName) - 1;
};
constexpr size_t kMaxLibraryPathLength = LoaderPathLimit::kMaxLength;

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string Count(size_t count, const char* singular, const char* plural) {
  return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

// A class or interface id in the 38-character text form the kit parses.
bool IsGuidText(const std::string& text) {
  ZQGUID parsed{};
  return text.size() == 38 &&
         by::detail::ParseCanonicalGuid(text.c_str(), true, &parsed);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(std::tolower(c));
  });
  return text;
}

// Only Base64 characters and white space: what an encrypted file holds.
bool LooksLikeBase64(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) {
           return std::isalnum(c) || c == '+' || c == '/' || c == '=' ||
                  std::isspace(c);
         });
}

bool As(const Value& value, const ListValue** out) {
  return value.GetAsList(out);
}
bool As(const Value& value, const DictionaryValue** out) {
  return value.GetAsDictionary(out);
}
const char* KindName(const ListValue*) {
  return "an array";
}
const char* KindName(const DictionaryValue*) {
  return "an object";
}

// How an absent member counts.
enum class IfMissing { kNothing, kNote, kProblem };

// One extension point of a parsed package, with its extensions (both owned
// by the package's Artifact).
struct PointRecords {
  zqextensionkit::ExtensionPoint* point;
  std::vector<zqextensionkit::Extension*> extensions;
};

// What the doctor learnt about one extension of an accepted package.
struct ExtensionRecord {
  std::string id;
  std::string point;
  std::string clsid;
  bool singleton = true;
  std::string file;
};

class Doctor {
 public:
  Doctor(const DoctorOptions& options, InstallationMap* map)
      : options_(options), report_(options.dir), map_(map ? map : &own_map_) {}

  DoctorReport Run() {
    CheckMapping();
    scoped_ptr<DictionaryValue> config = CheckConfig();
    if (!config) {
      // Without the package list, nothing across packages can be judged.
      report_.Note("",
                   "packages, adapters and duplicate ids were not checked: "
                   "config.json did not load");
      return std::move(report_);
    }
    CheckModules(*config);
    CheckAccessKeys(*config);
    for (const std::string& name : CheckArtifactList(*config))
      CheckPackage(name);
    CheckDuplicateIds();
    CheckSharedSingletons();
    CheckAdapters();
    return std::move(report_);
  }

 private:
  base::FilePath Path(const std::string& relative) const {
    return base::FilePath(options_.dir).Append(relative);
  }

  // Reads `file` (relative to the installation) as the kit does. A missing
  // file is the problem `if_missing`; an unreadable one is a problem too.
  bool Read(const std::string& file,
            const std::string& if_missing,
            std::string* text) {
    const base::FilePath path = Path(file);
    if (!base::PathExists(path)) {
      report_.Problem(file, if_missing);
      return false;
    }
    if (!base::ReadFileToStringWithMaxSize(
            path, text, zqextensionkit::kMaxConfigurationFileSize)) {
      report_.Problem(file,
                      "cannot be read (not a regular file, unreadable, or "
                      "larger than 64 MiB): the kit cannot read it either");
      return false;
    }
    return true;
  }

  // `text` parsed as strict JSON, or where it is not.
  struct JsonParse {
    scoped_ptr<Value> value;
    int code = 0;
    int line = 0;
    int column = 0;
  };

  static JsonParse Parse(const std::string& text) {
    JsonParse parse;
    std::string message;
    parse.value = base::JSONReader::ReadAndReturnError(
        text, base::JSON_PARSE_RFC, &parse.code, &message, &parse.line,
        &parse.column);
    return parse;
  }

  void ReportJsonFault(const std::string& file,
                       const JsonParse& parse,
                       const std::string& context) {
    report_.Problem(
        file,
        "not valid JSON" + context + ": " +
            base::JSONReader::ErrorCodeToString(
                static_cast<base::JSONReader::JsonParseError>(parse.code)),
        parse.line, parse.column);
  }

  // Parses `text` as strict JSON; a fault is a problem with its position.
  scoped_ptr<Value> ParseJson(const std::string& file,
                              const std::string& text,
                              const std::string& context) {
    JsonParse parse = Parse(text);
    if (!parse.value)
      ReportJsonFault(file, parse, context);
    return std::move(parse.value);
  }

  // The member `key` of `dict` (taken literally) as a T, a ListValue or a
  // DictionaryValue, or null. An absent member is reported as `if_missing`
  // says, with `missing`; one of another type is the problem "<what> is not
  // an array|an object: <consequence>".
  template <class T>
  const T* Member(const std::string& file,
                  const DictionaryValue& dict,
                  const std::string& key,
                  IfMissing if_missing,
                  const std::string& missing,
                  const std::string& what,
                  const std::string& consequence) {
    const Value* value = nullptr;
    const T* member = nullptr;
    if (!dict.GetWithoutPathExpansion(key, &value)) {
      if (if_missing == IfMissing::kNote)
        report_.Note(file, missing);
      else if (if_missing == IfMissing::kProblem)
        report_.Problem(file, missing);
    } else if (!As(*value, &member)) {
      report_.Problem(
          file, what + " is not " + KindName(member) + ": " + consequence);
    }
    return member;
  }

  // --- extension_adapter_mapping.json ---

  void CheckMapping() {
    std::string text;
    if (!Read(kMappingFile,
              "missing: the kit refuses to load without it (a file holding "
              "{} serves)",
              &text)) {
      return;
    }
    scoped_ptr<Value> value = ParseJson(kMappingFile, text, "");
    if (!value)
      return;
    mapping_ = DictionaryValue::From(std::move(value));
    if (!mapping_) {
      report_.Problem(kMappingFile,
                      "the top level is not an object: the kit refuses to "
                      "load");
      return;
    }
    CollectAdapterEntries(*mapping_, "");
    report_.Ok(kMappingFile, "valid JSON object with " +
                                 Count(adapter_entries_.size(), "adapter entry",
                                       "adapter entries"));
  }

  // An adapter entry is an object holding "extensionPointId"; the kit finds
  // it by reading a point id as a dotted path of member names.
  void CollectAdapterEntries(const DictionaryValue& dict,
                             const std::string& path) {
    for (DictionaryValue::Iterator it(dict); !it.IsAtEnd(); it.Advance()) {
      const DictionaryValue* child = nullptr;
      if (!it.value().GetAsDictionary(&child))
        continue;
      const std::string child_path =
          path.empty() ? it.key() : path + "." + it.key();
      if (it.key().find('.') != std::string::npos) {
        report_.Problem(kMappingFile,
                        "the member " + Quoted(child_path) +
                            " holds a \".\": the kit splits point ids at "
                            "\".\", so it never reaches this member; nest "
                            "one object per component instead");
        continue;
      }
      if (child->HasKey("extensionPointId"))
        adapter_entries_.emplace_back(child_path, child);
      else
        CollectAdapterEntries(*child, child_path);
    }
  }

  // --- extensions/config.json ---

  scoped_ptr<DictionaryValue> CheckConfig() {
    std::string text;
    if (!Read(ConfigFile(), "missing: the kit loads nothing without it",
              &text)) {
      return nullptr;
    }
    scoped_ptr<Value> value;
    if (!options_.key.empty()) {
      std::string plain;
      std::string reason;
      if (!DecryptConfig(text, options_.key, &plain, &reason)) {
        std::string message =
            "does not decrypt with the given key (the kit says: " + reason +
            ")";
        if (base::JSONReader::Read(text))
          message +=
              "; the file is plain JSON, which the kit reads only "
              "when the host sets no key";
        report_.Problem(ConfigFile(), message);
        return nullptr;
      }
      value = ParseJson(ConfigFile(), plain,
                        " after decryption (is the key right?)");
    } else {
      JsonParse parse = Parse(text);
      if (!parse.value && LooksLikeBase64(text)) {
        report_.Problem(ConfigFile(),
                        "not JSON but Base64 text, probably encrypted: give "
                        "its key with --key-file or ZQEXT_KEY");
        return nullptr;
      }
      if (!parse.value)
        ReportJsonFault(ConfigFile(), parse, "");
      value = std::move(parse.value);
    }
    if (!value)
      return nullptr;
    scoped_ptr<DictionaryValue> root = DictionaryValue::From(std::move(value));
    if (!root) {
      report_.Problem(ConfigFile(),
                      "the top level is not an object: the kit loads no "
                      "packages, modules or access keys from it");
      return nullptr;
    }
    report_.Ok(ConfigFile(), options_.key.empty()
                                 ? "valid JSON object (plain text: the host "
                                   "must set no key)"
                                 : "decrypts with the given key to a valid "
                                   "JSON object");
    map_->config_loaded = true;
    return root;
  }

  void CheckModules(const DictionaryValue& root) {
    const ListValue* modules = Member<ListValue>(
        ConfigFile(), root, "modules", IfMissing::kNote,
        "no \"modules\" section: every module reads as disabled", "\"modules\"",
        "the kit ignores it");
    if (!modules)
      return;
    std::set<std::string> known;
    for (int code = zqextensionkit::kModuleCodeNone;
         code <= zqextensionkit::kModuleCodeCaster; ++code) {
      known.insert(zqextensionkit::ZQEConfigurationManagerImpl::
                       Util_GetModuleStringFromCode(
                           static_cast<zqextensionkit::ModuleCode>(code)));
    }
    std::vector<std::string> enabled;
    for (size_t i = 0; i < modules->GetSize(); ++i) {
      const std::string where = "modules[" + std::to_string(i) + "]";
      const DictionaryValue* module = nullptr;
      std::string id;
      if (!modules->GetDictionary(i, &module)) {
        report_.Problem(ConfigFile(), where + " is not an object: skipped");
        continue;
      }
      if (!module->GetStringWithoutPathExpansion("id", &id) || id.empty()) {
        report_.Problem(ConfigFile(),
                        where + " has no non-empty string \"id\": skipped");
        continue;
      }
      if (std::find(enabled.begin(), enabled.end(), id) != enabled.end()) {
        report_.Note(ConfigFile(), where + " repeats the module " + Quoted(id) +
                                       ": its settings replace the earlier "
                                       "ones");
      } else {
        enabled.push_back(id);
      }
      if (!known.count(id)) {
        report_.Note(ConfigFile(),
                     "module " + Quoted(id) +
                         " matches no module code: only feature lookups "
                         "read it");
      }
      CheckModuleSettings(*module, where);
    }
    std::string names;
    for (const std::string& id : enabled)
      names += (names.empty() ? ": " : ", ") + id;
    report_.Ok(ConfigFile(),
               Count(enabled.size(), "module", "modules") + " enabled" + names);
  }

  void CheckModuleSettings(const DictionaryValue& module,
                           const std::string& where) {
    const ListValue* settings = Member<ListValue>(
        ConfigFile(), module, "configurations", IfMissing::kNothing, "",
        where + ".configurations", "the module has no settings");
    if (!settings)
      return;
    for (size_t i = 0; i < settings->GetSize(); ++i) {
      const std::string at =
          where + ".configurations[" + std::to_string(i) + "]";
      const DictionaryValue* setting = nullptr;
      std::string text;
      if (!settings->GetDictionary(i, &setting)) {
        report_.Problem(ConfigFile(), at + " is not an object: skipped");
      } else if (!setting->GetStringWithoutPathExpansion("key", &text)) {
        report_.Problem(ConfigFile(), at + " has no string \"key\": skipped");
      } else if (!setting->GetStringWithoutPathExpansion("value", &text)) {
        report_.Problem(ConfigFile(),
                        at + " has no string \"value\" (write \"true\", not "
                             "true): skipped");
      }
    }
  }

  void CheckAccessKeys(const DictionaryValue& root) {
    const DictionaryValue* section = Member<DictionaryValue>(
        ConfigFile(), root, "ExtensionAuthInfo", IfMissing::kNote,
        "no \"ExtensionAuthInfo\" section: no access keys",
        "\"ExtensionAuthInfo\"", "no access keys");
    if (!section)
      return;
    size_t h5_keys = 0;
    size_t native_keys = 0;
    const DictionaryValue* h5 = Member<DictionaryValue>(
        ConfigFile(), *section, "H5", IfMissing::kNothing, "",
        "ExtensionAuthInfo.H5", "skipped");
    if (h5) {
      for (DictionaryValue::Iterator it(*h5); !it.IsAtEnd(); it.Advance()) {
        const std::string where =
            "ExtensionAuthInfo.H5[" + Quoted(it.key()) + "]";
        const ListValue* keys = nullptr;
        CheckH5Host(it.key());
        if (As(it.value(), &keys))
          h5_keys += CheckAccessKeyList(*keys, where);
        else
          report_.Problem(ConfigFile(), where + " is not an array: skipped");
      }
    }
    const ListValue* native =
        Member<ListValue>(ConfigFile(), *section, "Native", IfMissing::kNothing,
                          "", "ExtensionAuthInfo.Native", "skipped");
    if (native)
      native_keys = CheckAccessKeyList(*native, "ExtensionAuthInfo.Native");
    report_.Ok(ConfigFile(),
               Count(h5_keys + native_keys, "access key", "access keys") +
                   " (H5: " + std::to_string(h5_keys) +
                   ", native: " + std::to_string(native_keys) + ")");
  }

  void CheckH5Host(const std::string& host) {
    zqextensionkit::ZQEUrlParser* url =
        zqextensionkit::ZQEUrlParser::parseUrl(host);
    const bool usable = url && !url->scheme.empty() && !url->hostName.empty();
    zqextensionkit::ZQEUrlParser::destroy(&url);
    if (!usable) {
      report_.Problem(ConfigFile(),
                      "the H5 host " + Quoted(host) +
                          " has no scheme or host name: its access keys "
                          "never match a page");
    }
  }

  // Returns the access keys the kit will take from `list`.
  size_t CheckAccessKeyList(const ListValue& list, const std::string& where) {
    size_t taken = 0;
    for (size_t i = 0; i < list.GetSize(); ++i) {
      const std::string at = where + "[" + std::to_string(i) + "]";
      const DictionaryValue* entry = nullptr;
      std::string bundle;
      std::string key;
      if (!list.GetDictionary(i, &entry)) {
        report_.Problem(ConfigFile(), at + " is not an object: skipped");
      } else if (!entry->GetStringWithoutPathExpansion("bundleId", &bundle) ||
                 bundle.empty()) {
        report_.Problem(ConfigFile(),
                        at + " has no non-empty string \"bundleId\": skipped");
      } else if (!entry->GetStringWithoutPathExpansion("accessKey", &key)) {
        report_.Problem(ConfigFile(),
                        at + " has no string \"accessKey\": skipped");
      } else if (key.empty()) {
        report_.Note(ConfigFile(),
                     at + " (" + bundle +
                         ") has an empty \"accessKey\": skipped, so the "
                         "bundle has no key until a remote configuration "
                         "supplies one");
      } else {
        ++taken;
      }
    }
    return taken;
  }

  // The package directory names the kit will try, in order.
  std::vector<std::string> CheckArtifactList(const DictionaryValue& root) {
    std::vector<std::string> names;
    const ListValue* list =
        Member<ListValue>(ConfigFile(), root, "artifacts", IfMissing::kProblem,
                          "no \"artifacts\" list: the kit loads no packages",
                          "\"artifacts\"", "the kit loads no packages");
    if (!list)
      return names;
    const base::FilePath extensions = Path(zqextensionkit::kExtensionsDirName);
    for (size_t i = 0; i < list->GetSize(); ++i) {
      const std::string at = "artifacts[" + std::to_string(i) + "]";
      std::string name;
      base::FilePath dir;
      if (!list->GetString(i, &name) || name.empty()) {
        report_.Problem(ConfigFile(),
                        at + " is not a non-empty string: skipped");
      } else if (!zqextensionkit::GetArtifactDir(extensions, name, &dir)) {
        report_.Problem(
            ConfigFile(),
            at + " " + Quoted(name) + " leads outside extensions/: skipped");
      } else if (std::find(names.begin(), names.end(), name) != names.end()) {
        report_.Problem(ConfigFile(),
                        at + " lists " + Quoted(name) +
                            " again: the kit reads the package twice and "
                            "keeps the first copy's records");
      } else {
        names.push_back(name);
      }
    }
    report_.Ok(ConfigFile(),
               Count(names.size(), "package", "packages") + " listed");
    return names;
  }

  // --- packages ---

  void CheckPackage(const std::string& name) {
    const std::string package =
        std::string(zqextensionkit::kExtensionsDirName) + "/" + name;
    const std::string file = package + "/" + zqextensionkit::kManifestFileName;
    map_->packages.emplace_back();
    map_->packages.back().name = name;
    map_->packages.back().dir = package;
    if (!base::PathExists(Path(package))) {
      report_.Problem(package,
                      "listed in config.json but missing: the kit skips it");
      return;
    }
    std::string text;
    if (!Read(file, "missing: the kit skips the package", &text))
      return;
    scoped_ptr<Value> value = ParseJson(file, text, "");
    if (!value)
      return;
    DictionaryValue* dict = nullptr;
    if (!value->GetAsDictionary(&dict)) {
      report_.Problem(file,
                      "the top level is not an object: the kit skips the "
                      "package");
      return;
    }
    CheckManifestKeys(file, *dict);
    zqextensionkit::Artifact* parsed = nullptr;
    if (!zqextensionkit::ArtifactParser::ParseArtifact(Path(package), dict,
                                                       &parsed) ||
        !parsed) {
      report_.Problem(file, "the kit's parser refuses it");
      return;
    }
    std::unique_ptr<zqextensionkit::Artifact> artifact(parsed);
    std::vector<zqextensionkit::ExtensionPoint*> declared;
    artifact->GetExtensionPoints(declared);
    std::vector<PointRecords> points;
    size_t extension_count = 0;
    InstallationMap::Package& mapped = map_->packages.back();
    mapped.loaded = true;
    mapped.id = artifact->GetID();
    mapped.version = artifact->GetVersion().GetString();
    mapped.library = artifact->GetBinFilePath();
    mapped.bundle_clsid = artifact->GetBundleClassId();
    for (zqextensionkit::ExtensionPoint* point : declared) {
      points.push_back(PointRecords{point, {}});
      point->GetExtensions(points.back().extensions);
      extension_count += points.back().extensions.size();
      mapped.points.push_back(
          InstallationMap::Point{point->GetID(), point->GetIId(), {}});
      for (zqextensionkit::Extension* extension : points.back().extensions) {
        mapped.points.back().extensions.push_back(InstallationMap::Extension{
            extension->GetID(), extension->GetClassID()});
      }
    }
    report_.Ok(file,
               "package " + Quoted(artifact->GetID()) + " " +
                   artifact->GetVersion().GetString() + ": " +
                   Count(points.size(), "extension point", "extension points") +
                   ", " + Count(extension_count, "extension", "extensions"));

    mapped.accepted = CheckVersions(file, *dict, *artifact);
    if (mapped.accepted)
      Remember(file, *artifact, points);
    CheckPoints(file, *artifact, points);
    CheckEntryLibrary(file, *artifact, points);
  }

  // Problems with keys that the parser drops or misreads without a word.
  void CheckManifestKeys(const std::string& file, const DictionaryValue& dict) {
    for (DictionaryValue::Iterator it(dict); !it.IsAtEnd(); it.Advance()) {
      for (const char* key : zqextensionkit::kManifestStringKeys) {
        if (it.key() != key && Lower(it.key()) == Lower(key)) {
          report_.Problem(file, "the key " + Quoted(it.key()) +
                                    " is not read: keys are case-sensitive, "
                                    "write " +
                                    Quoted(key));
        }
      }
    }
    for (const char* key : zqextensionkit::kManifestStringKeys) {
      const Value* value = nullptr;
      if (dict.GetWithoutPathExpansion(key, &value) &&
          value->GetType() != Value::TYPE_STRING) {
        report_.Problem(file, Quoted(key) +
                                  " is not a string: the kit reads it as "
                                  "missing");
      }
    }
    const ListValue* points =
        Member<ListValue>(file, dict, "extensionPoints", IfMissing::kNothing,
                          "", "\"extensionPoints\"", "no extension points");
    if (!points)
      return;
    for (size_t i = 0; i < points->GetSize(); ++i) {
      const std::string at = "extensionPoints[" + std::to_string(i) + "]";
      const DictionaryValue* point = nullptr;
      std::string id;
      if (!points->GetDictionary(i, &point)) {
        report_.Problem(file, at + " is not an object: skipped");
        continue;
      }
      if (!point->GetStringWithoutPathExpansion("id", &id)) {
        report_.Problem(file, at + " has no string \"id\": the point and its "
                                   "extensions are dropped");
        continue;
      }
      const ListValue* extensions = Member<ListValue>(
          file, *point, "extensions", IfMissing::kNothing, "",
          "point " + id + ": \"extensions\"", "no extensions");
      for (size_t j = 0; extensions && j < extensions->GetSize(); ++j)
        CheckExtensionKeys(file, id, j, *extensions);
    }
  }

  void CheckExtensionKeys(const std::string& file,
                          const std::string& point,
                          size_t index,
                          const ListValue& extensions) {
    const std::string at =
        "point " + point + ", extensions[" + std::to_string(index) + "]";
    const DictionaryValue* extension = nullptr;
    std::string id;
    if (!extensions.GetDictionary(index, &extension)) {
      report_.Problem(file, at + " is not an object: skipped");
      return;
    }
    if (!extension->GetStringWithoutPathExpansion("id", &id)) {
      report_.Problem(file, at + " has no string \"id\": dropped");
      return;
    }
    const std::string subject = "extension " + id;
    const Value* value = nullptr;
    if (extension->GetWithoutPathExpansion("isSingleton", &value) &&
        value->GetType() != Value::TYPE_BOOLEAN) {
      report_.Problem(file, subject +
                                ": \"isSingleton\" is not true or false, so "
                                "it counts as missing: the extension is a "
                                "singleton");
    }
    const DictionaryValue* payloads = nullptr;
    if (extension->GetDictionaryWithoutPathExpansion("payloads", &payloads)) {
      for (DictionaryValue::Iterator it(*payloads); !it.IsAtEnd();
           it.Advance()) {
        std::string text;
        if (!it.value().GetAsString(&text) || text.empty()) {
          report_.Problem(file, subject + ": the payload " + Quoted(it.key()) +
                                    " is not a non-empty string: dropped");
        }
      }
    }
    const DictionaryValue* settings = nullptr;
    if (extension->GetDictionaryWithoutPathExpansion("settingMap", &settings)) {
      std::string missing;
      for (const std::string_view key : zqextensionkit::kSettingMapKeys) {
        std::string text;
        if (!settings->GetStringWithoutPathExpansion(std::string(key), &text))
          missing += (missing.empty() ? "" : ", ") + Quoted(std::string(key));
      }
      if (!missing.empty()) {
        report_.Problem(
            file, subject + ": \"settingMap\" lacks the string(s) " + missing +
                      ": the kit ignores the whole map (give all "
                      "five, empty ones as \"\")");
      }
    }
  }

  // Returns whether the host's foundation version accepts the package.
  bool CheckVersions(const std::string& file,
                     const DictionaryValue& dict,
                     const zqextensionkit::Artifact& artifact) {
    std::string text;
    if (dict.GetStringWithoutPathExpansion("version", &text) &&
        !artifact.GetVersion().IsValid()) {
      report_.Problem(file, "\"version\" " + Quoted(text) +
                                " is not a version (numbers separated by "
                                "dots)");
    }
    const base::Version needed = artifact.GetFoundationVersion();
    if (dict.GetStringWithoutPathExpansion("foundationVersion", &text) &&
        !needed.IsValid()) {
      report_.Problem(file, "\"foundationVersion\" " + Quoted(text) +
                                " is not a version: every host accepts the "
                                "package");
    }
    if (options_.foundation_version.empty()) {
      if (needed.IsValid()) {
        report_.Note(file, "needs foundation version " + needed.GetString() +
                               " (give --version to check it)");
      }
      return true;
    }
    const base::Version host(options_.foundation_version);
    if (needed.IsValid() && host.CompareTo(needed) < 0) {
      report_.Problem(file, "needs foundation version " + needed.GetString() +
                                ", newer than " + host.GetString() +
                                ": the kit lists the package but ignores its "
                                "extension points");
      return false;
    }
    return true;
  }

  void Remember(const std::string& file,
                const zqextensionkit::Artifact& artifact,
                const std::vector<PointRecords>& points) {
    for (const PointRecords& records : points) {
      const zqextensionkit::ExtensionPoint* point = records.point;
      if (artifact.GetID() == kAdapterArtifactId)
        internal_points_.insert(point->GetID());
      declared_points_.insert(point->GetID());
      for (zqextensionkit::Extension* extension : records.extensions) {
        extensions_.push_back(ExtensionRecord{
            extension->GetID(), point->GetID(), extension->GetClassID(),
            extension->IsSingleton(), file});
      }
    }
  }

  void CheckPoints(const std::string& file,
                   const zqextensionkit::Artifact& artifact,
                   const std::vector<PointRecords>& points) {
    const bool native = !artifact.GetBinFilePath().empty();
    std::vector<std::string> in_process;
    for (const PointRecords& records : points) {
      const zqextensionkit::ExtensionPoint* point = records.point;
      const std::vector<zqextensionkit::Extension*>& extensions =
          records.extensions;
      const bool any_class = std::any_of(extensions.begin(), extensions.end(),
                                         [](zqextensionkit::Extension* e) {
                                           return !e->GetClassID().empty();
                                         });
      const std::string iid = point->GetIId();
      if (iid.empty() && any_class) {
        report_.Problem(file, "point " + point->GetID() +
                                  " has no \"iid\": the extension manager "
                                  "cannot hand out its extensions");
      } else if (iid.empty() && !extensions.empty()) {
        report_.Note(file, "point " + point->GetID() +
                               " has no \"iid\" and its extensions no "
                               "class: records for the host to read, which "
                               "the extension manager does not create");
      } else if (!iid.empty() && !IsGuidText(iid)) {
        report_.Problem(file, "point " + point->GetID() + ": \"iid\" " +
                                  Quoted(iid) +
                                  " is not a {8-4-4-4-12} id of 38 "
                                  "characters");
      }
      for (zqextensionkit::Extension* extension : extensions) {
        const std::string clsid = extension->GetClassID();
        if (clsid.empty() && native) {
          report_.Problem(file, "extension " + extension->GetID() +
                                    " has no \"clsid\": the extension "
                                    "manager cannot create it");
        } else if (!clsid.empty() && !IsGuidText(clsid)) {
          report_.Problem(file, "extension " + extension->GetID() +
                                    ": \"clsid\" " + Quoted(clsid) +
                                    " is not a {8-4-4-4-12} id of 38 "
                                    "characters");
        } else if (!clsid.empty() && !native &&
                   std::find(in_process.begin(), in_process.end(), clsid) ==
                       in_process.end()) {
          in_process.push_back(clsid);
        }
      }
    }
    if (!native && !in_process.empty()) {
      std::string classes;
      for (const std::string& clsid : in_process)
        classes += (classes.empty() ? "" : ", ") + clsid;
      report_.Note(file, "no entry library: the host registers the classes " +
                             classes + " in-process");
    }
  }

  void CheckEntryLibrary(const std::string& file,
                         const zqextensionkit::Artifact& artifact,
                         const std::vector<PointRecords>& points) {
    const std::string entry = artifact.GetBinFilePath();
    const std::string bundle = artifact.GetBundleClassId();
    if (entry.empty()) {
      if (!bundle.empty()) {
        report_.Note(file,
                     "names a bundle class but no \"mainEntry\": no "
                     "bundle object is made");
      }
      return;
    }
    if (!bundle.empty() && !IsGuidText(bundle)) {
      report_.Problem(file, "\"BundleClassId\" " + Quoted(bundle) +
                                " is not a {8-4-4-4-12} id of 38 characters");
    }
    base::FilePath library;
    InstallationMap::Library& state = map_->packages.back().library_state;
    if (!zqextensionkit::GetEntryLibraryPath(artifact.GetRootPath(), entry,
                                             &library)) {
      if (!zqextensionkit::IsEntryInsidePackage(entry)) {
        state = InstallationMap::Library::kOutside;
        report_.Problem(file, "\"mainEntry\" " + Quoted(entry) +
                                  " is not a path inside the package: the "
                                  "kit refuses to load it");
      } else {
        state = InstallationMap::Library::kMissing;
        report_.Problem(file, "the entry library " + entry +
                                  " is missing: the package's code cannot "
                                  "load");
      }
      return;
    }
    state = CheckLibraryDigest(file, entry, library, artifact.GetLibFileMD5());
    if (state == InstallationMap::Library::kUnreadable)
      return;
    if (!options_.trusted_keys.empty())
      CheckSignature(file, artifact, library);
    // The probe loads the library by its path, as a host that does not
    // verify libraries does; one that verifies loads it through its open
    // descriptor, whose path is always short.
    bool probe = true;
    if (library.value().size() > kMaxLibraryPathLength) {
      report_.Problem(file, "the path of the entry library is " +
                                std::to_string(library.value().size()) +
                                " bytes long; the loader takes at most " +
                                std::to_string(kMaxLibraryPathLength) +
                                ", so a host that does not verify libraries "
                                "refuses it (not probed)");
      probe = false;
    }
    // What the kit never hands to the dynamic loader is not probed either.
    if (!zqextensionkit::IsLoadableLibraryFile(library.value())) {
      report_.Problem(file, "the entry library " + entry +
                                " is cut short (a loadable segment lies "
                                "beyond its end): the kit refuses to load "
                                "it (not probed)");
      probe = false;
    }
    if (!probe)
      return;

    ProbeRequest request;
    request.library = library.value();
    request.bundle_clsid = bundle;
    for (const PointRecords& records : points) {
      const std::string iid = records.point->GetIId();
      for (zqextensionkit::Extension* extension : records.extensions) {
        if (!extension->GetClassID().empty() && !iid.empty()) {
          request.extensions.push_back(ProbeRequest::ExtensionClass{
              extension->GetID(), extension->GetClassID(), iid});
        }
      }
    }
    ProbeLibrary(request, options_.timeout_seconds, file, &report_);
  }

  InstallationMap::Library CheckLibraryDigest(const std::string& file,
                                              const std::string& entry,
                                              const base::FilePath& library,
                                              const std::string& recorded) {
    std::string actual;
    if (!zqextensionkit::ZQEUtility_MD5_File_String(library.value(), actual)) {
      report_.Problem(file, "the entry library " + entry +
                                " cannot be read: the kit cannot verify or "
                                "load it");
      return InstallationMap::Library::kUnreadable;
    }
    if (recorded == actual) {
      report_.Ok(file,
                 "entry library " + entry + ": MD5 " + actual + " as recorded");
      return InstallationMap::Library::kMatches;
    }
    if (recorded.empty()) {
      report_.Problem(file,
                      "no \"libFileMD5\": a host that verifies "
                      "libraries refuses " +
                          entry + " (its MD5 is " + actual + ")");
    } else if (Lower(recorded) == actual) {
      report_.Problem(file,
                      "\"libFileMD5\" is in upper case and the kit "
                      "compares exactly: write " +
                          actual);
    } else {
      report_.Problem(file, "the MD5 of " + entry + " is " + actual +
                                ", the manifest records " + recorded +
                                ": a host that verifies libraries refuses it");
    }
    return recorded.empty() ? InstallationMap::Library::kNotRecorded
                            : InstallationMap::Library::kDiffers;
  }

  // The signature check of a host that trusts options_.trusted_keys, made
  // only behind a matching MD5, as the kit makes it.
  void CheckSignature(const std::string& file,
                      const zqextensionkit::Artifact& artifact,
                      const base::FilePath& library) {
    using zqextensionkit::LibrarySignatureCheck;
    const zqextensionkit::ZQEHashedFile hashed =
        zqextensionkit::ZQEHashedFile::Open(
            library.value(),
            zqextensionkit::ZQEHashedFile::Digests::kMd5AndSha256);
    if (!hashed.ok() || hashed.md5_text() != artifact.GetLibFileMD5())
      return;  // Reported by the MD5 check.
    if (!trusted_keys_)
      trusted_keys_ = std::make_unique<zqextensionkit::ZQESignKeyRing>(
          options_.trusted_keys);
    const std::string entry = artifact.GetBinFilePath();
    const std::string refused =
        ": a host that checks signatures with these keys refuses " + entry;
    switch (
        zqextensionkit::CheckLibrarySignature(artifact, hashed, *trusted_keys_)
            .check) {
      case LibrarySignatureCheck::kSigned:
        report_.Ok(file, "entry library " + entry +
                             ": signed by a trusted key for this id, "
                             "version and \"mainEntry\"");
        break;
      case LibrarySignatureCheck::kNoSignature:
        report_.Problem(
            file, "no \"signMD5\"" + refused + " (sign it with zqext sign)");
        break;
      case LibrarySignatureCheck::kMalformed:
        report_.Problem(file,
                        "\"signMD5\" is not the Base64 of an Ed25519 "
                        "signature" +
                            refused);
        break;
      case LibrarySignatureCheck::kUnsignable:
        report_.Problem(file,
                        "\"id\", \"version\" or \"mainEntry\" holds a line "
                        "break, so the package cannot be signed" +
                            refused);
        break;
      case LibrarySignatureCheck::kUnreadable:
        report_.Problem(file, "the entry library " + entry +
                                  " cannot be read: the kit cannot verify or "
                                  "load it");
        break;
      case LibrarySignatureCheck::kNotSigned:
        report_.Problem(file,
                        "\"signMD5\" is not a signature by a trusted key of " +
                            entry +
                            " with this id, version and "
                            "\"mainEntry\" (signed with another key, or "
                            "changed since it was signed)" +
                            refused);
        break;
    }
  }

  // --- across files ---

  void CheckDuplicateIds() {
    std::map<std::pair<std::string, std::string>, const ExtensionRecord*>
        first_in_point;
    std::map<std::string, const ExtensionRecord*> first_anywhere;
    for (const ExtensionRecord& record : extensions_) {
      const auto key = std::make_pair(record.point, record.id);
      auto found = first_in_point.find(key);
      if (found != first_in_point.end()) {
        report_.Problem(record.file,
                        "extension " + record.id + " of point " + record.point +
                            " is declared again (first in " +
                            found->second->file + "): the kit keeps the first");
        continue;
      }
      first_in_point.emplace(key, &record);
      auto other = first_anywhere.find(record.id);
      if (other != first_anywhere.end()) {
        report_.Note(record.file,
                     "extension id " + record.id + " is used by the points " +
                         other->second->point + " and " + record.point +
                         ": GetExtensionById finds the one whose point id "
                         "sorts first");
      } else {
        first_anywhere.emplace(record.id, &record);
      }
    }
  }

  void CheckSharedSingletons() {
    std::map<std::string, const ExtensionRecord*> first_of_class;
    for (const ExtensionRecord& record : extensions_) {
      if (!record.singleton || record.clsid.empty())
        continue;
      auto found = first_of_class.find(record.clsid);
      if (found == first_of_class.end()) {
        first_of_class.emplace(record.clsid, &record);
      } else if (found->second->id != record.id) {
        report_.Problem(record.file,
                        "extensions " + found->second->id + " and " +
                            record.id + " share the singleton class " +
                            record.clsid +
                            ": both get one instance, whose context each "
                            "request fills again; set \"isSingleton\": false");
      }
    }
  }

  void CheckAdapters() {
    for (const auto& entry : adapter_entries_) {
      const std::string& source = entry.first;
      const DictionaryValue& dict = *entry.second;
      std::string internal;
      std::string clsid;
      std::string iid;
      dict.GetStringWithoutPathExpansion("extensionPointId", &internal);
      dict.GetStringWithoutPathExpansion("clsid", &clsid);
      dict.GetStringWithoutPathExpansion("iid", &iid);
      const std::string subject = "adapter entry " + source;
      if (internal.empty()) {
        report_.Problem(kMappingFile,
                        subject +
                            " names no \"extensionPointId\": it adds "
                            "nothing");
        continue;
      }
      bool ok = true;
      if (!internal_points_.count(internal)) {
        report_.Problem(kMappingFile,
                        subject + " targets the point " + internal +
                            ", which no \"extension_adapter\" package "
                            "declares: no adapter records are made");
        ok = false;
      }
      if (!IsGuidText(clsid) || !IsGuidText(iid)) {
        report_.Problem(kMappingFile, subject +
                                          ": \"clsid\" and \"iid\" must be "
                                          "{8-4-4-4-12} ids of 38 characters");
        ok = false;
      }
      if (ok) {
        report_.Ok(kMappingFile, subject + " -> " + internal +
                                     " (adapter class " + clsid + ")");
      }
      map_->adapters.push_back(
          InstallationMap::Adapter{source, internal, clsid, ok});
      if (!declared_points_.count(source)) {
        report_.Note(kMappingFile,
                     subject + ": no package declares the point " + source +
                         "; only a remote configuration feeds it");
      }
    }
  }

  const DoctorOptions& options_;
  DoctorReport report_;
  InstallationMap own_map_;
  InstallationMap* const map_;
  scoped_ptr<DictionaryValue> mapping_;
  // Source point id to entry, pointing into `mapping_`.
  std::vector<std::pair<std::string, const DictionaryValue*>> adapter_entries_;
  // Points of accepted packages, and those of "extension_adapter" packages.
  std::set<std::string> declared_points_;
  std::set<std::string> internal_points_;
  // Extensions of accepted packages, in the order the kit loads them.
  std::vector<ExtensionRecord> extensions_;
  // The keys of options_.trusted_keys, parsed on first use.
  std::unique_ptr<zqextensionkit::ZQESignKeyRing> trusted_keys_;
};

}  // namespace

DoctorReport RunDoctor(const DoctorOptions& options) {
  return Doctor(options, nullptr).Run();
}

DoctorReport RunDoctor(const DoctorOptions& options, InstallationMap* map) {
  return Doctor(options, map).Run();
}

}  // namespace zqext
