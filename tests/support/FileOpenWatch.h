// Test support: counts the opens of the files in a few directories, through
// inotify (IN_OPEN), so a test can tell which files a piece of code opened
// and how often. An open through /proc/self/fd/<n> counts as an open of the
// file it names.
//
// The kernel records each open as it happens: once the code under test has
// returned (and any thread it started has been joined), Opens() sees every
// file it opened. Counts are a lower bound: the kernel merges an open into
// the one before it when no other event in the watched directories came in
// between (two opens of one file with another file's open between them
// count twice). Not thread-safe; header-only.
//
//   test::FileOpenWatch watch({package_dir + "/lib"});
//   LoadEverything();
//   EXPECT_EQ(1u, watch.Opens().count(package_dir + "/lib/plugin.so"));

#ifndef TESTS_SUPPORT_FILEOPENWATCH_H_
#define TESTS_SUPPORT_FILEOPENWATCH_H_

#include <errno.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace zqextensionkit {
namespace test {

class FileOpenWatch {
 public:
  // Watches each directory of `dirs` (not their subdirectories). ok() is
  // false when one cannot be watched.
  explicit FileOpenWatch(const std::vector<std::string>& dirs)
      : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    for (const std::string& dir : dirs) {
      const int watch =
          fd_ < 0 ? -1 : inotify_add_watch(fd_, dir.c_str(), IN_OPEN);
      if (watch < 0)
        ok_ = false;
      else
        dirs_[watch] = dir;
    }
  }
  ~FileOpenWatch() {
    if (fd_ >= 0)
      close(fd_);
  }
  FileOpenWatch(const FileOpenWatch&) = delete;
  FileOpenWatch& operator=(const FileOpenWatch&) = delete;

  bool ok() const { return fd_ >= 0 && ok_; }

  // The opens seen since the watch began, by path ("<dir>/<name>").
  // Directories opened themselves are not counted.
  const std::map<std::string, int>& Opens() {
    alignas(inotify_event) char buffer[16 * 1024];
    while (true) {
      const ssize_t got = read(fd_, buffer, sizeof(buffer));
      if (got < 0 && errno == EINTR)
        continue;
      if (got <= 0)
        break;
      for (ssize_t at = 0; at < got;) {
        inotify_event event;
        std::memcpy(&event, buffer + at, sizeof(event));
        if (event.len > 0 && !(event.mask & IN_ISDIR)) {
          const char* name = buffer + at + sizeof(inotify_event);
          ++opens_[dirs_[event.wd] + "/" + name];
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
      }
    }
    return opens_;
  }

 private:
  int fd_;
  bool ok_ = true;
  std::map<int, std::string> dirs_;
  std::map<std::string, int> opens_;
};

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_FILEOPENWATCH_H_
