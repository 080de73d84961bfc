// JSONReader::Read builds base::Value trees straight from the parser's
// events. Its baseline is nlohmann::json::parse of the same text into the
// parser's own DOM: building our tree should cost no more than that.
#include <string>

#include <nlohmann/json.hpp>

#include "base/json/json_reader.h"
#include "base/values.h"
#include "benchmark/benchmark.h"

namespace {

// A manifest-like document of roughly |target_size| bytes: objects with
// strings, integers, doubles, booleans, nested payload maps and lists.
std::string MakeDocument(size_t target_size) {
  std::string json = "{\"id\":\"com.example.bench\",\"version\":\"1.2.3\",";
  json += "\"extensionPoints\":[";
  for (int i = 0; json.size() < target_size; ++i) {
    if (i > 0)
      json += ',';
    const std::string n = std::to_string(i);
    json += "{\"id\":\"point." + n + "\",\"iid\":\"{E16D76C1-4200-CF27-9703-" +
            std::to_string(100000000000 + i) +
            "}\",\"isSingleton\":" + (i % 2 ? "true" : "false") +
            ",\"priority\":" + n + ",\"weight\":" + n + ".25" +
            ",\"payloads\":{\"title\":\"Extension \\u00e9 " + n +
            "\",\"url\":\"https://example.com/ext/" + n +
            "?q=1\"},\"constraints\":{\"os\":[\"linux\",\"mac\"],"
            "\"minVersion\":[\"1.0\"]},\"flags\":[1,2,3,null]}";
  }
  json += "]}";
  return json;
}

const std::string& Document(size_t size) {
  static const std::string small = MakeDocument(2 * 1024);
  static const std::string large = MakeDocument(200 * 1024);
  return size < 100 * 1024 ? small : large;
}

void BM_JSONReaderRead(benchmark::State& state) {
  const std::string& json = Document(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    scoped_ptr<base::Value> value = base::JSONReader::Read(json);
    if (!value)
      state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(value.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(json.size()));
}

void BM_NlohmannParseDom(benchmark::State& state) {
  const std::string& json = Document(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    nlohmann::json value = nlohmann::json::parse(json);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(json.size()));
}

}  // namespace

BENCHMARK(BM_JSONReaderRead)->Arg(2 * 1024)->Arg(200 * 1024);
BENCHMARK(BM_NlohmannParseDom)->Arg(2 * 1024)->Arg(200 * 1024);
