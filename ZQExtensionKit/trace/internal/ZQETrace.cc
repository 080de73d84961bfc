#include "ZQExtensionKit/trace/internal/ZQETrace.h"

#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/trace/internal/ZQETraceFile.h"
#include "ZQExtensionKit/trace/internal/ZQETraceRecords.h"

namespace zqextensionkit {

namespace {

using Bytes = ZQETraceRecords::Bytes;
using RecordHead = ZQETraceRecords::Head;
using RecordKind = ZQETraceRecords::Kind;

// Buffered events, raw: records as Record() copies them, turned into JSON
// when written. Cleared, never shrunk: a buffer that has been filled once
// records without allocating.
struct Buffer {
  Bytes bytes;
  // The spans in `bytes` (the names of threads and the process not
  // counted).
  size_t events = 0;

  void Clear() {
    bytes.Clear();
    events = 0;
  }
};

// Full buffers that may wait for the writer thread: more, and the span
// that fills the next buffer writes them itself.
constexpr size_t kWaitingBuffers = 3;

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

// A lock for the few instructions a span holds it (and the writer thread,
// to take a full buffer): taking it free is one atomic exchange and
// releasing it one store, about half of what a mutex costs, on the path
// of every span. A thread that finds it held spins briefly, then yields.
class SpinLock {
 public:
  void lock() {
    int spins = 0;
    while (held_.exchange(true, std::memory_order_acquire)) {
      while (held_.load(std::memory_order_relaxed)) {
        if (++spins < 100)
          __builtin_ia32_pause();
        else
          sched_yield();
      }
    }
  }
  void unlock() { held_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> held_{false};
};

// The process-wide recorder: leaked, so that threads still running at exit
// find its locks intact. Lock order: file_mutex, wake_mutex, buffer_lock.
struct Recorder {
  std::mutex file_mutex;
  // Guarded by file_mutex. Null while tracing is off.
  std::unique_ptr<ZQETraceFile> file;
  // Guarded by file_mutex: the buffer being written, and its JSON; kept
  // for their capacity.
  Buffer writing;
  Bytes text;
  // Guarded by file_mutex: the process's id and time 0 of the file's
  // events.
  int pid = 0;
  int64_t base_ns = 0;
  // Guarded by file_mutex: why a write that a full buffer started failed,
  // until a host's call (Flush(), SetFile()) reports it. A span may end
  // under a lock of the kit's, where the host's logger must not run.
  std::string unreported_failure;

  SpinLock buffer_lock;
  // Guarded by buffer_lock: the buffer being filled, and the full ones
  // waiting to be written, oldest first (a ring of waiting_count buffers
  // from first_waiting), all of the current file.
  Buffer filling;
  Buffer waiting[kWaitingBuffers];
  size_t first_waiting = 0;
  size_t waiting_count = 0;
  // Guarded by buffer_lock: the writer thread, once started; `stopping`
  // from exit on (later full buffers are written where they fill).
  pthread_t writer{};
  bool writer_started = false;
  bool stopping = false;
  // The writer thread sleeps on wake_writer with wake_mutex until there
  // is a waiting buffer or it is stopping. Whoever changes either takes
  // wake_mutex after, and then notifies: the writer cannot miss it.
  std::mutex wake_mutex;
  std::condition_variable wake_writer;

