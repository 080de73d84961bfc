// Test support: what this process holds right now: the libraries it has
// mapped, the threads it runs, by name, and the descriptors it has open;
// and a soft RLIMIT_NOFILE lowered for a scope.
//
// Counting every task of the process is unreliable (a sanitizer's runtime
// starts threads of its own whenever it likes), so tests count the threads
// the kit names: a thread that ended, joined or not, is not counted.

#ifndef TESTS_SUPPORT_PROCESSSTATE_H_
#define TESTS_SUPPORT_PROCESSSTATE_H_

#include <dlfcn.h>
#include <sys/resource.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace zqextensionkit {
namespace test {

// The threads of this process named `name` (as /proc shows it: at most 15
// characters) that have not ended.
inline size_t ThreadsNamed(const std::string& name) {
  size_t count = 0;
  std::error_code ec;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/self/task", ec)) {
    std::ifstream comm(task.path() / "comm");
    std::string line;
    count += std::getline(comm, line) && line == name;
  }
  return count;
}

// True while the process has the library at `path` mapped (loading it does
// not count: RTLD_NOLOAD).
inline bool IsMapped(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr)
    return false;
  dlclose(handle);
  return true;
}

// The descriptors this process has open (the one that lists them not
// counted).
inline size_t OpenDescriptors() {
  size_t count = 0;
  std::error_code ec;
  for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end;
       !ec && it != end; it.increment(ec)) {
    ++count;
  }
  return count > 0 ? count - 1 : 0;
}

// Lowers the soft RLIMIT_NOFILE of this process to `soft` (never above the
// hard limit) while it lives; ok() is false when it could not.
class ScopedSoftFileLimit {
 public:
  explicit ScopedSoftFileLimit(rlim_t soft) {
    if (getrlimit(RLIMIT_NOFILE, &saved_) != 0 || soft > saved_.rlim_max)
      return;
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    ok_ = setrlimit(RLIMIT_NOFILE, &lowered) == 0;
  }
  ~ScopedSoftFileLimit() {
    if (ok_)
      setrlimit(RLIMIT_NOFILE, &saved_);
  }
  ScopedSoftFileLimit(const ScopedSoftFileLimit&) = delete;
  ScopedSoftFileLimit& operator=(const ScopedSoftFileLimit&) = delete;

  bool ok() const { return ok_; }

 private:
  rlimit saved_ = {};
  bool ok_ = false;
};

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_PROCESSSTATE_H_
