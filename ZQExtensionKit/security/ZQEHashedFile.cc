#include "ZQExtensionKit/security/ZQEHashedFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include <openssl/evp.h>

namespace zqextensionkit {

namespace {

constexpr size_t kMd5Length = 16;

// Files are hashed through one buffer of this size. Small reads cost one
// system call per chunk; 64 KiB keeps the file digest at the speed of the
// digest itself, while the memory stays fixed whatever the file size.
constexpr size_t kFileReadChunk = 64 * 1024;

struct EvpMdCtxDeleter {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using ScopedEvpMdCtx = std::unique_ptr<EVP_MD_CTX, EvpMdCtxDeleter>;

// The raw MD5 of everything `fd` reads from its current offset on, or ""
// when a read or the digest engine fails.
std::string DigestDescriptor(int fd) {
  ScopedEvpMdCtx ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1)
    return std::string();
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kFileReadChunk]);
  while (true) {
    const ssize_t got = read(fd, buffer.get(), kFileReadChunk);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return std::string();
    }
    if (got == 0)
      break;
    if (EVP_DigestUpdate(ctx.get(), buffer.get(), static_cast<size_t>(got)) !=
        1) {
      return std::string();
    }
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1 ||
      length != kMd5Length) {
    return std::string();
  }
  return std::string(reinterpret_cast<const char*>(digest), length);
}

// The files that loader paths handed out so far named, by descriptor
// number. The dynamic loader keeps a library it has loaded under the name it
// was opened with, after the descriptor is closed and even after the library
// is closed when its code asks to stay (or when another handle holds it), so
// a number once given out for one file is never given out for another. The
// table only grows, by at most one entry per descriptor number, and is never
// destroyed (loads may run while the process exits).
class LoaderPathTable {
 public:
  static LoaderPathTable* Get() {
    static LoaderPathTable* table = new LoaderPathTable();
    return table;
  }

  // Claims the name of descriptor `fd` for the file (device, inode): true
  // when the name is free or already names that file.
  bool Claim(int fd, dev_t device, ino_t inode) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto inserted = files_.try_emplace(fd, device, inode);
    return inserted.second ||
           inserted.first->second == std::make_pair(device, inode);
  }

 private:
  std::mutex mutex_;
  std::map<int, std::pair<dev_t, ino_t>> files_;
};

}  // namespace

std::string Md5TextOf(const std::string& raw) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(raw.size() * 2);
  for (char c : raw) {
    const unsigned char byte = static_cast<unsigned char>(c);
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

// static
ZQEHashedFile ZQEHashedFile::Open(const std::string& path) {
  ZQEHashedFile file;
  // open() would stop at an embedded NUL and hash a different file.
  if (path.find('\0') != std::string::npos)
    return file;
  // Only regular files are hashed: a FIFO would block, a device never end.
  file.fd_ = base::OpenReadOnlyNonBlocking(path.c_str());
  if (!file.fd_.is_valid())
    return file;
  struct stat info;
  if (fstat(file.fd_.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    file.fd_.reset();
    return file;
  }
  file.device_ = info.st_dev;
  file.inode_ = info.st_ino;
#if defined(POSIX_FADV_SEQUENTIAL)
  posix_fadvise(file.fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  file.raw_md5_ = DigestDescriptor(file.fd_.get());
  if (file.raw_md5_.empty())
    file.fd_.reset();  // Unreadable: nothing holds a descriptor for it.
  return file;
}

std::string ZQEHashedFile::md5_text() const {
  return Md5TextOf(raw_md5_);
}

std::string ZQEHashedFile::DynamicLoaderPath() {
  if (!ok())
    return std::string();
  LoaderPathTable* table = LoaderPathTable::Get();
  // Each refused number is passed over for a higher one; the table is
  // finite, so a free number comes.
  while (!table->Claim(fd_.get(), device_, inode_)) {
    const int moved = fcntl(fd_.get(), F_DUPFD_CLOEXEC, fd_.get() + 1);
    if (moved < 0)
      return std::string();
    fd_.reset(moved);
  }
  return "/proc/self/fd/" + std::to_string(fd_.get());
}

}  // namespace zqextensionkit
