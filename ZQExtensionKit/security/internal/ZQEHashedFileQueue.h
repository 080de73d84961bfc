// ZQEHashedFileQueue: files opened and hashed ahead of their use by a few
// threads, for a caller that takes them one after the other in list order
// (the bundle manager, verifying the entry libraries of a whole load).
//
// The queue is given a list of paths. Its threads open and hash them
// (ZQEHashedFile::Open) in list order, each taking the next file that
// nobody has started, while the caller takes the files in turn with Get()
// and hands each back with Release() once it is done with it. The threads
// run at most a few files ahead: no more than window() files are open at a
// time (being hashed, hashed, or handed out and not yet released), so a
// list of a thousand libraries never holds a thousand descriptors, and a
// process near its soft RLIMIT_NOFILE keeps most of what it has left.
//
// Get() of a file that no thread has started opens and hashes it on the
// calling thread. With fewer than two threads asked for, no thread is
// started and every file is opened by Get(), when it is asked for, as a
// plain loop would open it. A file released before anybody started on it
// is never opened.
//
// Failure: a file that cannot be opened, is not a regular file or cannot be
// read to its end comes back as Open() returns it, with ok() false; so does
// a file whose opening threw (out of memory). A thread that cannot be
// started leaves its share to the others, or to Get(). Nothing is logged.
//
// Threads: one thread uses the queue (Get, Release and the destructor). The
// destructor stops the queue's threads and joins them: a file being hashed
// is finished, none is started after. No thread outlives the queue. The
// queue's threads are named kThreadName, so that a debugger, top or a test
// can tell them apart.
//
//   ZQEHashedFileQueue queue(paths, ZQEHashedFileQueue::ThreadsFor(0, n));
//   for (size_t i = 0; i < queue.size(); ++i) {
//     if (ZQEHashedFile* file = queue.Get(i))
//       Use(file);
//     queue.Release(i);
//   }
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEHASHEDFILEQUEUE_H_
#define ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEHASHEDFILEQUEUE_H_

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"

namespace zqextensionkit {

class ZQEHashedFileQueue {
 public:
  static constexpr char kThreadName[] = "zq-libverify";

  // The number of threads worth starting for `files` files when the host
  // allows `setting` threads (0: one per core): at most one per core this
  // process may run on and one per file, at least one.
  static size_t ThreadsFor(size_t setting, size_t files);

  // Starts hashing `paths` on `threads` threads (capped at window()), each
  // file for `digests`; with fewer than two threads, starts none.
  ZQEHashedFileQueue(
      std::vector<std::string> paths,
      size_t threads,
      ZQEHashedFile::Digests digests = ZQEHashedFile::Digests::kMd5);
  ZQEHashedFileQueue(const ZQEHashedFileQueue&) = delete;
  ZQEHashedFileQueue& operator=(const ZQEHashedFileQueue&) = delete;
  // Joins the threads and closes every file not yet released.
  ~ZQEHashedFileQueue();

  size_t size() const { return slots_.size(); }
  // The threads started.
  size_t threads() const { return threads_.size(); }
  // The most files open at a time, whatever the caller has not released
  // included: four per thread, at most 64, and at most a quarter of the
  // descriptors the process had left when the queue was made (its soft
  // RLIMIT_NOFILE less the descriptors then open); at least one. The
  // threads stop there; a file the caller asks for is opened even beyond
  // it, as a plain loop would open it.
  size_t window() const { return window_; }

  // The file at `index`, opened and hashed: waits while a thread hashes it,
  // or opens and hashes it here when none has started. The queue owns the
  // file; it stays valid, and used by this thread only, until
  // Release(index). Null once released.
  ZQEHashedFile* Get(size_t index);
  // Closes the file at `index` (waiting while a thread hashes it), or, when
  // nobody has started on it, makes sure it is never opened. Frees its
  // place in the window. Releasing twice does nothing more.
  void Release(size_t index);

 private:
  enum class State { kWaiting, kHashing, kHashed, kReleased };
  struct Slot {
    std::string path;
    State state = State::kWaiting;
    ZQEHashedFile file;
  };

  // A thread's loop: hashes the next waiting file while the window allows.
  void Work();
  // Whether a slot at or after `next_` waits, moving `next_` to it.
  // Called with `mutex_` held.
  bool FindWaiting();
  // Opens and hashes slots_[index], which the caller has marked kHashing,
  // with `lock` released meanwhile.
  void Hash(size_t index, std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  // Signalled whenever a slot is hashed or released, and on stopping.
  std::condition_variable changed_;
  // Sized once. Guarded by mutex_: each slot's state, and its file until
  // it is hashed; a hashed file handed out is the caller's until released.
  std::vector<Slot> slots_;
  // Guarded by mutex_. No slot before it is waiting.
  size_t next_ = 0;
  // Guarded by mutex_. Slots being hashed or hashed, not yet released.
  size_t open_ = 0;
  // Guarded by mutex_. Set by the destructor: no thread starts a file.
  bool stopping_ = false;
  const ZQEHashedFile::Digests digests_;
  size_t window_ = 1;
  std::vector<std::thread> threads_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEHASHEDFILEQUEUE_H_
