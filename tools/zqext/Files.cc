#include "tools/zqext/Files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/internal/scoped_file.h"

namespace zqext {

namespace {

bool Fail(const std::string& path,
          const std::string& reason,
          std::string* error) {
  *error = path + ": " + reason;
  return false;
}

}  // namespace

bool ReadFile(const std::string& path,
              size_t max_size,
              std::string* content,
              std::string* error) {
  // The file is read the way the kit reads its files, which refuses paths
  // with a ".." component: the path it is given is the resolved one, which
  // names the same file (a link's target, a parent of the real directory).
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr)
    return Fail(path, std::strerror(errno), error);
  const base::FilePath real(resolved);
  free(resolved);
  std::string text;
  if (base::ReadFileToStringWithMaxSize(real, &text, max_size)) {
    *content = std::move(text);
    return true;
  }
  // Why not, for the message; the file may have changed since, so the
  // questions are asked again.
  struct stat info;
  if (stat(real.value().c_str(), &info) != 0)
    return Fail(path, std::strerror(errno), error);
  if (!S_ISREG(info.st_mode))
    return Fail(path, "not a regular file", error);
  const std::string larger =
      "larger than " + std::to_string(max_size) + " bytes";
  if (static_cast<uintmax_t>(info.st_size) > max_size)
    return Fail(path, larger, error);
  if (!base::OpenReadOnlyNonBlocking(real.value().c_str()).is_valid())
    return Fail(path, std::strerror(errno), error);
  // Opens and fits: it grew while it was read, or a read failed.
  return Fail(path, larger + " or unreadable", error);
}

bool WriteFile(const std::string& path,
               const std::string& content,
               unsigned mode,
               std::string* error) {
  std::string temp = path + ".zqext-XXXXXX";
  base::ScopedFD fd(mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0)
    return Fail(
        path,
        std::string("cannot create a file beside it: ") + std::strerror(errno),
        error);
  const mode_t mask = umask(0);
  umask(mask);
  int failure = WriteAllAndClose(fd.release(), mode & ~mask, content);
  if (failure == 0 && rename(temp.c_str(), path.c_str()) != 0)
    failure = errno;
  if (failure == 0)
    return true;
  unlink(temp.c_str());
  return Fail(path, std::strerror(failure), error);
}

int WriteAllAndClose(int fd, unsigned mode, const std::string& content) {
  int failure = fchmod(fd, static_cast<mode_t>(mode)) == 0 ? 0 : errno;
  size_t written = 0;
  while (failure == 0 && written < content.size()) {
    const ssize_t count =
        write(fd, content.data() + written, content.size() - written);
    if (count < 0 && errno != EINTR)
      failure = errno;
    else if (count > 0)
      written += static_cast<size_t>(count);
  }
  if (close(fd) != 0 && failure == 0)
    failure = errno;
  return failure;
}

}  // namespace zqext
