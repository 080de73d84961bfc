#include "ZQExtensionKit/trace/internal/ZQETrace.h"

#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/trace/internal/ZQETraceFile.h"

namespace zqextensionkit {

namespace {

// One buffered event: a span, or (name null) the name of a thread.
struct Event {
  const char* name;
  const char* category;
  int tid;
  int64_t start_ns;
  int64_t dur_ns;
  // A span's arguments as JSON members; a thread's name as JSON string
  // contents.
  std::string args;
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
  // Guarded by file_mutex: whether the file names the process yet.
  bool process_named = false;
  // Guarded by file_mutex: the buffer being written, kept for its capacity.
  std::vector<Event> writing;

  std::mutex buffer_mutex;
  // Guarded by buffer_mutex.
  std::vector<Event> events;
};

Recorder& TheRecorder() {
  static Recorder* const recorder = new Recorder;
  return *recorder;
}

int CurrentTid() {
  if (t_thread.tid == 0)
    t_thread.tid = static_cast<int>(syscall(SYS_gettid));
  return t_thread.tid;
}

// Appends `size` bytes of `text` to `out` as the contents of a JSON
// string: quotes, backslashes and control characters escaped, and every
// byte that is not part of well-formed UTF-8 written as U+FFFD, so the
// trace is valid JSON whatever a path holds.
void AppendEscaped(std::string* out, const char* text, size_t size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < size) {
    const unsigned char c = bytes[i];
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      out->push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    if (c < 0x80) {
      switch (c) {
        case '"':
          *out += "\\\"";
          break;
        case '\\':
          *out += "\\\\";
          break;
        case '\n':
          *out += "\\n";
          break;
        case '\t':
          *out += "\\t";
          break;
        default: {
          char escape[8];
          snprintf(escape, sizeof(escape), "\\u%04x", c);
          *out += escape;
        }
      }
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
      if (c == 0xE0)
        low = 0xA0;
      else if (c == 0xED)
        high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0)
        low = 0x90;
      else if (c == 0xF4)
        high = 0x8F;
    }
    bool valid = length != 0 && i + length <= size && bytes[i + 1] >= low &&
                 bytes[i + 1] <= high;
    for (size_t k = 2; valid && k < length; ++k)
      valid = bytes[i + k] >= 0x80 && bytes[i + k] <= 0xBF;
    if (!valid) {
      *out += "\\ufffd";
      ++i;
      continue;
    }
    out->append(text + i, length);
    i += length;
  }
}

// "<microseconds>.<three digits>": exact, so that spans nested in
// nanoseconds stay nested in the text.
void AppendMicroseconds(std::string* out, int64_t ns) {
  char text[32];
  snprintf(text, sizeof(text), "%" PRId64 ".%03d", ns / 1000,
           static_cast<int>(ns % 1000));
  *out += text;
}

// The events as the file's array elements, separated by ",\n"; with
// `name_process`, the process's name first.
std::string Format(const std::vector<Event>& events, bool name_process) {
  const int pid = static_cast<int>(getpid());
  std::string text;
  text.reserve(events.size() * 200 + 128);
  char head[160];
  if (name_process) {
    snprintf(head, sizeof(head),
             "{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":%d,\"tid\":%d,"
             "\"args\":{\"name\":\"",
             pid, pid);
    text += head;
    AppendEscaped(&text, program_invocation_short_name,
                  strlen(program_invocation_short_name));
    text += "\"}}";
  }
  for (const Event& event : events) {
    if (!text.empty())
      text += ",\n";
    if (!event.name) {
      snprintf(head, sizeof(head),
               "{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":%d,\"tid\":%d,"
               "\"args\":{\"name\":\"",
               pid, event.tid);
      text += head;
      text += event.args;
      text += "\"}}";
      continue;
    }
    snprintf(head, sizeof(head),
             "{\"name\":\"%s\",\"cat\":\"%s\",\"ph\":\"X\",\"pid\":%d,"
             "\"tid\":%d,\"ts\":",
             event.name, event.category, pid, event.tid);
    text += head;
    AppendMicroseconds(&text, event.start_ns);
    text += ",\"dur\":";
    AppendMicroseconds(&text, event.dur_ns);
    text += ",\"args\":{";
    text += event.args;
    text += "}}";
  }
  return text;
}

void LogFailure(const std::string& failure) {
  ZQELogService::GetInstance()->LogMessage(
      0, "trace - write trace file failed, because of %s", failure.c_str());
}

