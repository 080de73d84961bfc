// ZQEUrlParser on a typical page URL of an H5 extension: the full parse,
// and the query split that usually follows it. The baseline copies the URL
// text once, the least any parser that keeps its input has to do.

#include <map>
#include <string>
#include <unordered_map>

#include <benchmark/benchmark.h>

#include "ZQExtensionKit/config/ZQEUrlParser.h"

namespace {

using zqextensionkit::ZQEUrlParser;

const char kPageUrl[] =
    "https://h5.example.com:8443/apps/weekly-report/index.html"
    "?bundleId=com.example.weekly&appId=10086&lang=en_US&theme=dark"
    "&from=chat#/detail/42";

void BM_CopyUrlBaseline(benchmark::State& state) {
  const std::string url = kPageUrl;
  for (auto _ : state) {
    std::string copy = url;
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_CopyUrlBaseline);

void BM_ParseUrl(benchmark::State& state) {
  const std::string url = kPageUrl;
  for (auto _ : state) {
    ZQEUrlParser* parser = ZQEUrlParser::parseUrl(url);
    benchmark::DoNotOptimize(parser->query);
    ZQEUrlParser::destroy(&parser);
  }
}
BENCHMARK(BM_ParseUrl);

void BM_ParseUrlAndQuery(benchmark::State& state) {
  const std::string url = kPageUrl;
  for (auto _ : state) {
    ZQEUrlParser* parser = ZQEUrlParser::parseUrl(url);
    std::unordered_map<std::string, std::string> args;
    ZQEUrlParser::parseKeyValueMap(&args, parser->query, true);
    benchmark::DoNotOptimize(args);
    ZQEUrlParser::destroy(&parser);
  }
}
BENCHMARK(BM_ParseUrlAndQuery);

void BM_UrlDecodeQuery(benchmark::State& state) {
  const std::string text = ZQEUrlParser::urlEncode(kPageUrl, true);
  for (auto _ : state) {
    std::string decoded = ZQEUrlParser::urlDecode(text, true);
    benchmark::DoNotOptimize(decoded);
  }
}
BENCHMARK(BM_UrlDecodeQuery);

}  // namespace
