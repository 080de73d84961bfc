// The start-up trace with several threads at once: spans recorded on many
// threads while the buffer fills, is flushed and the file changes are each
// written once, nested on their own thread, into the file that was current
// while they ran; and a load that verifies its libraries hashes them on the
// pool's threads, which the trace names.

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFileQueue.h"
#include "ZQExtensionKit/trace/internal/ZQETrace.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/Installation.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TraceFileTest.h"
#include "tests/support/TraceReader.h"

namespace zqextensionkit {
namespace {

class TraceConcurrencyTest : public test::TraceFileTest {};

// Each of `threads` threads records `spans` outer spans, each holding an
// inner one, numbered by their argument "n"; `meanwhile` runs on the
// calling thread until they are done.
void RecordOnThreads(int threads,
                     int spans,
                     const std::function<void()>& meanwhile) {
  std::atomic<int> running{threads};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([t, spans, &running] {
      for (int i = 0; i < spans; ++i) {
        ZQETraceSpan outer("outer", trace_category::kExtension);
        outer.Number("n", static_cast<int64_t>(t) * spans + i);
        ZQETraceSpan inner("inner", trace_category::kExtension);
        inner.Number("n", static_cast<int64_t>(t) * spans + i);
      }
      --running;
    });
  }
  while (running > 0)
    meanwhile();
  for (std::thread& worker : workers)
    worker.join();
}

// Full buffers go to the writer thread while the host flushes all the
// time, and while it leaves everything to the writer (which falls behind,
// so that spans write waiting buffers themselves).
TEST_F(TraceConcurrencyTest, SpansOfManyThreadsAreEachWrittenOnce) {
  constexpr int kThreads = 4;
  constexpr int kSpans = 3000;  // 24,000 events: the buffer fills often.
  const std::pair<const char*, std::function<void()>> hosts[] = {
      {"flushing", [] { ZQETrace::Flush(); }},
      {"leaving it to the writer", [] { std::this_thread::yield(); }},
  };
  for (const auto& [label, meanwhile] : hosts) {
    SCOPED_TRACE(label);
    const std::string stable = PathOf(std::string(label) + ".json");
    ZQExtensionKit::SetTraceFile(stable);
    RecordOnThreads(kThreads, kSpans, meanwhile);
    ZQExtensionKit::SetTraceFile("");

    const test::Trace trace = test::ReadTrace(stable);
    ASSERT_TRUE(trace.parsed) << trace.error;
    EXPECT_EQ(std::vector<std::string>{}, test::TraceProblems(trace));
    ASSERT_EQ(2u * kThreads * kSpans, trace.spans.size());
    std::set<std::string> outer;
    std::set<int> tids;
    for (const test::TraceSpan& span : trace.spans) {
      tids.insert(span.tid);
      if (span.name == "outer")
        outer.insert(span.Arg("n"));
    }
    EXPECT_EQ(static_cast<size_t>(kThreads * kSpans), outer.size());
    EXPECT_EQ(static_cast<size_t>(kThreads), tids.size());
    for (int tid : tids)
      EXPECT_FALSE(trace.ThreadName(tid).empty()) << tid;
  }
}

TEST_F(TraceConcurrencyTest, ChangingTheFileWhileThreadsRecordWritesOnce) {
  constexpr int kThreads = 3;
  constexpr int kSpans = 2000;
  constexpr size_t kFiles = 40;
  std::vector<std::string> files;
  RecordOnThreads(kThreads, kSpans, [&] {
    if (files.size() == kFiles) {
      ZQETrace::Flush();
      return;
    }
    files.push_back(PathOf("part" + std::to_string(files.size()) + ".json"));
    ZQExtensionKit::SetTraceFile(files.back());
    std::this_thread::yield();
  });
  ZQExtensionKit::SetTraceFile("");

  // Every file that was written is sound, and no span is in two of them.
  std::set<std::string> seen;
  for (const std::string& file : files) {
    const test::Trace trace = test::ReadTrace(file);
    if (!trace.parsed)
      continue;  // No span ended while it was current.
    EXPECT_EQ(std::vector<std::string>{}, test::TraceProblems(trace)) << file;
    for (const test::TraceSpan& span : trace.spans)
      EXPECT_TRUE(seen.insert(span.name + span.Arg("n")).second) << file;
  }
  EXPECT_LE(seen.size(), 2u * kThreads * kSpans);
}

TEST_F(TraceConcurrencyTest, LibrariesAreHashedOnThePoolsThreads) {
  constexpr int kPackages = 12;
  if (ZQEHashedFileQueue::ThreadsFor(0, kPackages) < 2)
    GTEST_SKIP() << "one core: the load hashes on its own thread";
  test::Installation installation;
  ASSERT_TRUE(installation.ok()) << installation.error();
  const std::string plugin =
      std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kBundleProbePluginFile;
  std::string md5;
  ASSERT_TRUE(ZQEUtility_MD5_File_String(plugin, md5));
  std::string list;
  for (int i = 0; i < kPackages; ++i) {
    const std::string package = "p" + std::to_string(i);
    installation.CopyFile(plugin, "extensions/" + package + "/lib/plugin.so");
    installation.WriteManifest(
        package, R"({"id": ")" + package +
                     R"(", "mainEntry": "lib/plugin.so", "libFileMD5": ")" +
                     md5 + R"("})");
    list += (i ? ", \"" : "\"") + package + "\"";
  }
  installation.WriteAdapterMapping("{}");
  installation.WriteConfig(R"({"artifacts": [)" + list + "]}");

  const std::string path = PathOf("trace.json");
  ZQExtensionKit::SetTraceFile(path);
  ZQExtensionKit::InitSDK();
  ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
  ASSERT_TRUE(manager->SetInstallationDir(installation.dir().string()));
  manager->SetLibFileVerifyEnable(true);
  manager->SetLibFileVerifyThreads(0);
  manager->Load();
  manager->SetLibFileVerifyEnable(false);
  manager->Unload();
  ZQExtensionKit::SetTraceFile("");

  const test::Trace trace = test::ReadTrace(path);
  ASSERT_TRUE(trace.parsed) << trace.error;
  EXPECT_EQ(std::vector<std::string>{}, test::TraceProblems(trace));
  const int loading = trace.Named("Load").at(0)->tid;
  std::set<std::string> hashed;
  size_t on_pool = 0;
  for (const test::TraceSpan* hash : trace.Named("hash")) {
    hashed.insert(hash->Arg("library"));
    // A library the loading thread needs before any pool thread took it
    // is hashed there; every other one on a thread of the pool.
    if (hash->tid != loading) {
      EXPECT_EQ(ZQEHashedFileQueue::kThreadName, trace.ThreadName(hash->tid));
      ++on_pool;
    }
  }
  EXPECT_EQ(static_cast<size_t>(kPackages), hashed.size());
  EXPECT_GT(on_pool, 0u);
  EXPECT_EQ(static_cast<size_t>(kPackages), trace.Named("library").size());
}

}  // namespace
}  // namespace zqextensionkit
