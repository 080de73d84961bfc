#include "ZQExtensionKit/trace/internal/ZQETrace.h"

#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/trace/internal/ZQETraceFile.h"

namespace zqextensionkit {

namespace {

// Buffered events in the file's own text: array elements separated by
// ",\n". Cleared, never shrunk: a buffer that has been filled once records
// without allocating.
struct Buffer {
  std::string text;
  // The spans in `text` (the names of threads and the process not counted).
  size_t events = 0;

  void Reserve() { text.reserve(ZQETrace::kBufferedEvents * 192); }
  void Clear() {
    text.clear();
    events = 0;
  }
};

// What the recorder knows about the calling thread. Constant-initialised
// and trivially destructible: usable on any thread at any time, exit
// included.
struct ThreadState {
  int tid = 0;
  // The generation in which this thread's name was last buffered.
  uint64_t named_generation = 0;
  // The innermost open span of this thread.
  ZQETraceSpan* current = nullptr;
};
thread_local ThreadState t_thread;

// The process-wide recorder: leaked, so that threads still running at exit
// find its locks intact. Lock order: file_mutex before buffer_mutex.
struct Recorder {
  std::mutex file_mutex;
  // Guarded by file_mutex. Null while tracing is off.
  std::unique_ptr<ZQETraceFile> file;
  // Guarded by file_mutex: the buffer being written, kept for its capacity.
  Buffer writing;
  // Guarded by file_mutex: why a write that a full buffer started failed,
  // until a host's call (Flush(), SetFile()) reports it. A span may end
  // under a lock of the kit's, where the host's logger must not run.
  std::string unreported_failure;

  std::mutex buffer_mutex;
  // Guarded by buffer_mutex: the events of the current file not written
  // yet, the process's id and time 0 of the file's events.
  Buffer filling;
  int pid = 0;
  int64_t base_ns = 0;
};

Recorder& TheRecorder() {
  static Recorder* const recorder = new Recorder;
  return *recorder;
}

#if ZQ_TRACE_SPANS
int CurrentTid() {
  if (t_thread.tid == 0)
    t_thread.tid = static_cast<int>(syscall(SYS_gettid));
  return t_thread.tid;
}
#endif

// Calls append(text, size) with `size` bytes of `text` as the contents of
// a JSON string: quotes, backslashes and control characters escaped, and
// every byte that is not part of well-formed UTF-8 written as U+FFFD, so
// the trace is valid JSON whatever a path holds. Runs of plain characters
// go in one call.
template <typename Append>
void AppendEscaped(const char* text, size_t size, Append append) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t run = 0;  // Start of the plain run not yet appended.
  size_t i = 0;
  while (i < size) {
    const unsigned char c = bytes[i];
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      ++i;
      continue;
    }
    // A multi-byte sequence: its length from the lead byte, its second
    // byte's range from the lead byte (no overlong forms, no surrogates,
    // nothing above U+10FFFF), continuation bytes after that.
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      low = c == 0xE0 ? 0xA0 : low;
      high = c == 0xED ? 0x9F : high;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      low = c == 0xF0 ? 0x90 : low;
      high = c == 0xF4 ? 0x8F : high;
    }
    if (length != 0) {
      bool valid =
          i + length <= size && bytes[i + 1] >= low && bytes[i + 1] <= high;
      for (size_t k = 2; valid && k < length; ++k)
        valid = bytes[i + k] >= 0x80 && bytes[i + k] <= 0xBF;
      if (valid) {
        i += length;
        continue;
      }
    }
    append(text + run, i - run);
    char escape[8] = {'\\', 'u', '0', '0', '0', '0', 0, 0};
    size_t escape_size = 6;
    if (c == '"' || c == '\\') {
      escape[1] = static_cast<char>(c);
      escape_size = 2;
    } else if (c == '\n') {
      escape[1] = 'n';
      escape_size = 2;
    } else if (c == '\t') {
      escape[1] = 't';
      escape_size = 2;
    } else if (c < 0x20) {
      static constexpr char kHex[] = "0123456789abcdef";
      escape[4] = kHex[c >> 4];
      escape[5] = kHex[c & 0xF];
    } else {
      std::memcpy(escape, "\\ufffd", 6);
    }
    append(escape, escape_size);
    run = ++i;
  }
  append(text + run, size - run);
}

