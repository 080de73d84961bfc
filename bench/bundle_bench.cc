// Looking up a library's cached loader in the bundle manager (what every
// creation of an extension from a plug-in library does), beside the baseline
// of a plain std::map lookup of the same keys under a recursive mutex. The
// no-logger case is registered first: a logger, once installed, cannot be
// removed, so the run with a logger comes after it.

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "dlcom/loadcom.h"

namespace {

using zqextensionkit::ZQEBundleManagerImpl;

constexpr int kLibraries = 32;

// Keys are library paths inside package directories, as the kit builds
// them.
std::string LibraryPath(int i) {
  char text[128];
  std::snprintf(text, sizeof(text),
                "/opt/client/extensions/com.example.package%02d/lib/"
                "libpackage%02d.so",
                i, i);
  return text;
}

class NoOpLogger : public zqextensionkit::IZQELogger {
 public:
  void LogMessage(int, std::string message) override {
    benchmark::DoNotOptimize(message.data());
  }
};

void GetCachedLoader(benchmark::State& state) {
  ZQEBundleManagerImpl manager;
  CComLoader* loader = nullptr;
  for (int i = 0; i < kLibraries; ++i)
    manager.GetComLoader(LibraryPath(i), &loader);
  const std::string key = LibraryPath(kLibraries / 2);
  for (auto _ : state) {
    manager.GetComLoader(key, &loader);
    benchmark::DoNotOptimize(loader);
  }
}

void BM_Baseline_MapFindUnderRecursiveMutex(benchmark::State& state) {
  std::recursive_mutex mutex;
  std::map<std::string, std::shared_ptr<CComLoader>> loaders;
  for (int i = 0; i < kLibraries; ++i)
    loaders.emplace(LibraryPath(i), std::make_shared<CComLoader>());
  const std::string key = LibraryPath(kLibraries / 2);
  for (auto _ : state) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    CComLoader* loader = loaders.find(key)->second.get();
    benchmark::DoNotOptimize(loader);
  }
}
BENCHMARK(BM_Baseline_MapFindUnderRecursiveMutex);

void BM_BundleManager_GetComLoader_NoLogger(benchmark::State& state) {
  GetCachedLoader(state);
}
BENCHMARK(BM_BundleManager_GetComLoader_NoLogger);

void BM_BundleManager_GetComLoader_NoOpLogger(benchmark::State& state) {
  static const bool installed =
      zqextensionkit::ZQELogService::GetInstance()->RegisterLogger(
          new NoOpLogger);
  (void)installed;
  GetCachedLoader(state);
}
BENCHMARK(BM_BundleManager_GetComLoader_NoOpLogger);

}  // namespace
