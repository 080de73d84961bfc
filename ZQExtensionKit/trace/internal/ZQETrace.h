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
// Spans are buffered and written when the buffer fills, when the host
// flushes (ZQExtensionManager::UnInitialize(), SetTraceFile()), and at
// process exit. A span still open at exit, or one that began before the
// trace file changed, is dropped. A trace file that cannot be written is
// one log message; tracing then turns itself off and later spans are
// dropped without a word. Nothing here ever fails the host.
//
// Threads: spans may open and close on any thread at once; each ends on
// the thread that opened it, in reverse order of opening (as scopes do).
// SetFile() and Flush() may be called from any thread; they never run
// host or plug-in code under the recorder's locks.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_TRACE_INTERNAL_ZQETRACE_H_
#define ZQEXTENSIONKIT_TRACE_INTERNAL_ZQETRACE_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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
  // Writes the buffered spans now.
  static void Flush();
  // SetFile(getenv(kEnvironmentVariable)) the first time it is called,
  // when the variable is set and not empty; nothing after that.
  static void ReadEnvironmentOnce();

 private:
  friend class ZQETraceSpan;

  // Buffers the span that ends at `end_ns`, writing the buffer when full.
  static void Record(ZQETraceSpan& span, int64_t end_ns) noexcept;
  // Writes the full buffer for the span that filled it: never logs (the
  // span may end under a lock of the kit's) and never throws; a failure is
  // reported by the next Flush() or SetFile().
  static void FlushFull() noexcept;
  // Writes what is buffered to the current file; with the file's lock
  // held. Sets *failure to the reason when the file failed just now.
  static void FlushLocked(std::string* failure);
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
  void AddString(const char* key, const char* value, size_t size);
  void AddNumber(const char* key, int64_t value);
  void MarkPackage(const std::string& dir);
  // Appends JSON text to the arguments, in inline_args_ while it fits;
  // throws std::bad_alloc when it does not and there is no memory.
  void AppendArgs(const char* text, size_t size);
  // Drops what the arguments gained after they were `size` bytes long.
  void TruncateArgs(size_t size);
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
  // The arguments so far, as JSON members without the braces: in
  // inline_args_ while they fit, in *overflow_ after.
  size_t args_size_;
  std::unique_ptr<std::string> overflow_;
  char inline_args_[kInlineArgs];
};

#else  // !ZQ_TRACE_SPANS

class ZQETraceSpan {
 public:
  template <size_t NameSize, size_t CategorySize>
  ZQETraceSpan(const char (&)[NameSize], const char (&)[CategorySize]) {}
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
