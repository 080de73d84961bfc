#include "base/files/file_util.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

namespace base {
inline namespace zqe {

namespace {

class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0)
      close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool PathExists(const FilePath& path) {
  return !path.empty() && access(path.value().c_str(), F_OK) == 0;
}

bool ReadFileToString(const FilePath& path, std::string* contents) {
  return ReadFileToStringWithMaxSize(path, contents,
                                     std::numeric_limits<size_t>::max());
}

bool ReadFileToStringWithMaxSize(const FilePath& path,
                                 std::string* contents,
                                 size_t max_size) {
  if (contents)
    contents->clear();
  if (path.empty() || path.ReferencesParent())
    return false;

  // O_NONBLOCK: opening a FIFO with no writer must not hang the caller; the
  // descriptor is refused below anyway, as is every file that is not regular.
  int fd;
  do {
    fd = open(path.value().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0)
    return false;
  ScopedFd scoped_fd(fd);

  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    return false;
  const size_t size_hint = static_cast<size_t>(info.st_size);
  if (size_hint > max_size)
    return false;

  std::string buffer;
  buffer.reserve(size_hint);
  char chunk[1 << 16];
  while (true) {
    const ssize_t read_count = read(fd, chunk, sizeof(chunk));
    if (read_count < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    if (read_count == 0)
      break;
    // The file may have grown since fstat(): the bound holds for what is
    // actually read.
    if (static_cast<size_t>(read_count) > max_size - buffer.size())
      return false;
    buffer.append(chunk, static_cast<size_t>(read_count));
  }
  if (contents)
    contents->swap(buffer);
  return true;
}

}  // namespace zqe
}  // namespace base
