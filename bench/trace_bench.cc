// What the start-up trace costs: the kit's spans with tracing on, with
// tracing off, and compiled out.
//
// - BM_Load_100: Load() of an installation of 100 packages, each with its
//   own plug-in library and a point of two extensions (the libraries stay
//   loaded from the first load, as they do in a host that loads again;
//   Unload() runs with the timer paused).
// - BM_GetExtensionList_Twenty: a point of 20 singleton extensions of one
//   library, through the facade, instances released.
// Each runs with tracing off and with tracing on (the trace written to a
// file in the installation, by the kit's writer thread as buffers fill).
// The file is started afresh every 100 loads or 2000 lists (some 20,000
// and 120,000 spans), with the timer paused, so that it stays small; the
// host's flush of what is left before that is timed, as the flush of a
// host's UnInitialize() would be, spread over those loads or lists.
//
// This program is built twice from this file: trace_bench, against the
// kit, and trace_bench_without_spans, against the same sources built with
// ZQ_TRACE_SPANS=0 (the spans compiled out, as before the kit had them).
// trace_bench runs the benchmarks in processes of their own, in turns, so
// that each starts from the same state and what the rest of the machine
// does weighs on each alike, and ends with the ratios: tracing on against
// off (goal <= 1.10x) and tracing off against the spans compiled out (goal
// <= 1.02x). Two times are kept: the wall time of the calling thread,
// which is what a host waits for and what the goals are about, and the CPU
// time of the whole process, which adds the writer thread's work (on
// another core) to it. See RunInTurns() for how the ratios are taken.

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/trace/internal/ZQETrace.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "dlcom/unknown.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/Installation.h"

namespace {

using zqextensionkit::ZQExtensionKit;
using zqextensionkit::ZQExtensionManager;
using zqextensionkit::test::Installation;

constexpr int kPackages = 100;
constexpr int kTwenty = 20;
constexpr int kTurns = 7;
constexpr int kRepetitions = 3;  // In each turn.
constexpr double kMinTime = 0.2;
// Set in the environment of the processes that run one benchmark each.
constexpr char kChildVariable[] = "ZQ_TRACE_BENCH_ONE";

Installation* g_installation = nullptr;

std::string ExtensionJson(const std::string& id, bool singleton) {
  return R"({"id": ")" + id + R"(", "clsid": ")" + kProbeExtensionClsidText +
         R"(", "isSingleton": )" + (singleton ? "true" : "false") +
         R"(, "payloads": {"title": "Item"}})";
}

std::string PointJson(const std::string& id,
                      const std::string& prefix,
                      int extensions,
                      bool singleton) {
  std::string list;
  for (int i = 0; i < extensions; ++i) {
    list += (i ? "," : "") +
            ExtensionJson(prefix + "." + std::to_string(i), singleton);
  }
  return R"({"id": ")" + id + R"(", "iid": ")" + kTestExtensionProbeIidText +
         R"(", "extensions": [)" + list + "]}";
}

bool WriteInstallation(Installation& installation) {
  const std::string plugin =
      std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kExtensionProbePluginFile;
  std::string list;
  for (int p = 0; p < kPackages; ++p) {
    const std::string name = "p" + std::to_string(p);
    std::string points = PointJson("ep." + name, name, 2, false);
    if (p == 0)
      points += "," + PointJson("ep.twenty", "s", kTwenty, true);
    if (!installation.CopyFile(plugin,
                               "extensions/" + name + "/lib/probe.so") ||
        !installation.WriteManifest(
            name,
            R"({"id": ")" + name +
                R"(", "mainEntry": "lib/probe.so", "extensionPoints": [)" +
                points + "]}")) {
      return false;
    }
    list += (p ? ", \"" : "\"") + name + "\"";
  }
  return installation.WriteAdapterMapping("{}") &&
         installation.WriteConfig(R"({"artifacts": [)" + list + "]}");
}

std::string TracePath() {
  return (g_installation->dir() / "startup-trace.json").string();
}

// Starts the kit on the installation and loads it once: the libraries are
// loaded from then on.
void StartOnce() {
  static const bool started = [] {
    ZQExtensionKit::InitSDK();
    ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
    return manager->SetInstallationDir(g_installation->dir().string()) &&
           manager->Load();
  }();
  if (!started) {
    fprintf(stderr, "trace_bench: the installation did not load\n");
    exit(1);
  }
}

// Runs `step` once per iteration, with tracing on or off. With tracing on,
// every `restart` iterations what is buffered is written (timed) and the
// file is started afresh (not timed).
template <typename Step>
void Run(benchmark::State& state, bool tracing, int restart, Step step) {
  StartOnce();
  ZQExtensionKit::SetTraceFile(tracing ? TracePath() : std::string());
  int count = 0;
  for (auto _ : state) {
    if (!step(state))
      break;
    if (tracing && ++count % restart == 0) {
      zqextensionkit::ZQETrace::Flush();
      state.PauseTiming();
      ZQExtensionKit::SetTraceFile(TracePath());
      state.ResumeTiming();
    }
  }
  ZQExtensionKit::SetTraceFile(std::string());
}

