// ZQETrace: the kit's start-up trace. When the host names a trace file
// (ZQExtensionKit::SetTraceFile(), or ZQEXT_TRACE read by InitSDK), the
// kit records a span for each step worth seeing (a Load and its phases, each
// library's verification, load and bundle, each extension request and each
// instance it creates, each remote merge) and writes them as complete
// events of the Trace Event Format, with the names of the threads they ran
// on, which Perfetto and chrome://tracing draw as a timeline per thread.
//
// Code marks a step with a ZQETraceSpan on the stack:
//
//   ZQETraceSpan span("manifest", trace_category::kLoad);
//   span.Package(dir);                         // copies only when on
//   if (span.on())
//     span.Arg("id", artifact->GetID());       // built only when on
//   ...
//   return span.Result(parsed);                // "done" or "failed"
//
// While tracing is off a span costs one relaxed atomic load and a few
// stores: no clock, no lock, no allocation. Arguments whose value must be
// computed are guarded by on(). Built with ZQ_TRACE_SPANS=0, spans compile
// to nothing at all (the benchmark measures the kit against such a build).
//
// While tracing is on, a span that ends reads the clock and copies its
// name, times and raw arguments into a buffer under one uncontended lock.
// Turning that into JSON and writing it happens elsewhere, so that the
// trace weighs little on the threads it shows: a full buffer is formatted
// and written by the kit's own writer thread ("zq-tracewriter", started
// the first time a buffer fills), and what is left by the host's flushes
// (ZQExtensionManager::UnInitialize(), SetTraceFile()) and at process exit.
// When the writer falls behind by several buffers, the span that fills the
// next one writes the waiting ones itself rather than let memory grow.
// Steps that follow each other with nothing between share one reading of
// the clock (the constructor that takes the previous span). A span
// still open at exit, or one that began before the trace file changed, is
// dropped. A trace file that cannot be written is one log message; tracing
// then turns itself off and later spans are dropped without a word.
// Nothing here ever fails the host.
//
// Threads: spans may open and close on any thread at once; each ends on
// the thread that opened it, in reverse order of opening (as scopes do).
// SetFile() and Flush() may be called from any thread; they never run
// host or plug-in code under the recorder's locks. A child process made by
// fork() starts with tracing off (the trace file is its parent's); it may
// name a file of its own.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_TRACE_INTERNAL_ZQETRACE_H_
#define ZQEXTENSIONKIT_TRACE_INTERNAL_ZQETRACE_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ZQExtensionKit/trace/internal/ZQETraceRecords.h"

// 1 (the default): spans are compiled in. 0: every span is an empty object.
#ifndef ZQ_TRACE_SPANS
#define ZQ_TRACE_SPANS 1
#endif

namespace zqextensionkit {

// The "cat" of a span: which part of the kit it belongs to.
namespace trace_category {
inline constexpr char kLoad[] = "load";
inline constexpr char kLibrary[] = "library";
inline constexpr char kExtension[] = "extension";
inline constexpr char kRemote[] = "remote";
}  // namespace trace_category

class ZQETraceSpan;

class ZQETrace {
 public:
  // The environment variable InitSDK reads once: a trace file path.
  static constexpr char kEnvironmentVariable[] = "ZQEXT_TRACE";
  // Spans buffered before the buffer is written.
  static constexpr size_t kBufferedEvents = 4096;

  ZQETrace() = delete;

  // Whether spans are being recorded now.
  static bool enabled() { return enabled_.load(std::memory_order_relaxed); }

  // Writes what is buffered for the current file and starts a new trace in
  // `path` (created or truncated when its first events are written); an
  // empty path turns tracing off. Calling it again with the same path
  // starts that file afresh.
  static void SetFile(const std::string& path);
  // The same, but a file that failed is said in *failure (untouched
  // otherwise) rather than logged.
  static void SetFile(const std::string& path, std::string* failure);
  // The current trace file, or "" when tracing is off.
  static std::string GetFile();
  // Writes the buffered spans now, those the writer thread has not
  // written yet included.
  static void Flush();
  // SetFile(getenv(kEnvironmentVariable)) the first time it is called,
  // when the variable is set and not empty; nothing after that.
  static void ReadEnvironmentOnce();

