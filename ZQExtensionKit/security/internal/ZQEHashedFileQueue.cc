#include "ZQExtensionKit/security/internal/ZQEHashedFileQueue.h"

#include <dirent.h>
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <exception>
#include <limits>
#include <system_error>
#include <utility>

#include "ZQExtensionKit/trace/internal/ZQETrace.h"

namespace zqextensionkit {

namespace {

// Enough files ahead of the caller to keep every thread busy while the
// caller works through one, with files of different sizes; few enough
// that a large installation holds a handful of descriptors, not one per
// library.
constexpr size_t kFilesOpenPerThread = 4;
constexpr size_t kMaxFilesOpen = 64;
// And never more than this share of the descriptors the process has left:
// the loads themselves, the plug-ins and the host's other threads need
// descriptors too, whatever the soft limit.
constexpr size_t kShareOfFreeDescriptors = 4;

// The descriptors this process may still open: its soft RLIMIT_NOFILE less
// those open now. Unbounded without a limit; the limit itself when the open
// ones cannot be counted (no /proc), and none when even that fails for want
// of a descriptor.
size_t FreeDescriptors() {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 ||
      limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur >= std::numeric_limits<size_t>::max()) {
    return std::numeric_limits<size_t>::max();
  }
  const size_t soft = static_cast<size_t>(limit.rlim_cur);
  DIR* dir = opendir("/proc/self/fd");
  if (!dir)
    return errno == EMFILE || errno == ENFILE ? 0 : soft;
  size_t open = 0;
  while (const dirent* entry = readdir(dir))
    open += entry->d_name[0] != '.';
  closedir(dir);
  if (open > 0)
    --open;  // The directory's own, closed again.
  return soft > open ? soft - open : 0;
}

// The most files `threads` threads keep open ahead (see window()).
size_t WindowFor(size_t threads) {
  const size_t wanted = std::min(threads, kMaxFilesOpen) * kFilesOpenPerThread;
  const size_t spared = FreeDescriptors() / kShareOfFreeDescriptors;
  return std::max<size_t>(1, std::min({wanted, kMaxFilesOpen, spared}));
}

// The cores this process may run on (its affinity mask), or, when that
// cannot be read, the cores online.
size_t UsableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0)
    return static_cast<size_t>(CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

// Open() of `path`; a file whose opening threw (it only allocates) is one
// that could not be hashed.
ZQEHashedFile OpenAndHash(const std::string& path,
                          ZQEHashedFile::Digests digests) {
  ZQETraceSpan span("hash", trace_category::kLibrary);
  span.Arg("library", path);
  try {
    ZQEHashedFile file = ZQEHashedFile::Open(path, digests);
    span.Result(file.ok());
    return file;
  } catch (const std::exception&) {
    return ZQEHashedFile();
  }
}

}  // namespace

// static
size_t ZQEHashedFileQueue::ThreadsFor(size_t setting, size_t files) {
  const size_t cores = UsableCores();
  const size_t allowed = setting == 0 ? cores : std::min(setting, cores);
  return std::max<size_t>(1, std::min(allowed, files));
}

ZQEHashedFileQueue::ZQEHashedFileQueue(std::vector<std::string> paths,
                                       size_t threads,
                                       ZQEHashedFile::Digests digests)
    : slots_(paths.size()), digests_(digests), window_(WindowFor(threads)) {
  for (size_t i = 0; i < paths.size(); ++i)
    slots_[i].path = std::move(paths[i]);
  // A thread with no file to hold ahead would only wait.
  threads = std::min(threads, window_);
  if (threads < 2)
    return;
  // Reserved first: growing the vector cannot throw once a thread runs.
  threads_.reserve(threads);
  for (size_t i = 0; i < threads; ++i) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      break;  // The threads started, or Get(), do the rest.
    }
  }
}

ZQEHashedFileQueue::~ZQEHashedFileQueue() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_)
    thread.join();
}

ZQEHashedFile* ZQEHashedFileQueue::Get(size_t index) {
  std::unique_lock<std::mutex> lock(mutex_);
  Slot& slot = slots_[index];
  if (slot.state == State::kWaiting) {
    // Not started by a thread (the window may be held by files the caller
    // keeps): the caller never waits for a file nobody will hash.
    slot.state = State::kHashing;
    ++open_;
    Hash(index, lock);
  }
  changed_.wait(lock, [&slot] { return slot.state != State::kHashing; });
  return slot.state == State::kHashed ? &slot.file : nullptr;
}

void ZQEHashedFileQueue::Release(size_t index) {
  ZQEHashedFile closing;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = slots_[index];
    changed_.wait(lock, [&slot] { return slot.state != State::kHashing; });
    if (slot.state == State::kReleased)
      return;
    if (slot.state == State::kHashed) {
      closing = std::move(slot.file);
      --open_;
    }
    slot.state = State::kReleased;
  }
  changed_.notify_all();
  // `closing` closes its descriptor here, outside the lock.
}

void ZQEHashedFileQueue::Work() {
  pthread_setname_np(pthread_self(), kThreadName);
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] {
      return stopping_ || !FindWaiting() || open_ < window_;
    });
    if (stopping_ || !FindWaiting())
      return;
    const size_t index = next_++;
    slots_[index].state = State::kHashing;
    ++open_;
    Hash(index, lock);
  }
}

bool ZQEHashedFileQueue::FindWaiting() {
  while (next_ < slots_.size() && slots_[next_].state != State::kWaiting)
    ++next_;
  return next_ < slots_.size();
}

void ZQEHashedFileQueue::Hash(size_t index,
                              std::unique_lock<std::mutex>& lock) {
  // The path is never written after construction; the slot's state keeps
  // everybody else away from its file meanwhile.
  const std::string& path = slots_[index].path;
  lock.unlock();
  ZQEHashedFile file = OpenAndHash(path, digests_);
  lock.lock();
  slots_[index].file = std::move(file);
  slots_[index].state = State::kHashed;
  changed_.notify_all();
}

}  // namespace zqextensionkit