void BM_Load_100(benchmark::State& state, bool tracing) {
  ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
  Run(state, tracing, 100, [manager](benchmark::State& state) {
    state.PauseTiming();
    manager->Unload();
    state.ResumeTiming();
    if (!manager->Load()) {
      state.SkipWithError("Load failed");
      return false;
    }
    return true;
  });
}

void BM_GetExtensionList_Twenty(benchmark::State& state, bool tracing) {
  ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
  std::vector<void*> instances;
  instances.reserve(kTwenty);
  Run(state, tracing, 2000, [&](benchmark::State& state) {
    if (!manager->GetExtensionList("ep.twenty", instances) ||
        instances.size() != kTwenty) {
      state.SkipWithError("GetExtensionList failed");
      return false;
    }
    for (void* instance : instances)
      static_cast<by::IBaseUnknown*>(instance)->Release();
    instances.clear();
    return true;
  });
}

// One span as the kit records an extension instance: two string arguments
// and an outcome, buffered files written as they fill (timed).
void BM_Span(benchmark::State& state, bool tracing) {
  const std::string extension = "p0.extension";
  const std::string clsid = kProbeExtensionClsidText;
  Run(state, tracing, 100000, [&](benchmark::State&) {
    zqextensionkit::ZQETraceSpan span(
        "create", zqextensionkit::trace_category::kExtension);
    if (span.on())
      span.Arg("extension", extension);
    span.Arg("class", clsid);
    span.Result(true);
    return true;
  });
}

double Min(const std::vector<double>& values) {
  double min = values.empty() ? 0 : values[0];
  for (double value : values)
    min = value < min ? value : min;
  return min;
}

void Register(const char* name,
              void (*run)(benchmark::State&, bool),
              bool tracing) {
  benchmark::RegisterBenchmark(
      (std::string(name) + (tracing ? "/TracingOn" : "/TracingOff")).c_str(),
      [run, tracing](benchmark::State& state) { run(state, tracing); })
      ->Unit(benchmark::kMicrosecond)
      ->MeasureProcessCPUTime()
      ->MinTime(kMinTime)
      ->Repetitions(kRepetitions)
      ->ComputeStatistics("min", Min);
}

const char* const kCases[] = {"BM_Load_100", "BM_GetExtensionList_Twenty",
                              "BM_Span"};

void RegisterAll() {
  const std::pair<const char*, void (*)(benchmark::State&, bool)> cases[] = {
      {kCases[0], BM_Load_100},
      {kCases[1], BM_GetExtensionList_Twenty},
      {kCases[2], BM_Span},
  };
  for (const auto& [name, run] : cases) {
    Register(name, run, false);
#if ZQ_TRACE_SPANS
    Register(name, run, true);
#endif
  }
}

#if ZQ_TRACE_SPANS

// The least wall and process CPU times of a benchmark (microseconds).
struct Times {
  double wall = 0;
  double cpu = 0;

  void KeepLeast(const Times& other) {
    wall = wall == 0 ? other.wall : std::min(wall, other.wall);
    cpu = cpu == 0 ? other.cpu : std::min(cpu, other.cpu);
  }
};

// The least times of the "min" aggregates of the runs in `mode`
// ("TracingOn" or "TracingOff") in the JSON report `output`, or zeros when
// it holds none.
Times LeastTimes(const std::string& output, const std::string& mode) {
  const std::unique_ptr<base::Value> root = base::JSONReader::Read(output);
  const base::DictionaryValue* dict = nullptr;
  const base::ListValue* runs = nullptr;
  Times least;
  if (!root || !root->GetAsDictionary(&dict) ||
      !dict->GetList("benchmarks", &runs)) {
    return least;
  }
  for (size_t i = 0; i < runs->GetSize(); ++i) {
    const base::DictionaryValue* run = nullptr;
    std::string name;
    std::string aggregate;
    Times times;
    if (runs->GetDictionary(i, &run) && run->GetString("run_name", &name) &&
        name.find("/" + mode + "/") != std::string::npos &&
        run->GetString("aggregate_name", &aggregate) && aggregate == "min" &&
        run->GetDouble("real_time", &times.wall) &&
        run->GetDouble("cpu_time", &times.cpu) && times.wall > 0 &&
        times.cpu > 0) {
      least.KeepLeast(times);
    }
  }
  return least;
}

