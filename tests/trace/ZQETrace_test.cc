// The start-up trace's recorder and file: spans become complete events of
// the Trace Event Format with their arguments and outcome, nested as their
// scopes were, with the thread's name; the file is a whole JSON document
// after every write; a file that cannot be written is one message, after
// which tracing is off; spans that began under another file are dropped.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/trace/internal/ZQETrace.h"
#include "ZQExtensionKit/trace/internal/ZQETraceFile.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TraceFileTest.h"
#include "tests/support/TraceReader.h"

namespace zqextensionkit {
namespace {

constexpr char kWriteFailed[] = "trace - write trace file failed, because of ";

class TraceTest : public test::TraceFileTest {
 protected:
  size_t WriteFailures() {
    size_t count = 0;
    for (const std::string& text : capture().texts())
      count += text.rfind(kWriteFailed, 0) == 0;
    return count;
  }
};

TEST_F(TraceTest, FileIsACompleteDocumentAfterEveryAppend) {
  const std::string path = PathOf("pieces.json");
  ZQETraceFile file(path);
  std::string error;
  ASSERT_TRUE(file.Append("", &error));
  struct stat info;
  EXPECT_NE(0, stat(path.c_str(), &info)) << "no event, no file";

  const std::vector<std::string> pieces = {
      R"({"name":"a","ph":"X","pid":1,"tid":1,"ts":1.000,"dur":1.000})",
      R"({"name":"b","ph":"X","pid":1,"tid":1,"ts":3.000,"dur":1.000},)"
      "\n"
      R"({"name":"c","ph":"X","pid":1,"tid":1,"ts":5.000,"dur":0.500})",
      R"({"name":"d","ph":"X","pid":1,"tid":2,"ts":1.000,"dur":9.000})"};
  size_t expected = 0;
  for (const std::string& piece : pieces) {
    ASSERT_TRUE(file.Append(piece, &error)) << error;
    expected += piece == pieces[1] ? 2 : 1;
    const test::Trace trace = test::ReadTrace(path);
    ASSERT_TRUE(trace.parsed) << trace.error;
    EXPECT_EQ(expected, trace.spans.size());
  }
  EXPECT_EQ("d", test::ReadTrace(path).spans.back().name);
}

TEST_F(TraceTest, UnwritableFileFailsOnceAndStaysFailed) {
  const struct {
    const char* what;
    std::string path;
    const char* reason;
  } cases[] = {
      {"a directory", dir_.path().string(), "Is a directory"},
      {"a missing folder", PathOf("missing/trace.json"),
       "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ZQETraceFile file(c.path);
    std::string error;
    EXPECT_FALSE(file.Append(R"({"ph":"X"})", &error));
    EXPECT_EQ(c.path + " cannot be opened for writing (" + c.reason + ")",
              error);
    EXPECT_TRUE(file.failed());
    error.clear();
    EXPECT_FALSE(file.Append(R"({"ph":"X"})", &error));
    EXPECT_EQ("", error) << "the failure is told once";
  }
}

TEST_F(TraceTest, SpansNestCarryArgumentsAndNameTheirThread) {
  const std::string path = PathOf("spans.json");
  ZQExtensionKit::SetTraceFile(path);
  EXPECT_EQ(path, ZQETrace::GetFile());
  {
    ZQETraceSpan outer("outer", trace_category::kLoad);
    outer.Package("/pkg");
    // Quotes, a backslash, a control character, a valid multi-byte
    // sequence and a byte that is no UTF-8 at all.
    outer.Arg("text", std::string("a\"b\\c\x01\xc3\xa9\xff", 9));
    outer.Number("count", -7);
    // Longer than what a span keeps inline, with an escape across the edge.
    outer.Arg("long", std::string(300, 'x') + "\"" + std::string(300, 'y'));
    {
      ZQETraceSpan inner("inner", trace_category::kLibrary);
      ZQETraceSpan::NotePackageOutcome("refused", "md5");
      inner.Result(false);
    }
    // The explanation went to the package span; a later Result keeps it.
    outer.Result(true, "loaded", "refused");
    ZQETraceSpan ended("ended early", trace_category::kLoad);
    ended.End();
    ended.Outcome("ignored");
  }
  ZQETrace::Flush();

  const test::Trace trace = test::ReadTrace(path);
  ASSERT_TRUE(trace.parsed) << trace.error;
  EXPECT_EQ(std::vector<std::string>{}, test::TraceProblems(trace));
  ASSERT_EQ(3u, trace.spans.size());
  const test::TraceSpan& inner = *trace.Named("inner").at(0);
  const test::TraceSpan& outer = *trace.Named("outer").at(0);
  const test::TraceSpan& ended = *trace.Named("ended early").at(0);
  EXPECT_EQ(&outer, trace.Parent(inner));
  EXPECT_EQ(&outer, trace.Parent(ended));
  EXPECT_EQ("library", inner.category);
  EXPECT_EQ("failed", inner.Arg("outcome"));
  EXPECT_EQ("/pkg", outer.Arg("package"));
  EXPECT_EQ(std::string("a\"b\\c\x01\xc3\xa9\xef\xbf\xbd"), outer.Arg("text"));
  EXPECT_EQ("-7", outer.Arg("count"));
  EXPECT_EQ(std::string(300, 'x') + "\"" + std::string(300, 'y'),
            outer.Arg("long"));
  EXPECT_EQ("refused", outer.Arg("outcome"));
  EXPECT_EQ("md5", outer.Arg("reason"));
  EXPECT_EQ("", ended.Arg("outcome")) << "set after the span ended";
  EXPECT_FALSE(trace.ThreadName(inner.tid).empty());
  EXPECT_FALSE(trace.process_name.empty());
}

TEST_F(TraceTest, OnlySpansOfTheCurrentFileAreWritten) {
  const std::string first = PathOf("first.json");
  const std::string second = PathOf("second.json");
  {
    ZQETraceSpan before("before", trace_category::kLoad);
    EXPECT_FALSE(before.on());
  }
  ZQExtensionKit::SetTraceFile(first);
  {
    ZQETraceSpan crossing("crossing", trace_category::kLoad);
    { ZQETraceSpan written("in first", trace_category::kLoad); }
    ZQExtensionKit::SetTraceFile(second);
    { ZQETraceSpan written("in second", trace_category::kLoad); }
  }
  ZQExtensionKit::SetTraceFile("");
  { ZQETraceSpan after("after", trace_category::kLoad); }

  const auto names = [](const std::string& path) {
    std::vector<std::string> found;
    for (const test::TraceSpan& span : test::ReadTrace(path).spans)
      found.push_back(span.name);
    return found;
  };
  EXPECT_EQ(std::vector<std::string>{"in first"}, names(first));
  EXPECT_EQ(std::vector<std::string>{"in second"}, names(second));
  EXPECT_EQ("", ZQETrace::GetFile());
}

// Whether `done()` came true within ten seconds (the writer thread's work
// is seen from outside).
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 10000 && !done(); ++i)
    usleep(1000);
  return done();
}

TEST_F(TraceTest, FullBufferIsWrittenWithoutAFlush) {
  const std::string path = PathOf("full.json");
  ZQExtensionKit::SetTraceFile(path);
  for (size_t i = 0; i < ZQETrace::kBufferedEvents; ++i)
    ZQETraceSpan span("step", trace_category::kExtension);
  // Spans alone count: the thread's and process's names take no place.
  test::Trace trace;
  EXPECT_TRUE(Eventually([&] {
    trace = test::ReadTrace(path);
    return trace.spans.size() == ZQETrace::kBufferedEvents;
  })) << trace.error;
  EXPECT_EQ(std::vector<std::string>{}, test::TraceProblems(trace));
}

// A span that fills the buffer may end under a lock of the kit's; the
// writer thread never logs: a write that fails is told by the host's next
// flush.
TEST_F(TraceTest, FailedWriteOfAFullBufferIsToldByTheNextFlush) {
  ZQExtensionKit::SetTraceFile(dir_.path().string());
  ClearLog();
  for (size_t i = 0; i < ZQETrace::kBufferedEvents; ++i)
    ZQETraceSpan span("step", trace_category::kExtension);
  EXPECT_TRUE(Eventually([] { return !ZQETrace::enabled(); }))
      << "the write was tried and failed";
  EXPECT_EQ(0u, WriteFailures()) << capture().Dump();
  ZQETrace::Flush();
  EXPECT_EQ(1u, WriteFailures()) << capture().Dump();
  ZQETrace::Flush();
  EXPECT_EQ(1u, WriteFailures());
}

// A forked child does not write into its parent's trace: it starts with
// tracing off; a trace of its own, buffers waiting for the writer thread
// included, is written whole when it exits.
TEST_F(TraceTest, ForkedChildTracesOnlyIntoAFileOfItsOwn) {
  const std::string parent_path = PathOf("parent.json");
  const std::string child_path = PathOf("child.json");
  constexpr size_t kChildSpans = 4 * ZQETrace::kBufferedEvents + 10;
  ZQExtensionKit::SetTraceFile(parent_path);
  { ZQETraceSpan span("before fork", trace_category::kLoad); }
  const pid_t child = fork();
  ASSERT_NE(-1, child);
  if (child == 0) {
    { ZQETraceSpan span("untraced", trace_category::kLoad); }
    if (ZQETrace::enabled())
      _exit(2);
    ZQExtensionKit::SetTraceFile(child_path);
    for (size_t i = 0; i < kChildSpans; ++i)
      ZQETraceSpan span("child", trace_category::kLoad);
    exit(0);  // The trace is written at exit.
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  { ZQETraceSpan span("after fork", trace_category::kLoad); }
  ZQETrace::Flush();

  const test::Trace parent = test::ReadTrace(parent_path);
  ASSERT_TRUE(parent.parsed) << parent.error;
  std::vector<std::string> names;
  for (const test::TraceSpan& span : parent.spans)
    names.push_back(span.name);
  EXPECT_EQ((std::vector<std::string>{"before fork", "after fork"}), names);
  const test::Trace own = test::ReadTrace(child_path);
  ASSERT_TRUE(own.parsed) << own.error;
  EXPECT_EQ(kChildSpans, own.spans.size());
  EXPECT_EQ(std::vector<std::string>{}, test::TraceProblems(own));
}

TEST_F(TraceTest, UnwritableTraceFileIsOneMessageThenTracingIsOff) {
  const std::string paths[] = {dir_.path().string(),
                               PathOf("missing/trace.json")};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    ClearLog();
    ZQExtensionKit::SetTraceFile(path);
    for (int i = 0; i < 3; ++i) {
      { ZQETraceSpan span("step", trace_category::kLoad); }
      ZQETrace::Flush();
    }
    EXPECT_EQ(1u, WriteFailures()) << capture().Dump();
    EXPECT_TRUE(capture().ContainsSubstring(path + " cannot be opened"));
    EXPECT_FALSE(ZQETrace::enabled());
    ZQETraceSpan later("later", trace_category::kLoad);
    EXPECT_FALSE(later.on());
  }
}

}  // namespace
}  // namespace zqextensionkit