 private:
  friend class ZQETraceSpan;

  // Buffers the span that ends at `end_ns`; a full buffer goes to the
  // writer thread.
  static void Record(ZQETraceSpan& span, int64_t end_ns) noexcept;
  // Writes the buffers waiting for the writer thread, for the writer
  // thread or for a span that found too many waiting: never logs (the span
  // may end under a lock of the kit's) and never throws; a failure is
  // reported by the next Flush() or SetFile().
  static void WriteWaiting() noexcept;
  // The following run with the file's lock held, and set *failure to the
  // reason when the file failed just now.
  // Writes the waiting buffers, oldest first.
  static void WriteWaitingLocked(std::string* failure);
  // Writes the waiting buffers and the one being filled.
  static void FlushLocked(std::string* failure);
  // Writes the buffer taken for writing.
  static void WriteLocked(std::string* failure);
  // The writer thread: started (with the buffer lock held) the first time
  // a buffer fills, ended at exit once what it was given is written.
  static bool StartWriterLocked();
  static void* WriterMain(void*);
  static void WakeWriter();
  static void StopWriter();
  // Writes what is left at exit (or when the kit is unloaded).
  static void FlushAtExit();
  // Handlers of fork(): the recorder's locks are held across it, and the
  // child starts with tracing off.
  static void BeforeFork();
  static void AfterForkInParent();
  static void AfterForkInChild();
  static int64_t NowNs();
  // The generation of the current trace file (0: none).
  static uint64_t generation() {
    return generation_.load(std::memory_order_acquire);
  }

  static std::atomic<bool> enabled_;
  static std::atomic<uint64_t> generation_;
};

#if ZQ_TRACE_SPANS

// One step of the kit, from its construction to End() or its destruction.
// Not copyable; used by the thread that made it.
class ZQETraceSpan {
 public:
  // `name` and `category`: string literals (of fewer than 64 bytes).
  template <size_t NameSize, size_t CategorySize>
  ZQETraceSpan(const char (&name)[NameSize],
               const char (&category)[CategorySize]) {
    static_assert(NameSize < 64 && CategorySize < 64, "a short name");
    if (ZQETrace::enabled())
      Begin(name, NameSize - 1, category, CategorySize - 1);
  }
  // Ends `previous` (a span of this thread) and begins this one at the
  // same instant, with one reading of the clock: for steps that follow
  // each other with nothing between them.
  template <size_t NameSize, size_t CategorySize>
  ZQETraceSpan(const char (&name)[NameSize],
               const char (&category)[CategorySize],
               ZQETraceSpan& previous) {
    static_assert(NameSize < 64 && CategorySize < 64, "a short name");
    if (ZQETrace::enabled()) {
      Follow(previous, name, NameSize - 1, category, CategorySize - 1);
    } else {
      previous.End();
    }
  }
  ~ZQETraceSpan() {
    if (on_)
      End();
  }
  ZQETraceSpan(const ZQETraceSpan&) = delete;
  ZQETraceSpan& operator=(const ZQETraceSpan&) = delete;

  // Whether this span is being recorded: guard arguments that cost
  // something to compute.
  bool on() const { return on_; }

  // Adds an argument (a string, escaped as JSON wants, or a number). `key`
  // must be a string literal.
  void Arg(const char* key, const std::string& value) {
    if (on_)
      AddString(key, value.data(), value.size());
  }
  void Arg(const char* key, const char* value) {
    if (on_ && value)
      AddString(key, value, std::char_traits<char>::length(value));
  }
  void Number(const char* key, int64_t value) {
    if (on_)
      AddNumber(key, value);
  }
  // The span of the package in `dir`: adds it as "package", and the load
  // explanations of the package (ExplainPackage()) set this span's outcome
  // and reason, unless it has one.
  void Package(const std::string& dir) {
    if (on_)
      MarkPackage(dir);
  }
  // Sets the outcome (and why), replacing any earlier one. Both must be
  // string literals or other text that outlives the trace.
  void Outcome(const char* outcome, const char* reason = nullptr) {
    if (on_) {
      outcome_ = outcome;
      reason_ = reason;
    }
  }
  // Sets `done` or `failed` as the outcome unless one is set already;
  // returns `ok`, so that `return span.Result(Step());` reads naturally.
  bool Result(bool ok,
              const char* done = "done",
              const char* failed = "failed") {
    if (on_ && !outcome_)
      outcome_ = ok ? done : failed;
    return ok;
  }

