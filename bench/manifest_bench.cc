// Manifest parsing from memory: JSONReader::Read followed by
// ArtifactParser::ParseArtifact on a realistic manifest, beside
// JSONReader::Read of the same text alone. The difference between the two is
// the cost of building the records.

#include <memory>
#include <string>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/internal/ArtifactParser.h"
#include "base/files/file_path.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "benchmark/benchmark.h"

namespace {

// One extension object of a typical size (~370 bytes).
std::string ExtensionJson(int point, int index) {
  const std::string id = std::to_string(point) + "." + std::to_string(index);
  return R"({"id": "com.example.ext.)" + id + R"(", "version": "1.4.)" +
         std::to_string(index) +
         R"(", "clsid": "{6B29FC40-CA47-1067-B31D-00DD010662DA}",
    "isSingleton": false,
    "payloads": {"title": "Item )" +
         id + R"(", "icon": "icons/item.png", "order": ")" +
         std::to_string(index) + R"("},
    "constraints": [{"key": "platform", "value": ["linux", "mac"]},
                    {"key": "role", "value": ["member"]}],
    "settingMap": {"modalPosition": "center", "modalSize": "640x480",
                   "host": "https://apps.example.com", "uri": "/ext/)" +
         id + R"(", "openType": "modal"},
    "unifiedId": "u-)" +
         id + R"("})";
}

// A manifest of about `target_bytes`, extensions spread over points of
// four extensions each.
std::string MakeManifest(size_t target_bytes) {
  std::string text = R"({"id": "com.example.bench", "version": "3.2.1",
  "foundationVersion": "1.0", "mainEntry": "lib/libbench.so",
  "libFileMD5": "0123456789abcdef0123456789abcdef",
  "signMD5": "fedcba9876543210fedcba9876543210",
  "BundleClassId": "{11111111-2222-3333-4444-555555555555}",
  "extensionPoints": [)";
  for (int point = 0; text.size() < target_bytes; ++point) {
    if (point)
      text += ",";
    text += R"({"id": "ep.)" + std::to_string(point) +
            R"(", "type": "action",
    "iid": "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}", "extensions": [)";
    for (int index = 0; index < 4 && text.size() < target_bytes; ++index) {
      if (index)
        text += ",";
      text += ExtensionJson(point, index);
    }
    text += "]}";
  }
  text += "]}";
  return text;
}

void BM_JsonReadOnly(benchmark::State& state) {
  const std::string text = MakeManifest(state.range(0));
  for (auto _ : state) {
    scoped_ptr<base::Value> root = base::JSONReader::Read(text);
    benchmark::DoNotOptimize(root.get());
  }
  state.SetBytesProcessed(state.iterations() * text.size());
  state.counters["manifest_bytes"] = text.size();
}

void BM_JsonReadAndParseArtifact(benchmark::State& state) {
  const std::string text = MakeManifest(state.range(0));
  const base::FilePath package("/opt/client/extensions/com.example.bench");
  for (auto _ : state) {
    scoped_ptr<base::Value> root = base::JSONReader::Read(text);
    base::DictionaryValue* dict = nullptr;
    root->GetAsDictionary(&dict);
    zqextensionkit::Artifact* artifact = nullptr;
    zqextensionkit::ArtifactParser::ParseArtifact(package, dict, &artifact);
    std::unique_ptr<zqextensionkit::Artifact> owned(artifact);
    benchmark::DoNotOptimize(owned.get());
  }
  state.SetBytesProcessed(state.iterations() * text.size());
  state.counters["manifest_bytes"] = text.size();
}

// Record building alone, on a tree read once: the share the parser adds.
void BM_ParseArtifactOnly(benchmark::State& state) {
  const std::string text = MakeManifest(state.range(0));
  scoped_ptr<base::DictionaryValue> dict =
      base::DictionaryValue::From(base::JSONReader::Read(text));
  const base::FilePath package("/opt/client/extensions/com.example.bench");
  for (auto _ : state) {
    zqextensionkit::Artifact* artifact = nullptr;
    zqextensionkit::ArtifactParser::ParseArtifact(package, dict.get(),
                                                  &artifact);
    std::unique_ptr<zqextensionkit::Artifact> owned(artifact);
    benchmark::DoNotOptimize(owned.get());
  }
  state.counters["manifest_bytes"] = text.size();
}

BENCHMARK(BM_JsonReadOnly)->Arg(2 * 1024)->Arg(20 * 1024);
BENCHMARK(BM_JsonReadAndParseArtifact)->Arg(2 * 1024)->Arg(20 * 1024);
BENCHMARK(BM_ParseArtifactOnly)->Arg(2 * 1024)->Arg(20 * 1024);

}  // namespace
