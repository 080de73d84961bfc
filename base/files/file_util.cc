#include "base/files/file_util.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

bool PathExists(const FilePath& path) {
  return !path.empty() && access(path.value().c_str(), F_OK) == 0;
}

bool ReadFileToString(const FilePath& path, std::string* contents) {
  if (contents)
    contents->clear();
  if (path.empty() || path.ReferencesParent())
    return false;

  int fd;
  do {
    fd = open(path.value().c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0)
    return false;

  bool ok = true;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ok = false;
  } else {
    std::string buffer;
    if (S_ISREG(info.st_mode) && info.st_size > 0)
      buffer.reserve(static_cast<size_t>(info.st_size));
    char chunk[1 << 16];
    while (true) {
      ssize_t read_count = read(fd, chunk, sizeof(chunk));
      if (read_count < 0) {
        if (errno == EINTR)
          continue;
        ok = false;
        break;
      }
      if (read_count == 0)
        break;
      buffer.append(chunk, static_cast<size_t>(read_count));
    }
    if (ok && contents)
      contents->swap(buffer);
  }
  close(fd);
  return ok;
}

}  // namespace base
