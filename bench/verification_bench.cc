// Start-up with library verification: Load() of an installation of 20
// plug-in libraries of 5 MiB each (copies of the bundle probe plug-in with
// distinct bytes appended, each manifest recording the copy's MD5), from a
// fresh bundle manager each time.
//
// - BM_Load_NoVerify: the MD5 switch off, the load without verification.
// - BM_Load_Verify_OneThread: the switch on, SetLibFileVerifyThreads(1):
//   each library hashed on the calling thread just before its load.
// - BM_Load_Verify_ThreadPerCore: the switch on, the default bound (0).
// - BM_Md5_OneCore: the baseline, a plain EVP loop over the same 20 files
//   with a 64 KiB buffer on one thread: the single-core MD5 throughput.
// - BM_HashAhead_OneThread / _ThreadPerCore: the kit's queue alone, opening
//   and hashing the 20 files in order.
//
// After the runs a summary reads the medians (or the single runs): the
// verification phase of each Load (its time less the load without
// verification) and the speed-up of the concurrent phase over the one on
// one thread, against 0.9 x cores; and the concurrent Load against the
// bound bytes / (cores x single-core MD5 throughput) + the load without
// verification, against 1.1.
//
// The files are written once and stay in the page cache, so the figures
// measure hashing and loading, not the disk. The kit reads its files beside
// the running executable, so main() writes the installation into a
// temporary directory, places this program there and runs it again inside.

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFileQueue.h"
#include "bench/BenchSupport.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/Installation.h"

