// extension_adapter_mapping.json -> the adapter mapping the configuration
// manager reads beside the executable, its entry lookup by dotted extension
// point id, and the adapter records it generates from that entry, in the
// local load and in a remote merge.
//
// The input is the mapping text, then optionally a zero byte and extension
// point ids to look up, one a line. Around the mapping the target writes an
// installation that reaches every step: an "extension_adapter" package that
// declares each internal point the mapping names, and a "source" package
// with one extension (payloads, constraints, settings) in each point the
// mapping has an entry for, and in each looked-up id.

#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ExtensionFactory.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "fuzz/FuzzSupport.h"

namespace {

using zqextensionkit::Extension;
using zqextensionkit::ZQEConfigurationManagerImpl;

constexpr size_t kMaxIds = 64;

std::string* g_dir = nullptr;

// A JSON string literal of `text` (control characters and non-ASCII bytes
// escaped, so that any id stays valid JSON).
std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Every dotted path to an object of `dict` (depth-first, at most kMaxIds),
// and every "extensionPointId" string found in those objects.
void CollectPaths(const base::DictionaryValue& dict,
                  const std::string& prefix,
                  int depth,
                  std::vector<std::string>* paths,
                  std::set<std::string>* internal_ids) {
  std::string internal;
  if (dict.GetStringWithoutPathExpansion("extensionPointId", &internal))
    internal_ids->insert(internal);
  if (depth > 4)
    return;
  for (base::DictionaryValue::Iterator it(dict); !it.IsAtEnd(); it.Advance()) {
    const base::DictionaryValue* child = nullptr;
    if (!it.value().GetAsDictionary(&child) || paths->size() >= kMaxIds)
      continue;
    const std::string path =
        prefix.empty() ? it.key() : prefix + "." + it.key();
    paths->push_back(path);
    CollectPaths(*child, path, depth + 1, paths, internal_ids);
  }
}

std::string Points(const std::vector<std::string>& ids, bool with_extensions) {
  std::string points;
  for (size_t i = 0; i < ids.size(); ++i) {
    if (!points.empty())
      points += ", ";
    points += R"({"id": )" + Quote(ids[i]);
    if (with_extensions) {
      points += R"(, "extensions": [{"id": "e)" + std::to_string(i) +
                R"(", "unifiedId": "u", "payloads": {"p": "v", "a.b": "c"},
                   "constraints": [{"key": "k", "value": ["x", ""]}],
                   "settingMap": {"modalPosition": "c", "modalSize": "1x1",
                                  "host": "h", "uri": "/u",
                                  "openType": "modal"}}])";
    }
    points += "}";
  }
  return points;
}

// One non-native record per point, so that a merge both replaces the lists
// of mapped points and adds adapter records.
std::shared_ptr<zqextensionkit::fuzz::StaticRemoteSource> RemoteSource(
    const std::vector<std::string>& ids) {
  zqextensionkit::fuzz::StaticRemoteSource::Config config;
  for (const std::string& id : ids) {
    config[id].push_back(zqextensionkit::ExtensionFactory::createExtension(
        "r." + id, id, {{"p", "remote"}}, {{"k", {"y"}}}, {}, "ru"));
  }
  return std::make_shared<zqextensionkit::fuzz::StaticRemoteSource>(
      std::move(config), zqextensionkit::fuzz::StaticRemoteSource::AuthInfos());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  g_dir = new std::string(
      zqextensionkit::fuzz::EnterScratchInstallation(argc, argv));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t zero = input.find('\0');
  const std::string mapping = input.substr(0, zero);
  std::vector<std::string> ids;
  if (zero != std::string::npos) {
    size_t start = zero + 1;
    while (start <= input.size() && ids.size() < kMaxIds) {
      const size_t end = std::min(input.find('\n', start), input.size());
      ids.push_back(input.substr(start, end - start));
      start = end + 1;
    }
  }

  // The mapping as the kit will read it decides which points to declare.
  std::set<std::string> internal_ids;
  scoped_ptr<base::DictionaryValue> parsed =
      base::DictionaryValue::From(base::JSONReader::Read(mapping));
  if (parsed)
    CollectPaths(*parsed, "", 0, &ids, &internal_ids);

  zqextensionkit::test::Installation installation =
      zqextensionkit::test::Installation::Adopt(*g_dir);
  installation.WriteAdapterMapping(mapping);
  installation.WriteConfig(R"({"artifacts": ["extension_adapter", "source"]})");
  installation.WriteManifest(
      "extension_adapter",
      R"({"id": "extension_adapter", "extensionPoints": [)" +
          Points(std::vector<std::string>(internal_ids.begin(),
                                          internal_ids.end()),
                 false) +
          "]}");
  installation.WriteManifest("source", R"({"id": "source", "mainEntry":
      "lib.so", "extensionPoints": [)" + Points(ids, true) +
                                           "]}");

  ZQEConfigurationManagerImpl manager;
  if (manager.LoadAllExtensionInfos() != static_cast<bool>(parsed))
    __builtin_trap();  // The load stands or falls with the mapping.
  size_t checksum = 0;
  for (const std::string& id : ids)
    checksum += manager.GetExtensionAdapterInfoById(id) != nullptr;
  for (const std::string& id : internal_ids) {
    std::vector<std::shared_ptr<Extension>> list;
    manager.GetExtensionInfosByExntensionPointID(id, list);
    for (const std::shared_ptr<Extension>& record : list) {
      if (!manager.IsExtensionAdapter(record.get()) && record->IsNative())
        continue;
      checksum += record->GetPayloads().size() + record->GetClassID().size();
    }
  }

  manager.SetRemoteConfigDataSource(RemoteSource(ids));
  if (!manager.LoadRemoteConfig())
    __builtin_trap();
  manager.FetchRemoteConfig(true, nullptr, nullptr);  // A second merge.
  std::vector<Extension*> records;
  manager.GetAllExtensionInfos(records);
  checksum += records.size();
  volatile size_t sink = checksum;
  (void)sink;
  return 0;
}