  // With buffer_lock held: the waiting buffers are dropped.
  void DropWaiting() {
    for (Buffer& buffer : waiting)
      buffer.Clear();
    first_waiting = 0;
    waiting_count = 0;
  }
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

void LogFailure(const std::string& failure) {
  ZQELogService::GetInstance()->LogMessage(
      0, "trace - write trace file failed, because of %s", failure.c_str());
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
    std::unique_ptr<ZQETraceFile> file;
    try {
      if (!path.empty())
        file = std::make_unique<ZQETraceFile>(path);
    } catch (...) {
      // Out of memory: no trace, and the host is told as for any file
      // that cannot be written.
      try {
        *failure = path + " cannot be opened for writing (out of memory)";
      } catch (...) {
      }
    }
    // Turning tracing off gives the buffers' memory back: they are freed
    // with these, once the buffer lock is released.
    Buffer released[kWaitingBuffers + 1];
    if (!file) {
      recorder.writing = Buffer();
      recorder.text = Bytes();
    }
    std::lock_guard<SpinLock> lock(recorder.buffer_lock);
    // What spans of the old file filled since the flush is dropped with
    // them.
    recorder.filling.Clear();
    recorder.DropWaiting();
    if (!file) {
      std::swap(released[0], recorder.filling);
      for (size_t i = 0; i < kWaitingBuffers; ++i)
        std::swap(released[i + 1], recorder.waiting[i]);
    }
    // Before the new generation: every span of it starts after.
    recorder.base_ns = NowNs();
    recorder.pid = static_cast<int>(getpid());
    if (file) {
      // The file's first element; written with the first span. The
      // buffer's room is made once, when tracing first turns on; without
      // it the buffer grows as it fills.
      try {
        recorder.filling.bytes.Room(kBufferedEvents * 160);
        const char* name = program_invocation_short_name;
        RecordHead head{};
        head.kind = RecordKind::kProcessName;
        ZQETraceRecords::Append(&recorder.filling.bytes, head, name,
                                strlen(name));
      } catch (...) {
        recorder.filling.Clear();  // Out of memory: the process is unnamed.
      }
    }
    // Spans that began before are dropped when they end.
    generation_.fetch_add(1, std::memory_order_acq_rel);
    enabled_.store(file != nullptr, std::memory_order_relaxed);
    // The old file is closed once the buffer lock is released.
    std::swap(recorder.file, file);
  }
  if (!path.empty()) {
    static std::once_flag at_exit;
    std::call_once(at_exit, [] {
      atexit(FlushAtExit);
      pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild);
    });
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
void ZQETrace::WriteWaiting() noexcept {
  Recorder& recorder = TheRecorder();
  try {
    std::string failure;
    std::lock_guard<std::mutex> lock(recorder.file_mutex);
    WriteWaitingLocked(&failure);
    if (recorder.unreported_failure.empty())
      recorder.unreported_failure.swap(failure);
  } catch (...) {
    // Out of memory: the buffered spans are lost, the kit goes on.
  }
}

// static
void ZQETrace::WriteWaitingLocked(std::string* failure) {
  Recorder& recorder = TheRecorder();
  for (;;) {
    {
      std::lock_guard<SpinLock> lock(recorder.buffer_lock);
      if (recorder.waiting_count == 0)
        return;
      std::swap(recorder.writing, recorder.waiting[recorder.first_waiting]);
      recorder.first_waiting = (recorder.first_waiting + 1) % kWaitingBuffers;
      --recorder.waiting_count;
    }
    WriteLocked(failure);
  }
}

// static
void ZQETrace::FlushLocked(std::string* failure) {
  Recorder& recorder = TheRecorder();
  WriteWaitingLocked(failure);
  {
    std::lock_guard<SpinLock> lock(recorder.buffer_lock);
    // Names alone are not worth a file.
    if (recorder.filling.events == 0)
      return;
    std::swap(recorder.writing, recorder.filling);
    recorder.filling.Clear();
  }
  WriteLocked(failure);
}

// static
void ZQETrace::WriteLocked(std::string* failure) {
  Recorder& recorder = TheRecorder();
  if (recorder.file && !recorder.file->failed()) {
    // Writing is a cancellation point: a thread cancelled there would
    // leave the recorder's lock held.
    int cancel_state = 0;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancel_state);
    try {
      ZQETraceRecords::Format(recorder.writing.bytes, recorder.pid,
                              recorder.base_ns, &recorder.text);
    } catch (...) {
      recorder.text.Clear();  // Out of memory: these spans are lost.
    }
    if (!recorder.file->Append(recorder.text.data(), recorder.text.size(),
                               failure)) {
      // Later spans could only be dropped: stop recording them.
      std::lock_guard<SpinLock> lock(recorder.buffer_lock);
      enabled_.store(false, std::memory_order_relaxed);
      recorder.filling.Clear();
      recorder.DropWaiting();
    }
    pthread_setcancelstate(cancel_state, nullptr);
  }
  recorder.writing.Clear();
}

// static
void* ZQETrace::WriterMain(void*) {
  pthread_setname_np(pthread_self(), "zq-tracewriter");
  Recorder& recorder = TheRecorder();
  const auto has_work = [&recorder] {
    std::lock_guard<SpinLock> lock(recorder.buffer_lock);
    return recorder.waiting_count != 0 || recorder.stopping;
  };
  const auto has_buffers = [&recorder] {
    std::lock_guard<SpinLock> lock(recorder.buffer_lock);
    return recorder.waiting_count != 0;
  };
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(recorder.wake_mutex);
      recorder.wake_writer.wait(lock, has_work);
    }
    // Stopping: ends once what it was given is written.
    if (!has_buffers())
      return nullptr;
    WriteWaiting();
  }
}

// static
void ZQETrace::WakeWriter() {
  Recorder& recorder = TheRecorder();
  { std::lock_guard<std::mutex> lock(recorder.wake_mutex); }
  recorder.wake_writer.notify_all();
}

// static
bool ZQETrace::StartWriterLocked() {
  Recorder& recorder = TheRecorder();
  if (recorder.writer_started || recorder.stopping)
    return recorder.writer_started;
  // The host's signals are never delivered to the kit's thread.
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  recorder.writer_started =
      pthread_create(&recorder.writer, nullptr, WriterMain, nullptr) == 0;
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return recorder.writer_started;
}

// static
void ZQETrace::StopWriter() {
  Recorder& recorder = TheRecorder();
  pthread_t writer;
  {
    std::lock_guard<SpinLock> lock(recorder.buffer_lock);
    recorder.stopping = true;
    if (!recorder.writer_started)
      return;
    recorder.writer_started = false;
    writer = recorder.writer;
  }
  WakeWriter();
  if (!pthread_equal(writer, pthread_self()))
    pthread_join(writer, nullptr);
}

// static
void ZQETrace::FlushAtExit() {
  // Spans still open on other threads are dropped. The host's logger may
  // be destroyed by now (it is host code with static parts of its own), so
  // a failure goes to standard error, in the words the log would have had.
  StopWriter();
  std::string failure;
  SetFile(std::string(), &failure);
  if (!failure.empty()) {
    fprintf(stderr,
            "[ZQExtensionKit] trace - write trace file failed, because of "
            "%s\n",
            failure.c_str());
  }
}

// static
void ZQETrace::BeforeFork() {
  Recorder& recorder = TheRecorder();
  recorder.file_mutex.lock();
  recorder.wake_mutex.lock();
  recorder.buffer_lock.lock();
}

// static
void ZQETrace::AfterForkInParent() {
  Recorder& recorder = TheRecorder();
  recorder.buffer_lock.unlock();
  recorder.wake_mutex.unlock();
  recorder.file_mutex.unlock();
}

// static
void ZQETrace::AfterForkInChild() {
  // The child has no writer thread, and the trace file is its parent's:
  // the child starts untraced, with nothing buffered.
  Recorder& recorder = TheRecorder();
  recorder.writer_started = false;
  recorder.filling.Clear();
  recorder.DropWaiting();
  recorder.unreported_failure.clear();
  recorder.file.reset();
  enabled_.store(false, std::memory_order_relaxed);
  generation_.fetch_add(1, std::memory_order_acq_rel);
  // The parent's writer may have been waiting on the condition: the
  // child's is new (the old one is left as it is, never destroyed).
  new (&recorder.wake_writer) std::condition_variable();
  recorder.buffer_lock.unlock();
  recorder.wake_mutex.unlock();
  recorder.file_mutex.unlock();
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
  bool wake_writer = false;
  bool write_here = false;
  {
    std::lock_guard<SpinLock> lock(recorder.buffer_lock);
    const uint64_t current = generation_.load(std::memory_order_relaxed);
    if (span.generation_ != current || !enabled())
      return;
    Buffer& filling = recorder.filling;
    const size_t before = filling.bytes.size();
    try {
      if (t_thread.named_generation != current) {
        char name[64] = {};
        pthread_getname_np(pthread_self(), name, sizeof(name));
        RecordHead head{};
        head.kind = RecordKind::kThreadName;
        head.tid = tid;
        ZQETraceRecords::Append(&filling.bytes, head, name, strlen(name));
      }
      RecordHead head{};
      head.kind = RecordKind::kSpan;
      head.name_size = span.name_size_;
      head.category_size = span.category_size_;
      head.tid = tid;
      head.name = span.name_;
      head.category = span.category_;
      head.outcome = span.outcome_;
      head.reason = span.reason_;
      head.start_ns = span.start_ns_;
      head.end_ns = end_ns;
      ZQETraceRecords::Append(&filling.bytes, head, span.args(),
                              span.args_size());
    } catch (...) {
      // Out of memory: the span is lost, the kit goes on.
      filling.bytes.Truncate(before);
      return;
    }
    t_thread.named_generation = current;
    if (++filling.events < kBufferedEvents)
      return;
    // Full: it waits for the writer thread, in a buffer that has been
    // written before and so has room.
    const bool room = recorder.waiting_count < kWaitingBuffers;
    if (room) {
      std::swap(
          filling,
          recorder.waiting[(recorder.first_waiting + recorder.waiting_count) %
                           kWaitingBuffers]);
      ++recorder.waiting_count;
      filling.Clear();
    }
    const bool writer = StartWriterLocked();
    wake_writer = room && writer;
    write_here = !room || !writer;
  }
  if (wake_writer)
    WakeWriter();
  if (write_here)
    WriteWaiting();
}

void ZQETraceSpan::Begin(const char* name,
                         size_t name_size,
                         const char* category,
                         size_t category_size) {
  BeginAt(name, name_size, category, category_size, ZQETrace::NowNs());
}

void ZQETraceSpan::Follow(ZQETraceSpan& previous,
                          const char* name,
                          size_t name_size,
                          const char* category,
                          size_t category_size) {
  const int64_t now = ZQETrace::NowNs();
  if (previous.on_)
    previous.EndAt(now);
  BeginAt(name, name_size, category, category_size, now);
}

void ZQETraceSpan::BeginAt(const char* name,
                           size_t name_size,
                           const char* category,
                           size_t category_size,
                           int64_t start_ns) {
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
  start_ns_ = start_ns;
}

void ZQETraceSpan::End() {
  if (on_)
    EndAt(ZQETrace::NowNs());
}

void ZQETraceSpan::EndAt(int64_t end_ns) {
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

void ZQETraceSpan::AppendArg(const ZQETraceRecords::ArgHead& head,
                             const void* data,
                             size_t size) {
  if (!overflow_ && sizeof(head) + size <= kInlineArgs - args_size_) {
    std::memcpy(inline_args_ + args_size_, &head, sizeof(head));
    std::memcpy(inline_args_ + args_size_ + sizeof(head), data, size);
    args_size_ += sizeof(head) + size;
    return;
  }
  if (!overflow_)
    overflow_ = std::make_unique<std::string>(inline_args_, args_size_);
  const size_t before = overflow_->size();
  try {
    overflow_->append(reinterpret_cast<const char*>(&head), sizeof(head));
    overflow_->append(static_cast<const char*>(data), size);
  } catch (...) {
    overflow_->resize(before);
    throw;
  }
}

void ZQETraceSpan::AddString(const char* key, const char* value, size_t size) {
  // A value of 4 GiB or more is cut short (where the trace has no use for
  // the rest).
  const uint32_t kept = static_cast<uint32_t>(
      std::min<size_t>(size, ZQETraceRecords::kNumber - 1));
  try {
    AppendArg(ZQETraceRecords::ArgHead{key, kept}, value, kept);
  } catch (...) {
    // Out of memory: the argument is left out.
  }
}

void ZQETraceSpan::AddNumber(const char* key, int64_t value) {
  try {
    AppendArg(ZQETraceRecords::ArgHead{key, ZQETraceRecords::kNumber}, &value,
              sizeof(value));
  } catch (...) {
    // Out of memory: the argument is left out.
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
