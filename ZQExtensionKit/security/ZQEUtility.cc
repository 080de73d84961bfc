#include "ZQExtensionKit/security/ZQEUtility.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
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

// Replaces `md5` with the lower-case hex text of the raw digest `raw`.
void RawToText(const std::string& raw, std::string& md5) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(raw.size() * 2);
  for (char c : raw) {
    const unsigned char byte = static_cast<unsigned char>(c);
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  md5 = std::move(text);
}

}  // namespace

bool ZQEUtility_MD5_Hex(const std::string& content, std::string& md5) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(content.data(), content.size(), digest, &length, EVP_md5(),
                 nullptr) != 1 ||
      length != kMd5Length) {
    return false;
  }
  md5.assign(reinterpret_cast<const char*>(digest), length);
  return true;
}

bool ZQEUtility_MD5_String(const std::string& content, std::string& md5) {
  std::string raw;
  if (!ZQEUtility_MD5_Hex(content, raw))
    return false;
  RawToText(raw, md5);
  return true;
}

bool ZQEUtility_MD5_File_Hex(const std::string& file, std::string& md5) {
  // open() would stop at an embedded NUL and hash a different file.
  if (file.find('\0') != std::string::npos)
    return false;

  int fd;
  do {
    // O_NONBLOCK: a FIFO with no writer must not hang verification; only
    // regular files are hashed (a device would never end).
    fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0)
    return false;
  ScopedFd scoped_fd(fd);
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    return false;
#if defined(POSIX_FADV_SEQUENTIAL)
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif

  ScopedEvpMdCtx ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1)
    return false;

  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kFileReadChunk]);
  while (true) {
    const ssize_t got = read(fd, buffer.get(), kFileReadChunk);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    if (got == 0)
      break;
    if (EVP_DigestUpdate(ctx.get(), buffer.get(), static_cast<size_t>(got)) !=
        1) {
      return false;
    }
  }

  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1 ||
      length != kMd5Length) {
    return false;
  }
  md5.assign(reinterpret_cast<const char*>(digest), length);
  return true;
}

bool ZQEUtility_MD5_File_String(const std::string& file, std::string& md5) {
  std::string raw;
  if (!ZQEUtility_MD5_File_Hex(file, raw))
    return false;
  RawToText(raw, md5);
  return true;
}

}  // namespace zqextensionkit
