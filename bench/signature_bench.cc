// Start-up with signed plug-ins: Load() of an installation of 20 plug-in
// libraries of 5 MiB each (copies of the bundle probe plug-in with distinct
// bytes appended), each manifest recording the copy's MD5 and its Ed25519
// signature, from a fresh bundle manager each time.
//
// - BM_Load_NoVerify: both switches off, the load without verification.
// - BM_Load_Md5: the MD5 switch on alone.
// - BM_Load_Signed: both switches on and one trusted key: each library's
//   MD5 and SHA-256 from one pass on the verification threads, then its
//   signature checked before it loads.
// - BM_Md5_OneCore, BM_Sha256_OneCore: the baselines, a plain EVP loop of
//   each digest alone over the same 20 files with a 64 KiB buffer on one
//   thread.
// - BM_SignatureCheck: the signature check of one library whose file is
//   already hashed (message, Base64, Ed25519 verification).
//
// After the runs a summary reads the medians (or the single runs): the
// signed Load against the bound bytes x (MD5 + SHA-256 time per byte) /
// cores + the load without verification (goal: within 1.10x), and the
// signature check per library (goal: under 0.1 ms).
//
// The files are written once and stay in the page cache, so the figures
// measure hashing and loading, not the disk. The kit reads its files beside
// the running executable, so main() writes the installation (and the
// trusted public key) into a temporary directory, places this program there
// and runs it again inside.

#include <stdio.h>

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
#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFileQueue.h"
#include "ZQExtensionKit/security/internal/ZQELibrarySignature.h"
#include "bench/BenchSupport.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/Installation.h"
#include "tests/support/SignKeys.h"