// Writers into a buffer the caller has made big enough: each returns the
// end of what it wrote.
char* Put(char* out, const char* text, size_t size) {
  std::memcpy(out, text, size);
  return out + size;
}
template <size_t N>
char* Put(char* out, const char (&text)[N]) {
  return Put(out, text, N - 1);
}
// A name or category of the kit's own (a literal): at most 64 bytes.
char* PutName(char* out, const char* name) {
  return Put(out, name, strnlen(name, 64));
}
char* PutInt(char* out, int64_t value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233"
      "34353637383940414243444546474849505152535455565758596061626364656667"
      "6869707172737475767778798081828384858687888990919293949596979899";
  char digits[24];
  char* start = digits + sizeof(digits);
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value)
                                 : static_cast<uint64_t>(value);
  while (magnitude >= 100) {
    const size_t pair = static_cast<size_t>(magnitude % 100) * 2;
    magnitude /= 100;
    *--start = kPairs[pair + 1];
    *--start = kPairs[pair];
  }
  if (magnitude >= 10) {
    *--start = kPairs[magnitude * 2 + 1];
    *--start = kPairs[magnitude * 2];
  } else {
    *--start = static_cast<char>('0' + magnitude);
  }
  if (value < 0)
    *out++ = '-';
  const size_t count = static_cast<size_t>(digits + sizeof(digits) - start);
  std::memcpy(out, start, count);
  return out + count;
}
#if ZQ_TRACE_SPANS
// "<microseconds>.<three digits>": exact, so that spans nested in
// nanoseconds stay nested in the text.
char* PutMicroseconds(char* out, int64_t ns) {
  out = PutInt(out, ns / 1000);
  const int rest = static_cast<int>(ns % 1000);
  *out++ = '.';
  *out++ = static_cast<char>('0' + rest / 100);
  *out++ = static_cast<char>('0' + rest / 10 % 10);
  *out++ = static_cast<char>('0' + rest % 10);
  return out;
}
#endif

// Appends the metadata event `which` ("process_name" or "thread_name") of
// thread `tid` of process `pid`, naming it `name`, to `text`.
void AppendName(std::string* text,
                const char* which,
                int pid,
                int tid,
                const char* name) {
  char head[160];
  char* end = head;
  if (!text->empty())
    end = Put(end, ",\n");
  end = Put(end, "{\"name\":\"");
  end = PutName(end, which);
  end = Put(end, "\",\"ph\":\"M\",\"pid\":");
  end = PutInt(end, pid);
  end = Put(end, ",\"tid\":");
  end = PutInt(end, tid);
  end = Put(end, ",\"args\":{\"name\":\"");
  text->append(head, static_cast<size_t>(end - head));
  AppendEscaped(name, strlen(name), [text](const char* data, size_t size) {
    text->append(data, size);
  });
  text->append("\"}}");
}

void LogFailure(const std::string& failure) {
  ZQELogService::GetInstance()->LogMessage(
      0, "trace - write trace file failed, because of %s", failure.c_str());
}

// Writes what is left at exit and ends the trace: spans still open on
// other threads are dropped. The host's logger may be destroyed by now (it
// is host code with static parts of its own), so a failure goes to
// standard error, in the words the log would have had.
void FlushAtExit() {
  std::string failure;
  ZQETrace::SetFile(std::string(), &failure);
  if (!failure.empty()) {
    fprintf(stderr,
            "[ZQExtensionKit] trace - write trace file failed, because of "
            "%s\n",
            failure.c_str());
  }
}

}  // namespace

std::atomic<bool> ZQETrace::enabled_{false};
std::atomic<uint64_t> ZQETrace::generation_{0};

// static
void ZQETrace::SetFile(const std::string& path) {
  std::string failure;
  SetFile(path, &failure);
  if (!failure.empty())
    LogFailure(failure);
}

// static
void ZQETrace::SetFile(const std::string& path, std::string* failure) {
  Recorder& recorder = TheRecorder();
  {
    std::lock_guard<std::mutex> file_lock(recorder.file_mutex);
    FlushLocked(failure);
    if (failure->empty())
      failure->swap(recorder.unreported_failure);
    std::lock_guard<std::mutex> lock(recorder.buffer_mutex);
    recorder.filling.Clear();
    // Before the new generation: every span of it starts after.
    recorder.base_ns = NowNs();
    recorder.pid = static_cast<int>(getpid());
    if (!path.empty()) {
      // The file's first element; written with the first span. The
      // buffer's room is made once, when tracing first turns on; without
      // it the buffer grows as it fills.
      try {
        if (recorder.filling.text.capacity() < ZQETrace::kBufferedEvents)
          recorder.filling.Reserve();
        AppendName(&recorder.filling.text, "process_name", recorder.pid,
                   recorder.pid, program_invocation_short_name);
      } catch (...) {
        recorder.filling.Clear();  // Out of memory: the process is unnamed.
      }
    }
    // Spans that began before are dropped when they end.
    generation_.fetch_add(1, std::memory_order_acq_rel);
    enabled_.store(!path.empty(), std::memory_order_relaxed);
    try {
      recorder.file =
          path.empty() ? nullptr : std::make_unique<ZQETraceFile>(path);
    } catch (...) {
      // Out of memory: no trace, and the host is told as for any file
      // that cannot be written.
      recorder.file.reset();
      enabled_.store(false, std::memory_order_relaxed);
      try {
        *failure = path + " cannot be opened for writing (out of memory)";
      } catch (...) {
      }
    }
  }
  if (!path.empty()) {
    static std::once_flag at_exit;
    std::call_once(at_exit, [] { atexit(FlushAtExit); });
  }
}

