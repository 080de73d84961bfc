#include "base/files/file_util.h"

#include "base/files/internal/scoped_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

namespace base {
inline namespace zqe {

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

  // A FIFO or a device is opened without blocking, then refused below, as is
  // every file that is not regular.
  const ScopedFD scoped_fd = OpenReadOnlyNonBlocking(path.value().c_str());
  if (!scoped_fd.is_valid())
    return false;
  const int fd = scoped_fd.get();

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