namespace {

using zqextensionkit::ZQEBundleManager;
using zqextensionkit::ZQEBundleManagerImpl;
using zqextensionkit::ZQEHashedFile;
using zqextensionkit::ZQExtensionManager;
using zqextensionkit::test::Installation;

constexpr int kLibraries = 20;
constexpr size_t kLibrarySize = 5u << 20;
constexpr char kTrustedKeyFile[] = "trusted.pem";
constexpr char kVersion[] = "1.0.0";
constexpr char kMainEntry[] = "lib/lib.so";

// Set in the child: the installation directory it runs in.
std::string g_installation_dir;

std::string PackageName(int i) {
  return "p" + std::to_string(i);
}

std::string PackageDir(int i) {
  return g_installation_dir + "/extensions/" + PackageName(i);
}

std::string LibraryPath(int i) {
  return PackageDir(i) + "/" + kMainEntry;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string TrustedKey() {
  return ReadFile(g_installation_dir + "/" + kTrustedKeyFile);
}

// One Load() from a fresh bundle manager: the previous one (and its
// libraries) and the previous configuration go while the timer is paused.
void RunLoad(benchmark::State& state, bool md5, bool sign) {
  static const bool started = [] {
    zqextensionkit::ZQExtensionKit::InitSDK();
    return ZQExtensionManager::GetInstance()->AddTrustedSignKey(TrustedKey());
  }();
  if (!started) {
    state.SkipWithError("the trusted key is refused");
    return;
  }
  ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
  manager->SetLibFileVerifyEnable(md5);
  manager->SetSignVerifyEnable(sign);
  manager->SetLibFileVerifyThreads(0);
  for (auto _ : state) {
    state.PauseTiming();
    manager->Unload();
    auto bundles = std::make_shared<ZQEBundleManagerImpl>();
    ZQEBundleManager::GetInstance()->Initialize(bundles);
    state.ResumeTiming();
    if (!manager->Load()) {
      state.SkipWithError("Load failed");
      break;
    }
    state.PauseTiming();
    // Every library loaded: none was refused on the way.
    for (int i = 0; i < kLibraries; ++i) {
      CComLoader* loader = nullptr;
      if (!bundles->GetComLoader(LibraryPath(i), &loader) ||
          !loader->IsLoaded()) {
        state.SkipWithError("a library was refused");
        break;
      }
    }
    state.ResumeTiming();
  }
  manager->Unload();
  ZQEBundleManager::GetInstance()->UnInitialize();
}

void BM_Load_NoVerify(benchmark::State& state) {
  RunLoad(state, false, false);
}
BENCHMARK(BM_Load_NoVerify)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Load_Md5(benchmark::State& state) {
  RunLoad(state, true, false);
}
BENCHMARK(BM_Load_Md5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Load_Signed(benchmark::State& state) {
  RunLoad(state, true, true);
}
BENCHMARK(BM_Load_Signed)->Unit(benchmark::kMillisecond)->UseRealTime();

void RunDigestOneCore(benchmark::State& state, const EVP_MD* type) {
  std::string digest;
  for (auto _ : state) {
    for (int i = 0; i < kLibraries; ++i) {
      if (!zqextensionkit::test::PlainEvpFileDigest(LibraryPath(i), type,
                                                    64 * 1024, digest)) {
        state.SkipWithError("cannot open a library");
        break;
      }
      benchmark::DoNotOptimize(digest);
    }
  }
  state.SetBytesProcessed(state.iterations() * kLibraries *
                          static_cast<int64_t>(kLibrarySize));
}

void BM_Md5_OneCore(benchmark::State& state) {
  RunDigestOneCore(state, EVP_md5());
}
BENCHMARK(BM_Md5_OneCore)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Sha256_OneCore(benchmark::State& state) {
  RunDigestOneCore(state, EVP_sha256());
}
BENCHMARK(BM_Sha256_OneCore)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SignatureCheck(benchmark::State& state) {
  const ZQEHashedFile file = ZQEHashedFile::Open(
      LibraryPath(0), ZQEHashedFile::Digests::kMd5AndSha256);
  const zqextensionkit::ZQESignKeyRing keys({TrustedKey()});
  std::string manifest = ReadFile(PackageDir(0) + "/manifest.json");
  const size_t sign_at = manifest.find("\"signMD5\": \"") + 12;
  zqextensionkit::Artifact artifact{base::FilePath(PackageDir(0))};
  artifact.SetID(PackageName(0));
  artifact.SetVersion(base::Version(kVersion));
  artifact.SetBinFilePath(kMainEntry);
  artifact.SetSignMD5(
      manifest.substr(sign_at, manifest.find('"', sign_at) - sign_at));
  for (auto _ : state) {
    if (!zqextensionkit::CheckLibrarySignature(artifact, file, keys).ok()) {
      state.SkipWithError("the signature does not verify");
      break;
    }
  }
}
BENCHMARK(BM_SignatureCheck)->Unit(benchmark::kMicrosecond);

// The console report and, after it, the ratios this benchmark is for.
class SummaryReporter : public zqextensionkit::test::MedianReporter {
 public:
  SummaryReporter() : MedianReporter({"BM_SignatureCheck"}) {}

  void PrintSummary(std::ostream& out) const {
    const double no_verify = Time("BM_Load_NoVerify");
    const double md5_load = Time("BM_Load_Md5");
    const double signed_load = Time("BM_Load_Signed");
    const double md5 = Time("BM_Md5_OneCore");
    const double sha256 = Time("BM_Sha256_OneCore");
    const double check = Time("BM_SignatureCheck");
    if (no_verify <= 0 || md5_load <= 0 || signed_load <= 0 || md5 <= 0 ||
        sha256 <= 0 || check <= 0) {
      return;  // A filter left one out.
    }
    const size_t cores =
        zqextensionkit::ZQEHashedFileQueue::ThreadsFor(0, kLibraries);
    const double mib = kLibraries * double(kLibrarySize) / (1 << 20);
    const double bound = (md5 + sha256) / cores + no_verify;
    char text[1536];
    snprintf(text, sizeof(text),
             "\nSummary (%s; %zu cores):\n"
             "  single-core MD5: %.0f MiB/s (%.1f ms), SHA-256: %.0f MiB/s "
             "(%.1f ms) for %.0f MiB\n"
             "  Load: without verification %.1f ms, MD5 %.1f ms, MD5 + "
             "signature %.1f ms\n"
             "  signed Load / (bytes x (MD5 + SHA-256) / cores + Load without "
             "verification) = %.1f / (%.1f + %.1f) = %.2fx (goal <= 1.10x)\n"
             "  signature check per library: %.1f us (goal < 100 us)\n",
             Kind(), cores, mib / (md5 / 1000), md5, mib / (sha256 / 1000),
             sha256, mib, no_verify, md5_load, signed_load, signed_load,
             (md5 + sha256) / cores, no_verify, signed_load / bound, check);
    out << text << std::flush;
  }
};

bool WriteInstallation(Installation& installation) {
  const std::string plugin =
      ReadFile(std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kBundleProbePluginFile);
  if (plugin.empty())
    return false;
  const zqextensionkit::test::SignKeyPair key =
      zqextensionkit::test::NewEd25519KeyPair();
  std::string list;
  for (int i = 0; i < kLibraries; ++i) {
    const std::string library =
        zqextensionkit::test::PaddedLibrary(plugin, i, kLibrarySize);
    std::string md5;
    zqextensionkit::ZQEUtility_MD5_String(library, md5);
    const std::string package = PackageName(i);
    const std::string sign = zqextensionkit::test::SignBase64(
        key.private_pem, zqextensionkit::test::LibraryMessage(
                             zqextensionkit::test::Sha256Hex(library), package,
                             kVersion, kMainEntry));
    if (sign.empty() ||
        !installation.WriteFile("extensions/" + package + "/" + kMainEntry,
                                library) ||
        !installation.WriteManifest(
            package, R"({"id": ")" + package + R"(", "version": ")" + kVersion +
                         R"(", "mainEntry": ")" + kMainEntry +
                         R"(", "libFileMD5": ")" + md5 + R"(", "signMD5": ")" +
                         sign + R"(", "BundleClassId": ")" +
                         kProbeBundleClsidText + R"("})")) {
      return false;
    }
    list += (i ? ", \"" : "\"") + package + "\"";
  }
  return installation.WriteFile(kTrustedKeyFile, key.public_pem) &&
         installation.WriteAdapterMapping("{}") &&
         installation.WriteConfig(R"({"artifacts": [)" + list + "]}");
}

}  // namespace

int main(int argc, char** argv) {
  return zqextensionkit::test::RunBenchmarksInInstallation(
      argc, argv, &g_installation_dir, WriteInstallation,
      zqextensionkit::test::RunWithSummary<SummaryReporter>);
}
