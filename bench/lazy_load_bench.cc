// Start-up with lazy library loading: an installation of 20 plug-in
// libraries of 5 MiB each (copies of the greeting plug-in with distinct
// bytes appended, each manifest recording the copy's MD5, its bundle class
// and one extension point "p<i>" with one extension), the MD5 switch on,
// from a fresh bundle manager each time.
//
// - BM_Load_Eager: Load() that verifies and loads every library, for scale.
// - BM_Load_Lazy: Load() with lazy library loading on.
// - BM_Load_ManifestsOnly: the baseline of the lazy Load(): Load() of the
//   same installation without its libraries (the same manifests, naming no
//   entry library): configuration and manifests only.
// - BM_FirstList_Lazy: after a lazy Load() (not timed), the first
//   GetExtensionList() of point "p0", which verifies and loads its library.
// - BM_LoadBundle_ThenList: its baseline: after the configuration alone is
//   loaded (not timed), the bundle manager's LoadBundle() of package p0 (one
//   verified library load) and then the same GetExtensionList().
//
// A summary reads the medians of five runs and gives each lazy figure
// against its baseline, against 1.1. The files are written once and stay in the
// page cache, so the figures measure hashing and loading, not the disk.

#include <stdio.h>

#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "bench/BenchSupport.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/GreetingPackages.h"
#include "tests/support/Installation.h"

namespace {

using zqextensionkit::Artifact;
using zqextensionkit::ZQEBundleManager;
using zqextensionkit::ZQEBundleManagerImpl;
using zqextensionkit::ZQEConfigurationManager;
using zqextensionkit::ZQExtensionManager;
using zqextensionkit::test::Installation;

constexpr int kLibraries = 20;
constexpr size_t kLibrarySize = 5u << 20;

// The installation with its libraries, and the same without them.
Installation* g_full = nullptr;
Installation* g_manifests_only = nullptr;

bool WriteInstallation(Installation& installation, bool with_libraries) {
  const std::string plugin = zqextensionkit::test::GreetingPluginBytes();
  if (plugin.empty())
    return false;
  std::string list;
  for (int i = 0; i < kLibraries; ++i) {
    const std::string package = "p" + std::to_string(i);
    std::string entry;
    if (with_libraries) {
      const std::string library =
          zqextensionkit::test::PaddedLibrary(plugin, i, kLibrarySize);
      std::string md5;
      zqextensionkit::ZQEUtility_MD5_String(library, md5);
      if (!installation.WriteFile("extensions/" + package + "/lib/lib.so",
                                  library)) {
        return false;
      }
      entry = R"("mainEntry": "lib/lib.so", "libFileMD5": ")" + md5 +
              R"(", "BundleClassId": ")" + kGreetingBundleClsidText + R"(", )";
    }
    if (!installation.WriteManifest(
            package, R"({"id": ")" + package + R"(", )" + entry +
                         R"("extensionPoints": [{"id": ")" + package +
                         R"(", "iid": ")" + kGreetingIidText +
                         R"(", "extensions": [{"id": ")" + package +
                         R"(.greeter", "clsid": ")" + kGreeterClsidText +
                         R"(", "isSingleton": false}]}]})")) {
      return false;
    }
    list += (i ? ", \"" : "\"") + package + "\"";
  }
  return installation.WriteAdapterMapping("{}") &&
         installation.WriteConfig(R"({"artifacts": [)" + list + "]}");
}

// The kit with managers of its own (no earlier load's state), pointed at
// `installation`, with the MD5 switch on and lazy loading as given.
ZQExtensionManager* StartKit(const Installation& installation, bool lazy) {
  return zqextensionkit::test::StartKit(installation, true, lazy);
}

// Unloads and starts from a fresh bundle manager: the previous one closes
// its libraries here.
void Reset(ZQExtensionManager* manager) {
  manager->Unload();
  ZQEBundleManager::GetInstance()->Initialize(
      std::make_shared<ZQEBundleManagerImpl>());
}

// The extensions of point "p0", released again.
bool ListFirstPoint(ZQExtensionManager* manager) {
  std::vector<void*> instances;
  if (!manager->GetExtensionList("p0", instances))
    return false;
  for (void* instance : instances)
    static_cast<by::IBaseUnknown*>(instance)->Release();
  return true;
}

// Every benchmark here: wall time in milliseconds, the median of five runs
// (a machine busy with other work makes single runs vary by 10% and more).
void Measured(benchmark::internal::Benchmark* benchmark) {
  benchmark->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
}

