// Benchmark support: the baselines and the main() that several benchmark
// programs share.
//
// The kit reads its files beside the running executable, so a benchmark of
// a whole installation writes one into a temporary directory, places the
// program there and runs it again inside (see tests/support/Installation.h);
// RunBenchmarksInInstallation() is that main().

#ifndef BENCH_BENCHSUPPORT_H_
#define BENCH_BENCHSUPPORT_H_

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include "ZQExtensionKit/log/ZQELogService.h"
#include "tests/support/Installation.h"

namespace zqextensionkit {
namespace test {

// The plain digest `type` of a file, the baseline of the kit's file
// digests: one EVP context, fread() into a `buffer_size` buffer. Stores the
// raw digest.
inline bool PlainEvpFileDigest(const std::string& path,
                               const EVP_MD* type,
                               size_t buffer_size,
                               std::string& digest_out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f)
    return false;
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, type, nullptr);
  std::vector<unsigned char> buffer(buffer_size);
  size_t got;
  while ((got = fread(buffer.data(), 1, buffer.size(), f)) > 0)
    EVP_DigestUpdate(ctx, buffer.data(), got);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx, digest, &length);
  EVP_MD_CTX_free(ctx);
  fclose(f);
  digest_out.assign(reinterpret_cast<char*>(digest), length);
  return true;
}

// PlainEvpFileDigest() with MD5.
inline bool PlainEvpFileMd5(const std::string& path,
                            size_t buffer_size,
                            std::string& md5) {
  return PlainEvpFileDigest(path, EVP_md5(), buffer_size, md5);
}

// `plugin` padded to `size` bytes with bytes of its own for library `i`:
// the loader ignores what follows the segments it maps, and no two
// libraries have the same bytes.
inline std::string PaddedLibrary(const std::string& plugin,
                                 int i,
                                 size_t size) {
  std::string bytes = plugin;
  unsigned int state = 2654435761u * static_cast<unsigned int>(i + 1);
  while (bytes.size() < size) {
    state = state * 1103515245u + 12345u;
    bytes.push_back(static_cast<char>(state >> 16));
  }
  return bytes;
}

// Reads the benchmark flags; false (after saying why) on one it does not
// know.
inline bool InitializeBenchmarks(int& argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  return !benchmark::ReportUnrecognizedArguments(argc, argv);
}

// Runs the benchmarks the flags select, with the console report.
inline int RunBenchmarks(int& argc, char** argv) {
  if (!InitializeBenchmarks(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// The console report, keeping each benchmark's median (or its single run)
// for a summary: Time() is its real time in the benchmark's own unit, or
// its CPU time for the benchmarks named in `cpu_time`.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  explicit MedianReporter(std::vector<std::string> cpu_time = {})
      : ConsoleReporter(OO_Tabular), cpu_time_(std::move(cpu_time)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred)
        continue;
      const bool median =
          run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const std::string& name = run.run_name.function_name;
      if (median || (run.run_type == Run::RT_Iteration && !medians_[name])) {
        const bool cpu = std::find(cpu_time_.begin(), cpu_time_.end(), name) !=
                         cpu_time_.end();
        times_[name] =
            cpu ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
      }
      medians_[name] = medians_[name] || median;
    }
  }

 protected:
  // The kept time of benchmark `name`, or 0 when it did not run.
  double Time(const std::string& name) const {
    auto it = times_.find(name);
    return it == times_.end() ? 0 : it->second;
  }
  // "medians" when any benchmark reported one, else "single runs".
  const char* Kind() const {
    for (const auto& [name, median] : medians_) {
      if (median)
        return "medians";
    }
    return "single runs";
  }

 private:
  const std::vector<std::string> cpu_time_;
  std::map<std::string, double> times_;
  std::map<std::string, bool> medians_;
};

// Runs the benchmarks the flags select with a `Reporter` (a console
// reporter with a PrintSummary(std::ostream&)), then prints its summary. The
// library loader's trace lines, which would drown the report, are off.
template <typename Reporter>
int RunWithSummary(int& argc, char** argv) {
  if (!InitializeBenchmarks(argc, argv))
    return 1;
  ZQELogService::GetInstance()->SetLoaderTraceOutput(
      ZQELoaderTraceOutput::kNone);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.PrintSummary(std::cout);
  return 0;
}

// main() of a benchmark that runs inside an installation. Run inside one
// (kInstallationEnvironmentVariable set), stores its directory in *dir and
// returns run(argc, argv). Otherwise makes an installation, has `write`
// fill it, places this program in it and runs it there with the same
// arguments, returning its exit status (1 when the installation cannot be
// made or the program cannot be started, after saying why).
inline int RunBenchmarksInInstallation(
    int argc,
    char** argv,
    std::string* dir,
    const std::function<bool(Installation&)>& write,
    const std::function<int(int&, char**)>& run = RunBenchmarks) {
  if (const char* inside = getenv(kInstallationEnvironmentVariable)) {
    *dir = inside;
    return run(argc, argv);
  }
  Installation installation;
  if (!installation.ok() || !write(installation) ||
      !installation.PlaceExecutable()) {
    fprintf(stderr, "%s: cannot write the installation: %s\n", argv[0],
            installation.error().c_str());
    return 1;
  }
  return RunInInstallation(installation, argc, argv);
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // BENCH_BENCHSUPPORT_H_
