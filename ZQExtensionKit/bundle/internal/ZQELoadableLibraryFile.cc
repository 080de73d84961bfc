#include "ZQExtensionKit/bundle/internal/ZQELoadableLibraryFile.h"

#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "base/files/internal/scoped_file.h"

namespace zqextensionkit {

namespace {

// Reads exactly `size` bytes at `offset`; false on a short read or error.
bool ReadAt(int fd, void* buffer, size_t size, off_t offset) {
  char* out = static_cast<char*>(buffer);
  while (size > 0) {
    const ssize_t got = pread(fd, out, size, offset);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return false;
    out += got;
    size -= static_cast<size_t>(got);
    offset += got;
  }
  return true;
}

}  // namespace

bool IsLoadableLibraryFile(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    return false;
  const uint64_t file_size = static_cast<uint64_t>(info.st_size);
  Elf64_Ehdr header;
  if (file_size < sizeof(header))
    return true;  // Too short to be mapped at all.
  if (!ReadAt(fd, &header, sizeof(header), 0))
    return false;
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64) {
    return true;
  }
  if (header.e_phentsize != sizeof(Elf64_Phdr))
    return true;  // The loader refuses it.
  const uint64_t headers_end =
      header.e_phoff + uint64_t{header.e_phnum} * sizeof(Elf64_Phdr);
  if (header.e_phoff > file_size || headers_end > file_size)
    return false;
  // One read for the whole table: its size is bounded by the file's.
  std::vector<Elf64_Phdr> segments(header.e_phnum);
  if (!ReadAt(fd, segments.data(), segments.size() * sizeof(Elf64_Phdr),
              static_cast<off_t>(header.e_phoff))) {
    return false;
  }
  for (const Elf64_Phdr& segment : segments) {
    if (segment.p_type != PT_LOAD)
      continue;
    if (segment.p_offset > file_size ||
        segment.p_filesz > file_size - segment.p_offset) {
      return false;
    }
  }
  return true;
}

bool IsLoadableLibraryFile(const std::string& path) {
  const base::ScopedFD fd = base::OpenReadOnlyNonBlocking(path.c_str());
  if (!fd.is_valid())
    return true;  // The dynamic loader reports what is wrong with it.
  return IsLoadableLibraryFile(fd.get());
}

}  // namespace zqextensionkit
