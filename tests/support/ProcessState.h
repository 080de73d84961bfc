// Test support: what this process holds right now: the libraries it has
// mapped and the threads it runs, by name.
//
// Counting every task of the process is unreliable (a sanitizer's runtime
// starts threads of its own whenever it likes), so tests count the threads
// the kit names: a thread that ended, joined or not, is not counted.

#ifndef TESTS_SUPPORT_PROCESSSTATE_H_
#define TESTS_SUPPORT_PROCESSSTATE_H_

#include <dlfcn.h>

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

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_PROCESSSTATE_H_