// static
std::string ZQETrace::GetFile() {
  Recorder& recorder = TheRecorder();
  std::lock_guard<std::mutex> lock(recorder.file_mutex);
  return recorder.file && enabled() ? recorder.file->path() : std::string();
}

// static
void ZQETrace::Flush() {
  Recorder& recorder = TheRecorder();
  std::string failure;
  {
    std::lock_guard<std::mutex> lock(recorder.file_mutex);
    FlushLocked(&failure);
    if (failure.empty())
      failure.swap(recorder.unreported_failure);
  }
  if (!failure.empty())
    LogFailure(failure);
}

// static
void ZQETrace::FlushFull() noexcept {
  Recorder& recorder = TheRecorder();
  try {
    std::string failure;
    std::lock_guard<std::mutex> lock(recorder.file_mutex);
    FlushLocked(&failure);
    if (recorder.unreported_failure.empty())
      recorder.unreported_failure.swap(failure);
  } catch (...) {
    // Out of memory: the buffered spans are lost, the kit goes on.
  }
}

// static
void ZQETrace::FlushLocked(std::string* failure) {
  Recorder& recorder = TheRecorder();
  {
    std::lock_guard<std::mutex> lock(recorder.buffer_mutex);
    // Names alone are not worth a file.
    if (recorder.filling.events == 0)
      return;
    std::swap(recorder.writing, recorder.filling);
    recorder.filling.Clear();
  }
  if (recorder.file && !recorder.file->failed()) {
    // Writing is a cancellation point: a thread cancelled there would
    // leave the recorder's lock held.
    int cancel_state = 0;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancel_state);
    if (!recorder.file->Append(recorder.writing.text, failure)) {
      // Later spans could only be dropped: stop recording them.
      std::lock_guard<std::mutex> lock(recorder.buffer_mutex);
      enabled_.store(false, std::memory_order_relaxed);
      recorder.filling.Clear();
    }
    pthread_setcancelstate(cancel_state, nullptr);
  }
  recorder.writing.Clear();
}

// static
void ZQETrace::ReadEnvironmentOnce() {
  static std::once_flag read;
  std::call_once(read, [] {
    const char* path = getenv(kEnvironmentVariable);
    if (path && *path)
      SetFile(path);
  });
}

// static
int64_t ZQETrace::NowNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

#if ZQ_TRACE_SPANS

// static
void ZQETrace::Record(ZQETraceSpan& span, int64_t end_ns) noexcept {
  Recorder& recorder = TheRecorder();
  const int tid = CurrentTid();
  bool full = false;
  {
    std::lock_guard<std::mutex> lock(recorder.buffer_mutex);
    const uint64_t current = generation_.load(std::memory_order_relaxed);
    if (span.generation_ != current || !enabled())
      return;
    std::string& text = recorder.filling.text;
    const size_t before = text.size();
    try {
      if (t_thread.named_generation != current) {
        char name[64] = {};
        pthread_getname_np(pthread_self(), name, sizeof(name));
        AppendName(&text, "thread_name", recorder.pid, tid, name);
      }
      // The head: at most two names of 64 bytes and four numbers of 21.
      char head[320];
      char* end = head;
      if (!text.empty())
        end = Put(end, ",\n");
      end = Put(end, "{\"name\":\"");
      end = Put(end, span.name_, span.name_size_);
      end = Put(end, "\",\"cat\":\"");
      end = Put(end, span.category_, span.category_size_);
      end = Put(end, "\",\"ph\":\"X\",\"pid\":");
      end = PutInt(end, recorder.pid);
      end = Put(end, ",\"tid\":");
      end = PutInt(end, tid);
      end = Put(end, ",\"ts\":");
      end = PutMicroseconds(end, span.start_ns_ - recorder.base_ns);
      end = Put(end, ",\"dur\":");
      end = PutMicroseconds(end, end_ns - span.start_ns_);
      end = Put(end, ",\"args\":{");
      text.append(head, static_cast<size_t>(end - head));
      text.append(span.args(), span.args_size());
      // The outcome and reason (the kit's own words: nothing to escape).
      char tail[192];
      end = tail;
      bool members = span.args_size() != 0;
      for (const auto& [key, value] :
           {std::make_pair("outcome", span.outcome_),
            std::make_pair("reason", span.reason_)}) {
        if (!value)
          continue;
        if (members)
          *end++ = ',';
        *end++ = '"';
        end = PutName(end, key);
        end = Put(end, "\":\"");
        end = PutName(end, value);
        *end++ = '"';
        members = true;
      }
      end = Put(end, "}}");
      text.append(tail, static_cast<size_t>(end - tail));
    } catch (...) {
      // Out of memory: the span is lost, the kit goes on.
      text.resize(before);
      return;
    }
    t_thread.named_generation = current;
    full = ++recorder.filling.events >= kBufferedEvents;
  }
  if (full)
    FlushFull();
}

