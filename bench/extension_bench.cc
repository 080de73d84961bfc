// The extension manager's requests, each beside the work no implementation
// can avoid: per record, the two existence checks of its package directory
// and library file (stat) and the object container's creation of the same
// class through the same loader.
//
// - BM_GetExtensionList_Twenty: a point of 20 singleton extensions of one
//   loaded library, through the facade, instances released; beside
//   BM_Baseline_Twenty.
// - BM_GetExtension_One: a point of one non-singleton extension; beside
//   BM_Baseline_One.
// - BM_ConfigurationCopy_Twenty: the configuration manager's copy of the 20
//   records alone, to show where the rest of the time goes.
// Every case runs without a logger first, then again with a logger that
// does nothing (a logger cannot be removed once installed).
//
// The kit reads its files beside the running executable, so main() writes
// the installation into a temporary directory, places this program there
// and runs it again inside it.

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "bench/BenchSupport.h"
#include "benchmark/benchmark.h"
#include "dlcom/unknown.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/Installation.h"

namespace {

using zqextensionkit::Extension;
using zqextensionkit::ZQEConfigurationManager;
using zqextensionkit::ZQEObjectContainer;
using zqextensionkit::ZQExtensionManager;
using zqextensionkit::test::Installation;

constexpr int kTwenty = 20;
constexpr char kBaseExtensionIid[] = "{E16D76C1-4200-CF27-9703-2480B97FC9E3}";

// Set in the child: the installation directory it runs in.
std::string g_installation_dir;

std::string PackageDir() {
  return g_installation_dir + "/extensions/probe";
}
std::string LibraryPath() {
  return PackageDir() + "/lib/probe.so";
}

std::string ExtensionJson(const std::string& id, bool singleton) {
  return R"({"id": ")" + id + R"(", "clsid": ")" + kProbeExtensionClsidText +
         R"(", "isSingleton": )" + (singleton ? "true" : "false") + R"(,
      "payloads": {"title": "Item", "icon": "icons/item.png"},
      "constraints": [{"key": "platform", "value": ["linux", "mac"]}],
      "settingMap": {"modalPosition": "center", "modalSize": "640x480",
                     "host": "https://apps.example.com", "uri": "/ext",
                     "openType": "modal"}, "unifiedId": "u-)" +
         id + "\"}";
}

std::string ManifestJson() {
  std::string twenty;
  for (int i = 0; i < kTwenty; ++i)
    twenty += (i ? "," : "") + ExtensionJson("s" + std::to_string(i), true);
  return R"({"id": "probe", "mainEntry": "lib/probe.so", "extensionPoints": [
    {"id": "ep.twenty", "iid": ")" +
         std::string(kTestExtensionProbeIidText) + R"(", "extensions": [)" +
         twenty + R"(]},
    {"id": "ep.one", "iid": ")" +
         kTestExtensionProbeIidText + R"(", "extensions": [)" +
         ExtensionJson("one", false) + "]}]}";
}

// Starts the kit and loads the installation once per process.
void StartOnce() {
  static const bool started = [] {
    zqextensionkit::ZQExtensionKit::InitSDK();
    return ZQExtensionManager::GetInstance()->Load();
  }();
  if (!started) {
    fprintf(stderr, "extension_bench: the installation did not load\n");
    exit(1);
  }
}

void Release(void* instance) {
  static_cast<by::IBaseUnknown*>(instance)->Release();
}

void RunGetExtensionList(benchmark::State& state) {
  StartOnce();
  ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
  std::vector<void*> instances;
  instances.reserve(kTwenty);
  for (auto _ : state) {
    if (!manager->GetExtensionList("ep.twenty", instances) ||
        instances.size() != kTwenty) {
      state.SkipWithError("GetExtensionList failed");
      break;
    }
    for (void* instance : instances)
      Release(instance);
    instances.clear();
  }
}

void RunGetExtension(benchmark::State& state) {
  StartOnce();
  ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
  for (auto _ : state) {
    void* instance = nullptr;
    if (!manager->GetExtension("ep.one", &instance)) {
      state.SkipWithError("GetExtension failed");
      break;
    }
    Release(instance);
  }
}

// What every record costs at least: stat of the package directory and the
// library, and the container's creation of the class through the loader.
void RunBaseline(benchmark::State& state, int records, bool singleton) {
  StartOnce();
  CComLoader* loader = nullptr;
  zqextensionkit::ZQEBundleManager::GetInstance()->GetComLoader(LibraryPath(),
                                                                &loader);
  ZQEObjectContainer* container = ZQEObjectContainer::GetInstance();
  const std::string package = PackageDir();
  const std::string library = LibraryPath();
  for (auto _ : state) {
    for (int i = 0; i < records; ++i) {
      struct stat info;
      if (stat(package.c_str(), &info) != 0 ||
          stat(library.c_str(), &info) != 0) {
        state.SkipWithError("stat failed");
        return;
      }
      void* object = nullptr;
      if (!container->CreateObjectInstance(kBaseExtensionIid,
                                           kProbeExtensionClsidText, singleton,
                                           loader, &object)) {
        state.SkipWithError("creation failed");
        return;
      }
      Release(object);
    }
  }
}

void RunConfigurationCopy(benchmark::State& state) {
  StartOnce();
  ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
  for (auto _ : state) {
    std::vector<std::shared_ptr<Extension>> records;
    config->GetExtensionInfosByExntensionPointID("ep.twenty", records);
    benchmark::DoNotOptimize(records.data());
  }
}

class NoOpLogger : public zqextensionkit::IZQELogger {
 public:
  void LogMessage(int, std::string message) override {
    benchmark::DoNotOptimize(message.data());
  }
};

// Installs the no-op logger once; benchmarks run in registration order, so
// every case runs without a logger before the first one that installs it.
void InstallNoOpLogger() {
  static const bool installed =
      zqextensionkit::ZQELogService::GetInstance()->RegisterLogger(
          new NoOpLogger);
  (void)installed;
}

void RegisterAll() {
  using Run = void (*)(benchmark::State&);
  const std::pair<const char*, Run> cases[] = {
      {"BM_GetExtensionList_Twenty", RunGetExtensionList},
      {"BM_Baseline_Twenty",
       [](benchmark::State& state) { RunBaseline(state, kTwenty, true); }},
      {"BM_GetExtension_One", RunGetExtension},
      {"BM_Baseline_One",
       [](benchmark::State& state) { RunBaseline(state, 1, false); }},
      {"BM_ConfigurationCopy_Twenty", RunConfigurationCopy},
  };
  for (const auto& [name, run] : cases)
    benchmark::RegisterBenchmark((std::string(name) + "/NoLogger").c_str(),
                                 run);
  for (const auto& [name, run] : cases) {
    benchmark::RegisterBenchmark((std::string(name) + "/NoOpLogger").c_str(),
                                 [run = run](benchmark::State& state) {
                                   InstallNoOpLogger();
                                   run(state);
                                 });
  }
}

}  // namespace

int main(int argc, char** argv) {
  return zqextensionkit::test::RunBenchmarksInInstallation(
      argc, argv, &g_installation_dir,
      [](Installation& installation) {
        return installation.WriteAdapterMapping("{}") &&
               installation.WriteConfig(R"({"artifacts": ["probe"]})") &&
               installation.WriteManifest("probe", ManifestJson()) &&
               installation.CopyFile(std::string(ZQ_TEST_PLUGIN_DIR) + "/" +
                                         kExtensionProbePluginFile,
                                     "extensions/probe/lib/probe.so");
      },
      [](int& argc, char** argv) {
        RegisterAll();
        return zqextensionkit::test::RunBenchmarks(argc, argv);
      });
}