void RunLoad(benchmark::State& state,
             const Installation& installation,
             bool lazy) {
  ZQExtensionManager* manager = StartKit(installation, lazy);
  for (auto _ : state) {
    state.PauseTiming();
    Reset(manager);
    state.ResumeTiming();
    if (!manager->Load()) {
      state.SkipWithError("Load failed");
      break;
    }
  }
  Reset(manager);
}

void BM_Load_Eager(benchmark::State& state) {
  RunLoad(state, *g_full, false);
}
BENCHMARK(BM_Load_Eager)->Apply(Measured);

void BM_Load_Lazy(benchmark::State& state) {
  RunLoad(state, *g_full, true);
}
BENCHMARK(BM_Load_Lazy)->Apply(Measured);

void BM_Load_ManifestsOnly(benchmark::State& state) {
  RunLoad(state, *g_manifests_only, false);
}
BENCHMARK(BM_Load_ManifestsOnly)->Apply(Measured);

void BM_FirstList_Lazy(benchmark::State& state) {
  ZQExtensionManager* manager = StartKit(*g_full, true);
  for (auto _ : state) {
    state.PauseTiming();
    Reset(manager);
    if (!manager->Load()) {
      state.SkipWithError("Load failed");
      break;
    }
    state.ResumeTiming();
    if (!ListFirstPoint(manager)) {
      state.SkipWithError("no extension");
      break;
    }
  }
  Reset(manager);
}
BENCHMARK(BM_FirstList_Lazy)->Apply(Measured);

void BM_LoadBundle_ThenList(benchmark::State& state) {
  ZQExtensionManager* manager = StartKit(*g_full, false);
  ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
  for (auto _ : state) {
    state.PauseTiming();
    Reset(manager);
    std::vector<std::shared_ptr<Artifact>> artifacts;
    if (!config->LoadAllExtensionInfos() ||
        (config->GetAllArtifactsShared(artifacts), artifacts.empty())) {
      state.SkipWithError("configuration not loaded");
      break;
    }
    Artifact* first = artifacts.front().get();
    state.ResumeTiming();
    if (!ZQEBundleManager::GetInstance()->LoadBundle(first) ||
        !ListFirstPoint(manager)) {
      state.SkipWithError("no extension");
      break;
    }
  }
  Reset(manager);
}
BENCHMARK(BM_LoadBundle_ThenList)->Apply(Measured);

// The console report and, after it, the ratios this benchmark is for.
class SummaryReporter : public zqextensionkit::test::MedianReporter {
 public:
  void PrintSummary(std::ostream& out) const {
    const double eager = Time("BM_Load_Eager");
    const double lazy = Time("BM_Load_Lazy");
    const double manifests = Time("BM_Load_ManifestsOnly");
    const double first_list = Time("BM_FirstList_Lazy");
    const double one_library = Time("BM_LoadBundle_ThenList");
    if (lazy <= 0 || manifests <= 0 || first_list <= 0 || one_library <= 0)
      return;  // A filter left one out.
    char text[1024];
    snprintf(text, sizeof(text),
             "\nSummary (%s, ms; %d libraries of %zu MiB, MD5 check on):\n"
             "  Load, every library: %.2f ms\n"
             "  lazy Load: %.3f ms; Load without the libraries: %.3f ms; "
             "ratio %.2fx (goal <= 1.10x)\n"
             "  first GetExtensionList after a lazy Load: %.2f ms; one "
             "verified library load plus that list: %.2f ms; ratio %.2fx "
             "(goal <= 1.10x)\n",
             Kind(), kLibraries, kLibrarySize >> 20, eager, lazy, manifests,
             lazy / manifests, first_list, one_library,
             first_list / one_library);
    out << text << std::flush;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (!zqextensionkit::test::InitializeBenchmarks(argc, argv))
    return 1;
  Installation full;
  Installation manifests_only;
  if (!full.ok() || !manifests_only.ok() || !WriteInstallation(full, true) ||
      !WriteInstallation(manifests_only, false)) {
    fprintf(stderr, "%s: cannot write the installations: %s%s\n", argv[0],
            full.error().c_str(), manifests_only.error().c_str());
    return 1;
  }
  g_full = &full;
  g_manifests_only = &manifests_only;
  zqextensionkit::ZQExtensionKit::InitSDK();
  // The loader's trace lines (thousands of them) would drown the report.
  zqextensionkit::ZQELogService::GetInstance()->SetLoaderTraceOutput(
      zqextensionkit::ZQELoaderTraceOutput::kNone);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.PrintSummary(std::cout);
  zqextensionkit::ZQEBundleManager::GetInstance()->UnInitialize();
  return 0;
}