void ZQETraceSpan::Begin(const char* name,
                         size_t name_size,
                         const char* category,
                         size_t category_size) {
  on_ = true;
  package_ = false;
  name_ = name;
  category_ = category;
  name_size_ = static_cast<uint8_t>(name_size);
  category_size_ = static_cast<uint8_t>(category_size);
  outcome_ = nullptr;
  reason_ = nullptr;
  args_size_ = 0;
  generation_ = ZQETrace::generation();
  parent_ = t_thread.current;
  t_thread.current = this;
  start_ns_ = ZQETrace::NowNs();
}

void ZQETraceSpan::End() {
  if (!on_)
    return;
  const int64_t end_ns = ZQETrace::NowNs();
  on_ = false;
  if (t_thread.current == this) {
    t_thread.current = parent_;
  } else {
    // Ended before a span opened after it: unlink it from the middle.
    for (ZQETraceSpan* span = t_thread.current; span; span = span->parent_) {
      if (span->parent_ == this) {
        span->parent_ = parent_;
        break;
      }
    }
  }
  ZQETrace::Record(*this, end_ns);
}

void ZQETraceSpan::AppendArgs(const char* text, size_t size) {
  if (!overflow_ && size <= kInlineArgs - args_size_) {
    std::memcpy(inline_args_ + args_size_, text, size);
    args_size_ += size;
    return;
  }
  if (!overflow_)
    overflow_ = std::make_unique<std::string>(inline_args_, args_size_);
  overflow_->append(text, size);
}

void ZQETraceSpan::TruncateArgs(size_t size) {
  if (overflow_)
    overflow_->resize(size);
  else
    args_size_ = size;
}

void ZQETraceSpan::AddString(const char* key, const char* value, size_t size) {
  const size_t before = args_size();
  try {
    char head[80];
    char* end = head;
    if (before != 0)
      *end++ = ',';
    *end++ = '"';
    end = PutName(end, key);
    end = Put(end, "\":\"");
    AppendArgs(head, static_cast<size_t>(end - head));
    AppendEscaped(value, size, [this](const char* data, size_t count) {
      AppendArgs(data, count);
    });
    AppendArgs("\"", 1);
  } catch (...) {
    TruncateArgs(before);  // Out of memory: the argument is left out.
  }
}

void ZQETraceSpan::AddNumber(const char* key, int64_t value) {
  const size_t before = args_size();
  try {
    char head[112];
    char* end = head;
    if (before != 0)
      *end++ = ',';
    *end++ = '"';
    end = PutName(end, key);
    end = Put(end, "\":");
    end = PutInt(end, value);
    AppendArgs(head, static_cast<size_t>(end - head));
  } catch (...) {
    TruncateArgs(before);  // Out of memory: the argument is left out.
  }
}

void ZQETraceSpan::MarkPackage(const std::string& dir) {
  package_ = true;
  AddString("package", dir.data(), dir.size());
}

// static
void ZQETraceSpan::SetPackageOutcome(const char* outcome, const char* reason) {
  for (ZQETraceSpan* span = t_thread.current; span; span = span->parent_) {
    if (!span->package_)
      continue;
    if (!span->outcome_) {
      span->outcome_ = outcome;
      span->reason_ = reason;
    }
    return;
  }
}

#else  // !ZQ_TRACE_SPANS

// static
void ZQETrace::Record(ZQETraceSpan&, int64_t) noexcept {}

#endif  // ZQ_TRACE_SPANS

}  // namespace zqextensionkit
