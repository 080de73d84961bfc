// One log call of the kind the kit makes at every log site, without a logger
// and with a logger that does nothing. Runs without a logger come first: a
// logger, once installed, cannot be removed.

#include <string>

#include <benchmark/benchmark.h>

#include "ZQExtensionKit/log/ZQELogService.h"

namespace {

using zqextensionkit::ZQELogService;

constexpr char kClassId[] = "{45ED99D7-00C2-4082-98D8-5507D2AA3A0F}";

class NoOpLogger : public zqextensionkit::IZQELogger {
 public:
  void LogMessage(int, std::string message) override {
    benchmark::DoNotOptimize(message.data());
  }
};

void LogOneMessage(benchmark::State& state) {
  ZQELogService* service = ZQELogService::GetInstance();
  for (auto _ : state) {
    service->LogMessage(0,
                        "object container impl - class id:%s, get singleton "
                        "object success",
                        kClassId);
  }
}

// Baseline: what any formatted message costs, the same text formatted with
// snprintf into a stack buffer.
void BM_Baseline_Snprintf(benchmark::State& state) {
  char buffer[4096];
  for (auto _ : state) {
    snprintf(buffer, sizeof(buffer),
             "object container impl - class id:%s, get singleton object "
             "success",
             kClassId);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_Baseline_Snprintf);

void BM_Log_NoLogger(benchmark::State& state) {
  LogOneMessage(state);
}
BENCHMARK(BM_Log_NoLogger);

void BM_Log_NoOpLogger(benchmark::State& state) {
  static const bool installed =
      ZQELogService::GetInstance()->RegisterLogger(new NoOpLogger);
  (void)installed;
  LogOneMessage(state);
}
BENCHMARK(BM_Log_NoOpLogger);

}  // namespace
