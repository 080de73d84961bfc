// base::ScopedFD owns one file descriptor and closes it when it goes, on
// reset() or when another is moved in. Move-only; one object is used by one
// thread at a time. OpenReadOnlyNonBlocking() is how the kit opens every
// file it only reads.
//
// Internal header: hosts never include it.

#ifndef BASE_FILES_INTERNAL_SCOPED_FILE_H_
#define BASE_FILES_INTERNAL_SCOPED_FILE_H_

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace base {
inline namespace zqe {

class ScopedFD {
 public:
  ScopedFD() = default;
  explicit ScopedFD(int fd) : fd_(fd) {}
  ScopedFD(ScopedFD&& other) noexcept : fd_(other.release()) {}
  ScopedFD& operator=(ScopedFD&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ScopedFD(const ScopedFD&) = delete;
  ScopedFD& operator=(const ScopedFD&) = delete;
  ~ScopedFD() { reset(); }

  int get() const { return fd_; }
  bool is_valid() const { return fd_ >= 0; }
  // Gives up ownership without closing.
  int release() { return std::exchange(fd_, -1); }
  // Closes the descriptor held (a close error is ignored: nothing was
  // written through it that could be lost) and takes `fd`.
  void reset(int fd = -1) {
    if (fd_ >= 0 && fd_ != fd)
      close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// Opens `path` read-only and close-on-exec, retrying an interrupted open.
// Without blocking: opening a FIFO with no writer (or a device that waits)
// must not hang the caller, who checks with fstat() what it opened. Not
// valid on failure, with errno set.
inline ScopedFD OpenReadOnlyNonBlocking(const char* path) {
  int fd;
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  return ScopedFD(fd);
}

}  // namespace zqe
}  // namespace base

#endif  // BASE_FILES_INTERNAL_SCOPED_FILE_H_