  // Ends the span now instead of at its destruction.
  void End();

  // Sets the outcome of the innermost open package span of this thread
  // (see Package()) unless it has one.
  static void NotePackageOutcome(const char* outcome, const char* reason) {
    if (ZQETrace::enabled())
      SetPackageOutcome(outcome, reason);
  }

 private:
  friend class ZQETrace;

  // Room for the arguments of nearly every span without an allocation.
  static constexpr size_t kInlineArgs = 232;

  void Begin(const char* name,
             size_t name_size,
             const char* category,
             size_t category_size);
  void Follow(ZQETraceSpan& previous,
              const char* name,
              size_t name_size,
              const char* category,
              size_t category_size);
  // Begin() and End() with the clock read.
  void BeginAt(const char* name,
               size_t name_size,
               const char* category,
               size_t category_size,
               int64_t start_ns);
  void EndAt(int64_t end_ns);
  void AddString(const char* key, const char* value, size_t size);
  void AddNumber(const char* key, int64_t value);
  void MarkPackage(const std::string& dir);
  // Appends an argument (its head, then `size` bytes at `data`) to the
  // arguments, in inline_args_ while it fits; throws std::bad_alloc when
  // it does not and there is no memory.
  void AppendArg(const ZQETraceRecords::ArgHead& head,
                 const void* data,
                 size_t size);
  const char* args() const {
    return overflow_ ? overflow_->data() : inline_args_;
  }
  size_t args_size() const {
    return overflow_ ? overflow_->size() : args_size_;
  }
  static void SetPackageOutcome(const char* outcome, const char* reason);

  bool on_ = false;
  // The rest is set by Begin() and read only while on_ (or by Record()).
  bool package_;
  const char* name_;
  const char* category_;
  uint8_t name_size_;
  uint8_t category_size_;
  const char* outcome_;
  const char* reason_;
  int64_t start_ns_;
  uint64_t generation_;
  // The span of this thread that was innermost when this one began.
  ZQETraceSpan* parent_;
  // The arguments so far, raw (each a ZQETraceRecords::ArgHead and its
  // bytes, turned into JSON when written): in inline_args_ while they fit, in
  // *overflow_ after.
  size_t args_size_;
  std::unique_ptr<std::string> overflow_;
  char inline_args_[kInlineArgs];
};

#else  // !ZQ_TRACE_SPANS

class ZQETraceSpan {
 public:
  template <size_t NameSize, size_t CategorySize>
  ZQETraceSpan(const char (&)[NameSize], const char (&)[CategorySize]) {}
  template <size_t NameSize, size_t CategorySize>
  ZQETraceSpan(const char (&)[NameSize],
               const char (&)[CategorySize],
               ZQETraceSpan&) {}
  ZQETraceSpan(const ZQETraceSpan&) = delete;
  ZQETraceSpan& operator=(const ZQETraceSpan&) = delete;
  constexpr bool on() const { return false; }
  void Arg(const char*, const std::string&) {}
  void Arg(const char*, const char*) {}
  void Number(const char*, int64_t) {}
  void Package(const std::string&) {}
  void Outcome(const char*, const char* = nullptr) {}
  bool Result(bool ok, const char* = nullptr, const char* = nullptr) {
    return ok;
  }
  void End() {}
  static void NotePackageOutcome(const char*, const char*) {}
};

#endif  // ZQ_TRACE_SPANS

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_TRACE_INTERNAL_ZQETRACE_H_
