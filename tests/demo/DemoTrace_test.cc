// The demo's start-up trace, as `make demo` writes it (ZQEXT_TRACE set for
// the demo host): a Trace Event Format document whose complete events all
// have their times and nest on each thread, with Load's phases in order,
// the verification of the plug-in, the extension requests and the remote
// merge; the demo says and logs the same with and without it; and a trace
// path that cannot be written is one message while the demo runs on.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/ScopedTempDir.h"
#include "tests/support/TraceReader.h"
#include "tests/tools/ZqextTestSupport.h"

namespace zqextensionkit {
namespace test {
namespace {

constexpr char kWriteFailed[] =
    "[ZQExtensionKit] trace - write trace file failed, because of ";

// The demo host, with the trace written to `trace` unless it is empty.
ProgramRun RunDemo(const std::string& trace,
                   const std::vector<std::string>& args = {"--verbose"}) {
  ProgramRun run;
  std::string error;
  std::vector<std::string> set;
  if (!trace.empty())
    set.push_back("ZQEXT_TRACE=" + trace);
  run.status = RunProcess(ZQ_DEMO_HOST, args, set, {"ZQEXT_KEY", "ZQEXT_TRACE"},
                          &run.out, &error, &run.err);
  EXPECT_NE(-1, run.status) << error;
  return run;
}

// The report with its ids masked: adapter records get fresh ids each run.
std::string WithoutIds(const std::string& report) {
  static const std::regex kId("\\{[0-9A-Fa-f-]{36}\\}");
  return std::regex_replace(report, kId, "{id}");
}

size_t Count(const std::string& text, const std::string& fragment) {
  size_t count = 0;
  for (size_t at = text.find(fragment); at != std::string::npos;
       at = text.find(fragment, at + 1)) {
    ++count;
  }
  return count;
}

TEST(DemoTraceTest, TheDemosTraceIsSoundAndShowsItsStartUp) {
  ScopedTempDir dir;
  const std::string path = (dir.path() / "startup-trace.json").string();
  const ProgramRun run = RunDemo(path, {});
  ASSERT_EQ(0, run.status) << run.out << run.err;

  const Trace trace = ReadTrace(path);
  ASSERT_TRUE(trace.parsed) << trace.error;
  EXPECT_EQ(std::vector<std::string>{}, TraceProblems(trace));
  EXPECT_EQ("zq-demo", trace.process_name);

  // Load's phases, in order, one after the other on the loading thread.
  const std::vector<std::string> phases = {"Load",
                                           "configuration",
                                           "adapter mapping",
                                           "config.json",
                                           "decryption",
                                           "manifests",
                                           "version filter",
                                           "extensions and adapters",
                                           "libraries"};
  ASSERT_EQ(1u, trace.Named("Load").size());
  const TraceSpan& load = *trace.Named("Load")[0];
  int64_t previous = -1;
  for (const std::string& phase : phases) {
    SCOPED_TRACE(phase);
    ASSERT_EQ(1u, trace.Named(phase).size());
    const TraceSpan& span = *trace.Named(phase)[0];
    EXPECT_TRUE(load.Holds(span));
    EXPECT_LT(previous, span.ts);
    EXPECT_EQ(phase == "manifests" || phase == "libraries" ? "" : "done",
              span.Arg("outcome"));
    previous = span.ts;
  }
  EXPECT_EQ("encrypted", trace.Named("decryption")[0]->Arg("config"));
  EXPECT_EQ(3u, trace.Named("manifest").size());

  // The plug-in's library: hashed, verified, loaded, its bundle made.
  ASSERT_EQ(1u, trace.Named("hash").size());
  EXPECT_EQ("done", trace.Named("hash")[0]->Arg("outcome"));
  for (const char* step : {"verification", "LoadCom", "bundle", "Initialize"}) {
    ASSERT_EQ(1u, trace.Named(step).size()) << step;
    EXPECT_EQ("done", trace.Named(step)[0]->Arg("outcome")) << step;
  }

  // The requests of the report: every instance filled and initialised, and
  // the remote merge.
  EXPECT_FALSE(trace.Named("GetExtensionList").empty());
  EXPECT_EQ(1u, trace.Named("GetExtensionById").size());
  const std::vector<const TraceSpan*> instances = trace.Named("create");
  ASSERT_FALSE(instances.empty());
  for (const TraceSpan* instance : instances)
    EXPECT_EQ("done", instance->Arg("outcome")) << instance->Arg("extension");
  EXPECT_EQ(instances.size(), trace.Named("Initialization").size());
  for (const TraceSpan* step : trace.Named("Initialization"))
    EXPECT_EQ("done", step->Arg("outcome"));
  ASSERT_EQ(1u, trace.Named("remote merge").size());
  EXPECT_EQ("done", trace.Named("remote merge")[0]->Arg("outcome"));
  EXPECT_EQ(1u, trace.Named("GetData").size());
  for (const TraceSpan& span : trace.spans)
    EXPECT_FALSE(trace.ThreadName(span.tid).empty()) << span.name;
}

TEST(DemoTraceTest, TracingChangesNeitherTheReportNorTheLog) {
  ScopedTempDir dir;
  const ProgramRun untraced = RunDemo("");
  const ProgramRun traced = RunDemo((dir.path() / "trace.json").string());
  ASSERT_EQ(0, untraced.status) << untraced.out << untraced.err;
  EXPECT_EQ(0, traced.status);
  EXPECT_EQ(WithoutIds(untraced.out), WithoutIds(traced.out));
  EXPECT_EQ(untraced.err, traced.err);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "trace.json"));
}

TEST(DemoTraceTest, UnwritableTraceIsOneMessageAndTheDemoRunsOn) {
  ScopedTempDir dir;
  const struct {
    const char* what;
    std::string path;
  } cases[] = {
      {"a directory", dir.path().string()},
      {"a missing folder", (dir.path() / "missing" / "trace.json").string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ProgramRun run = RunDemo(c.path);
    EXPECT_EQ(0, run.status) << run.out << run.err;
    EXPECT_NE(std::string::npos, run.out.find("demo OK"));
    EXPECT_EQ(1u, Count(run.err, kWriteFailed)) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find(c.path + " cannot be opened for writing"));
  }
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
