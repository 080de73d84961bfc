// Test support for tests that would deadlock on a fault: two threads that
// meet at a point, and a runner that fails the process rather than hang.
// Header-only.

#ifndef TESTS_SUPPORT_DEADLOCK_H_
#define TESTS_SUPPORT_DEADLOCK_H_

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>

namespace zqextensionkit {
namespace test {

// Two threads meet here once: each waits (a few seconds at most) until the
// other has arrived, so that both hold whatever they hold at that moment.
class Rendezvous {
 public:
  void Meet(int side) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_[side] = true;
    met_.notify_all();
    met_.wait_for(lock, std::chrono::seconds(5),
                  [&] { return arrived_[1 - side]; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable met_;
  bool arrived_[2] = {false, false};
};

// Runs `body` on its own thread and fails the process when it has not
// returned after 30 seconds: a deadlock must fail the test, not hang it.
inline void RunOrFailOnDeadlock(const std::function<void()>& body) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::thread runner([&] {
    body();
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    finished.notify_all();
  });
  std::unique_lock<std::mutex> lock(mutex);
  if (!finished.wait_for(lock, std::chrono::seconds(30),
                         [&] { return done; })) {
    std::fprintf(stderr, "deadlock: the calls did not finish\n");
    _exit(1);
  }
  lock.unlock();
  runner.join();
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_DEADLOCK_H_