namespace {

using zqextensionkit::ZQEBundleManager;
using zqextensionkit::ZQEBundleManagerImpl;
using zqextensionkit::ZQEHashedFileQueue;
using zqextensionkit::ZQExtensionManager;
using zqextensionkit::test::Installation;

constexpr int kLibraries = 20;
constexpr size_t kLibrarySize = 5u << 20;

// Set in the child: the installation directory it runs in.
std::string g_installation_dir;

std::string PackageName(int i) {
  return "p" + std::to_string(i);
}

std::string LibraryPath(int i) {
  return g_installation_dir + "/extensions/" + PackageName(i) + "/lib/lib.so";
}

std::vector<std::string> LibraryPaths() {
  std::vector<std::string> paths;
  for (int i = 0; i < kLibraries; ++i)
    paths.push_back(LibraryPath(i));
  return paths;
}

// One Load() from a fresh bundle manager: the previous one (and its
// libraries) and the previous configuration go while the timer is paused.
void RunLoad(benchmark::State& state, bool verify, size_t threads) {
  static const bool started = [] {
    zqextensionkit::ZQExtensionKit::InitSDK();
    return true;
  }();
  (void)started;
  ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
  manager->SetLibFileVerifyEnable(verify);
  manager->SetLibFileVerifyThreads(threads);
  for (auto _ : state) {
    state.PauseTiming();
    manager->Unload();
    ZQEBundleManager::GetInstance()->Initialize(
        std::make_shared<ZQEBundleManagerImpl>());
    state.ResumeTiming();
    if (!manager->Load()) {
      state.SkipWithError("Load failed");
      break;
    }
  }
  // After the loop the timer has stopped.
  manager->Unload();
  ZQEBundleManager::GetInstance()->UnInitialize();
}

void BM_Load_NoVerify(benchmark::State& state) {
  RunLoad(state, false, 0);
}
BENCHMARK(BM_Load_NoVerify)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Load_Verify_OneThread(benchmark::State& state) {
  RunLoad(state, true, 1);
}
BENCHMARK(BM_Load_Verify_OneThread)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Load_Verify_ThreadPerCore(benchmark::State& state) {
  RunLoad(state, true, 0);
}
BENCHMARK(BM_Load_Verify_ThreadPerCore)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Md5_OneCore(benchmark::State& state) {
  const std::vector<std::string> paths = LibraryPaths();
  std::string md5;
  for (auto _ : state) {
    for (const std::string& path : paths) {
      if (!zqextensionkit::test::PlainEvpFileMd5(path, 64 * 1024, md5)) {
        state.SkipWithError("cannot open a library");
        break;
      }
      benchmark::DoNotOptimize(md5);
    }
  }
  state.SetBytesProcessed(state.iterations() * kLibraries *
                          static_cast<int64_t>(kLibrarySize));
}
BENCHMARK(BM_Md5_OneCore)->Unit(benchmark::kMillisecond)->UseRealTime();

void RunHashAhead(benchmark::State& state, size_t setting) {
  const std::vector<std::string> paths = LibraryPaths();
  for (auto _ : state) {
    ZQEHashedFileQueue queue(
        paths, ZQEHashedFileQueue::ThreadsFor(setting, paths.size()));
    for (size_t i = 0; i < queue.size(); ++i) {
      if (!queue.Get(i)->ok()) {
        state.SkipWithError("cannot hash a library");
        break;
      }
      queue.Release(i);
    }
  }
  state.SetBytesProcessed(state.iterations() * kLibraries *
                          static_cast<int64_t>(kLibrarySize));
}

void BM_HashAhead_OneThread(benchmark::State& state) {
  RunHashAhead(state, 1);
}
BENCHMARK(BM_HashAhead_OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HashAhead_ThreadPerCore(benchmark::State& state) {
  RunHashAhead(state, 0);
}
BENCHMARK(BM_HashAhead_ThreadPerCore)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The console report and, after it, the ratios this benchmark is for.
class SummaryReporter : public zqextensionkit::test::MedianReporter {
 public:
  void PrintSummary(std::ostream& out) const {
    const double no_verify = Time("BM_Load_NoVerify");
    const double one = Time("BM_Load_Verify_OneThread");
    const double per_core = Time("BM_Load_Verify_ThreadPerCore");
    const double md5 = Time("BM_Md5_OneCore");
    if (no_verify <= 0 || one <= 0 || per_core <= 0 || md5 <= 0)
      return;  // A filter left one out.
    const size_t cores = ZQEHashedFileQueue::ThreadsFor(0, kLibraries);
    const double mib = kLibraries * double(kLibrarySize) / (1 << 20);
    const double bound = md5 / cores + no_verify;
    char text[1024];
    snprintf(text, sizeof(text),
             "\nSummary (%s, ms):\n"
             "  single-core MD5: %.0f MiB/s (%.1f ms for %.0f MiB)\n"
             "  verification phase (Load less Load without verification): "
             "one thread %.1f ms, %zu threads %.1f ms\n"
             "  speed-up of the phase: %.2fx (goal %.2fx: 0.9 x %zu cores)\n"
             "  Load with %zu threads: %.1f ms; bytes / (cores x MD5) + Load "
             "without verification = %.1f + %.1f = %.1f ms; ratio %.2fx "
             "(goal <= 1.10x)\n",
             Kind(), mib / (md5 / 1000), md5, mib, one - no_verify, cores,
             per_core - no_verify, (one - no_verify) / (per_core - no_verify),
             0.9 * cores, cores, cores, per_core, md5 / cores, no_verify, bound,
             per_core / bound);
    out << text << std::flush;
  }
};

bool WriteInstallation(Installation& installation) {
  std::ifstream in(
      std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kBundleProbePluginFile,
      std::ios::binary);
  const std::string plugin(std::istreambuf_iterator<char>(in), {});
  if (plugin.empty())
    return false;
  std::string list;
  for (int i = 0; i < kLibraries; ++i) {
    const std::string library =
        zqextensionkit::test::PaddedLibrary(plugin, i, kLibrarySize);
    std::string md5;
    zqextensionkit::ZQEUtility_MD5_String(library, md5);
    const std::string package = PackageName(i);
    if (!installation.WriteFile("extensions/" + package + "/lib/lib.so",
                                library) ||
        !installation.WriteManifest(
            package, R"({"id": ")" + package +
                         R"(", "mainEntry": "lib/lib.so", "libFileMD5": ")" +
                         md5 + R"(", "BundleClassId": ")" +
                         kProbeBundleClsidText + R"("})")) {
      return false;
    }
    list += (i ? ", \"" : "\"") + package + "\"";
  }
  return installation.WriteAdapterMapping("{}") &&
         installation.WriteConfig(R"({"artifacts": [)" + list + "]}");
}

}  // namespace

int main(int argc, char** argv) {
  return zqextensionkit::test::RunBenchmarksInInstallation(
      argc, argv, &g_installation_dir, WriteInstallation,
      zqextensionkit::test::RunWithSummary<SummaryReporter>);
}
