// File MD5 of a 64 MiB file: the kit's ZQEUtility_MD5_File_Hex beside a plain
// EVP loop over the same file with a 64 KiB read buffer (the baseline), and
// one with a 1 KiB buffer for comparison. The file is written once into a
// fresh temporary directory and stays in the page cache, so the figures
// measure the reading and hashing, not the disk.

#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ZQExtensionKit/security/ZQEUtility.h"
#include "bench/BenchSupport.h"

namespace {

constexpr size_t kFileSize = 64u * 1024 * 1024;

class BenchFile {
 public:
  BenchFile() {
    std::string tmpl =
        (std::filesystem::temp_directory_path() / "zq_md5_bench_XXXXXX")
            .string();
    if (!mkdtemp(tmpl.data()))
      abort();
    dir_ = tmpl;
    path_ = (dir_ / "payload.bin").string();
    std::vector<char> block(1024 * 1024);
    unsigned int state = 1;
    std::ofstream out(path_, std::ios::binary);
    for (size_t written = 0; written < kFileSize; written += block.size()) {
      for (char& c : block) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
      }
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    if (!out.good())
      abort();
  }
  ~BenchFile() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

const std::string& FilePath() {
  static BenchFile file;
  return file.path();
}

void BM_KitFileMd5(benchmark::State& state) {
  const std::string& path = FilePath();
  std::string md5;
  for (auto _ : state) {
    if (!zqextensionkit::ZQEUtility_MD5_File_Hex(path, md5))
      state.SkipWithError("file MD5 failed");
    benchmark::DoNotOptimize(md5);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kFileSize));
}
BENCHMARK(BM_KitFileMd5)->Unit(benchmark::kMillisecond);

void BM_PlainEvpLoop(benchmark::State& state) {
  const std::string& path = FilePath();
  const size_t buffer_size = static_cast<size_t>(state.range(0));
  std::string md5;
  for (auto _ : state) {
    if (!zqextensionkit::test::PlainEvpFileMd5(path, buffer_size, md5))
      state.SkipWithError("plain MD5 failed");
    benchmark::DoNotOptimize(md5);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kFileSize));
}
// 64 KiB is the baseline; 1 KiB shows what a small read buffer costs.
BENCHMARK(BM_PlainEvpLoop)
    ->Arg(64 * 1024)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond);

}  // namespace