// Writes what is left at exit and ends the trace: spans still open on
// other threads are dropped.
void FlushAtExit() {
  ZQETrace::SetFile(std::string());
}

}  // namespace

std::atomic<bool> ZQETrace::enabled_{false};
std::atomic<uint64_t> ZQETrace::generation_{0};

// static
void ZQETrace::SetFile(const std::string& path) {
  Recorder& recorder = TheRecorder();
  std::string failure;
  {
    std::lock_guard<std::mutex> file_lock(recorder.file_mutex);
    FlushLocked(&failure);
    {
      std::lock_guard<std::mutex> lock(recorder.buffer_mutex);
      recorder.events.clear();
      // Spans that began before are dropped when they end.
      generation_.fetch_add(1, std::memory_order_acq_rel);
      enabled_.store(!path.empty(), std::memory_order_relaxed);
    }
    recorder.file =
        path.empty() ? nullptr : std::make_unique<ZQETraceFile>(path);
    recorder.process_named = false;
  }
  if (!path.empty()) {
    static std::once_flag at_exit;
    std::call_once(at_exit, [] { atexit(FlushAtExit); });
  }
  if (!failure.empty())
    LogFailure(failure);
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
  }
  if (!failure.empty())
    LogFailure(failure);
}

// static
void ZQETrace::FlushLocked(std::string* failure) {
  Recorder& recorder = TheRecorder();
  {
    std::lock_guard<std::mutex> lock(recorder.buffer_mutex);
    recorder.writing.swap(recorder.events);
  }
  if (recorder.writing.empty())
    return;
  if (recorder.file && !recorder.file->failed()) {
    // Writing is a cancellation point: a thread cancelled there would
    // leave the recorder's lock held.
    int cancel_state = 0;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancel_state);
    const std::string text = Format(recorder.writing, !recorder.process_named);
    recorder.process_named = true;
    if (!recorder.file->Append(text, failure)) {
      // Later spans could only be dropped: stop recording them.
      std::lock_guard<std::mutex> lock(recorder.buffer_mutex);
      enabled_.store(false, std::memory_order_relaxed);
      recorder.events.clear();
    }
    pthread_setcancelstate(cancel_state, nullptr);
  }
  recorder.writing.clear();
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
  bool full = false;
  try {
    Event event{span.name_,     span.category_,          CurrentTid(),
                span.start_ns_, end_ns - span.start_ns_, std::move(span.args_)};
    std::lock_guard<std::mutex> lock(recorder.buffer_mutex);
    const uint64_t current = generation_.load(std::memory_order_relaxed);
    if (span.generation_ != current || !enabled())
      return;
    if (t_thread.named_generation != current) {
      char name[64] = {};
      pthread_getname_np(pthread_self(), name, sizeof(name));
      std::string escaped;
      AppendEscaped(&escaped, name, strlen(name));
      recorder.events.push_back(
          Event{nullptr, nullptr, event.tid, 0, 0, std::move(escaped)});
      t_thread.named_generation = current;
    }
    recorder.events.push_back(std::move(event));
    full = recorder.events.size() >= kBufferedEvents;
  } catch (...) {
    // Out of memory: the span is lost, the kit goes on.
    return;
  }
  if (full)
    Flush();
}

void ZQETraceSpan::Begin(const char* name, const char* category) {
  on_ = true;
  package_ = false;
  name_ = name;
  category_ = category;
  outcome_ = nullptr;
  reason_ = nullptr;
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
  try {
    if (outcome_)
      AddString("outcome", outcome_, strlen(outcome_));
    if (reason_)
      AddString("reason", reason_, strlen(reason_));
  } catch (...) {
    return;
  }
  ZQETrace::Record(*this, end_ns);
}

void ZQETraceSpan::AddString(const char* key, const char* value, size_t size) {
  if (!args_.empty())
    args_ += ',';
  args_ += '"';
  args_ += key;
  args_ += "\":\"";
  AppendEscaped(&args_, value, size);
  args_ += '"';
}

void ZQETraceSpan::AddNumber(const char* key, int64_t value) {
  char text[32];
  snprintf(text, sizeof(text), "%" PRId64, value);
  if (!args_.empty())
    args_ += ',';
  args_ += '"';
  args_ += key;
  args_ += "\":";
  args_ += text;
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