// Runs the benchmarks `filter` selects in a process of its own made from
// `executable` with this program's flags `args`: every measurement starts
// from the same state of the process and of the kernel (the trace files of
// the runs before, for one, are gone). Its JSON report, or "" (said on
// standard error) when it failed.
std::string RunAlone(const std::string& executable,
                     const std::string& filter,
                     std::vector<std::string> args) {
  args.push_back("--benchmark_filter=" + filter);
  args.push_back("--benchmark_format=json");
  args.push_back("--benchmark_enable_random_interleaving=true");
  std::string output;
  std::string error;
  const int status = zqextensionkit::test::RunProcess(
      executable, args, {std::string(kChildVariable) + "=1"}, {}, &output,
      &error);
  if (status != 0) {
    fprintf(stderr, "trace_bench: %s %s failed (%d) %s\n", executable.c_str(),
            filter.c_str(), status, error.c_str());
    return std::string();
  }
  return output;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t half = values.size() / 2;
  return values.size() % 2 ? values[half]
                           : (values[half - 1] + values[half]) / 2;
}

// Runs every benchmark in turns (so that what the rest of the machine does
// weighs on each alike) and prints the least times of each and the ratios.
// Tracing on and off run in one process, their repetitions interleaved in
// random order, and the ratio of on to off is the median of those
// processes' ratios: a process's layout in memory alone moves its times by
// up to a third on this kind of machine, and pairs share it. The spans
// compiled out are another program, compared by least times.
int RunInTurns(const std::vector<std::string>& args) {
  struct Case {
    Times compiled_out;
    Times off;
    Times on;
    std::vector<double> wall_ratios;
    std::vector<double> cpu_ratios;
  };
  Case cases[std::size(kCases)];
  for (int turn = 0; turn < kTurns; ++turn) {
    for (size_t c = 0; c < std::size(kCases); ++c) {
      const std::string name = std::string("^") + kCases[c];
      const Times compiled_out = LeastTimes(
          RunAlone(ZQ_TRACE_BENCH_WITHOUT_SPANS, name + "/TracingOff/", args),
          "TracingOff");
      const std::string paired =
          RunAlone("/proc/self/exe", name + "/Tracing(On|Off)/", args);
      const Times off = LeastTimes(paired, "TracingOff");
      const Times on = LeastTimes(paired, "TracingOn");
      if (compiled_out.wall <= 0 || off.wall <= 0 || on.wall <= 0)
        return 1;
      printf(
          "turn %d: %s (wall; process CPU): spans compiled out %.1f us "
          "(%.1f), tracing off %.1f us (%.1f), tracing on %.1f us (%.1f)\n",
          turn + 1, kCases[c], compiled_out.wall, compiled_out.cpu, off.wall,
          off.cpu, on.wall, on.cpu);
      fflush(stdout);
      Case& results = cases[c];
      results.compiled_out.KeepLeast(compiled_out);
      results.off.KeepLeast(off);
      results.on.KeepLeast(on);
      results.wall_ratios.push_back(on.wall / off.wall);
      results.cpu_ratios.push_back(on.cpu / off.cpu);
    }
  }
  printf(
      "\nSummary (%d turns of %d repetitions; wall: the calling thread, "
      "CPU: the whole process):\n",
      kTurns, kRepetitions);
  for (size_t c = 0; c < std::size(kCases); ++c) {
    const Case& results = cases[c];
    if (kCases[c] == std::string("BM_Span")) {
      printf(
          "  one span (least wall): compiled out %.1f ns, tracing off %.1f "
          "ns, tracing on %.1f ns (process CPU %.1f ns)\n",
          results.compiled_out.wall * 1000, results.off.wall * 1000,
          results.on.wall * 1000, results.on.cpu * 1000);
      continue;
    }
    printf(
        "  %s (least wall): spans compiled out %.1f us, tracing off %.1f us, "
        "tracing on %.1f us\n"
        "    tracing off / spans compiled out, least times: %.3fx wall, "
        "%.3fx CPU (goal <= 1.02x)\n"
        "    tracing on / tracing off, median of paired runs: %.3fx wall "
        "(goal <= 1.10x), %.3fx CPU\n",
        kCases[c], results.compiled_out.wall, results.off.wall, results.on.wall,
        results.off.wall / results.compiled_out.wall,
        results.off.cpu / results.compiled_out.cpu, Median(results.wall_ratios),
        Median(results.cpu_ratios));
  }
  return 0;
}

#endif  // ZQ_TRACE_SPANS

}  // namespace

int main(int argc, char** argv) {
  [[maybe_unused]] const std::vector<std::string> args(argv + 1, argv + argc);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
#if ZQ_TRACE_SPANS
  if (!getenv(kChildVariable))
    return RunInTurns(args);
#endif
  Installation installation;
  if (!installation.ok() || !WriteInstallation(installation)) {
    fprintf(stderr, "%s: cannot write the installation: %s\n", argv[0],
            installation.error().c_str());
    return 1;
  }
  g_installation = &installation;
  // The library loader's trace lines would end up in the JSON output.
  zqextensionkit::ZQELogService::GetInstance()->SetLoaderTraceOutput(
      zqextensionkit::ZQELoaderTraceOutput::kNone);
  RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
