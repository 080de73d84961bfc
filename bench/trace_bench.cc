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
// file in the installation; its writes are timed, and the file is started
// afresh every so often with the timer paused so it stays small).
//
// This program is built twice from this file: trace_bench, against the
// kit, and trace_bench_without_spans, against the same sources built with
// ZQ_TRACE_SPANS=0 (the spans compiled out, as before the kit had them).
// trace_bench runs each benchmark of both in a process of its own, in
// turns, so that each starts from the same state and what the rest of the
// machine does weighs on each alike, and ends with the ratios: tracing on
// against off (goal <= 1.10x) and tracing off against the spans compiled
// out (goal <= 1.02x), each from the least CPU time of all the repetitions
// of all turns, which the rest of the machine disturbs least.

#include <stdio.h>
#include <stdlib.h>

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
constexpr int kTurns = 5;
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
  Run(state, tracing, 20, [manager](benchmark::State& state) {
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
  Run(state, tracing, 500, [&](benchmark::State& state) {
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
        "instance", zqextensionkit::trace_category::kExtension);
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

// The least CPU time (microseconds) of the "min" aggregate in the JSON
// report `output`, or 0 when it holds none.
double LeastCpuTime(const std::string& output) {
  const std::unique_ptr<base::Value> root = base::JSONReader::Read(output);
  const base::DictionaryValue* dict = nullptr;
  const base::ListValue* runs = nullptr;
  if (!root || !root->GetAsDictionary(&dict) ||
      !dict->GetList("benchmarks", &runs)) {
    return 0;
  }
  double least = 0;
  for (size_t i = 0; i < runs->GetSize(); ++i) {
    const base::DictionaryValue* run = nullptr;
    std::string aggregate;
    double cpu_time = 0;
    if (runs->GetDictionary(i, &run) &&
        run->GetString("aggregate_name", &aggregate) && aggregate == "min" &&
        run->GetDouble("cpu_time", &cpu_time) && cpu_time > 0) {
      least = least == 0 || cpu_time < least ? cpu_time : least;
    }
  }
  return least;
}

// Runs one benchmark, `name`, in a process of its own made from
// `executable` with this program's flags `args`: every measurement starts
// from the same state of the process and of the kernel (the trace files of
// the runs before, for one, are gone). Its least CPU time, or 0 (said on
// standard error) when it did not run.
double RunAlone(const std::string& executable,
                const std::string& name,
                std::vector<std::string> args) {
  args.push_back("--benchmark_filter=^" + name + "/");
  args.push_back("--benchmark_format=json");
  std::string output;
  std::string error;
  const int status = zqextensionkit::test::RunProcess(
      executable, args, {std::string(kChildVariable) + "=1"}, {}, &output,
      &error);
  const double least = status == 0 ? LeastCpuTime(output) : 0;
  if (least <= 0) {
    fprintf(stderr, "trace_bench: %s %s failed (%d) %s\n", executable.c_str(),
            name.c_str(), status, error.c_str());
  }
  return least;
}

// Runs every benchmark alone, in turns (so that what the rest of the
// machine does weighs on each alike), and prints the least CPU time of each
// and the ratios.
int RunInTurns(const std::vector<std::string>& args) {
  struct Variant {
    const char* label;
    std::string executable;
    const char* mode;
    double least[std::size(kCases)] = {};
  };
  Variant variants[] = {
      {"spans compiled out", ZQ_TRACE_BENCH_WITHOUT_SPANS, "TracingOff"},
      {"tracing off", "/proc/self/exe", "TracingOff"},
      {"tracing on", "/proc/self/exe", "TracingOn"},
  };
  for (int turn = 0; turn < kTurns; ++turn) {
    for (size_t c = 0; c < std::size(kCases); ++c) {
      for (Variant& variant : variants) {
        const double time =
            RunAlone(variant.executable,
                     std::string(kCases[c]) + "/" + variant.mode, args);
        if (time <= 0)
          return 1;
        printf("turn %d: %s, %s: %.1f us\n", turn + 1, kCases[c], variant.label,
               time);
        fflush(stdout);
        double& least = variant.least[c];
        least = least == 0 || time < least ? time : least;
      }
    }
  }
  printf(
      "\nSummary (least CPU time of %d turns of %d repetitions, each "
      "benchmark in a process of its own):\n",
      kTurns, kRepetitions);
  for (size_t c = 0; c < std::size(kCases); ++c) {
    const double compiled_out = variants[0].least[c];
    const double off = variants[1].least[c];
    const double on = variants[2].least[c];
    if (kCases[c] == std::string("BM_Span")) {
      printf(
          "  one span: compiled out %.1f ns, tracing off %.1f ns, tracing "
          "on %.1f ns\n",
          compiled_out * 1000, off * 1000, on * 1000);
      continue;
    }
    printf(
        "  %s: spans compiled out %.1f us, tracing off %.1f us, tracing on "
        "%.1f us\n"
        "    tracing off / spans compiled out: %.3fx (goal <= 1.02x)\n"
        "    tracing on / tracing off: %.3fx (goal <= 1.10x)\n",
        kCases[c], compiled_out, off, on, off / compiled_out, on / off);
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
