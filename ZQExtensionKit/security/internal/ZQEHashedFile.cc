#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>

#include <openssl/evp.h>

#include "ZQExtensionKit/security/internal/ZQEOpenSsl.h"

namespace zqextensionkit {

namespace {

constexpr size_t kMd5Length = 16;
constexpr size_t kSha256Length = 32;

// Files are hashed through one buffer of this size. Small reads cost one
// system call per chunk; 64 KiB keeps the file digest at the speed of the
// digest itself, while the memory stays fixed whatever the file size.
constexpr size_t kFileReadChunk = 64 * 1024;

using ScopedEvpMdCtx = openssl::ScopedMdCtx;

// A digest computation of `type`, or null when the engine cannot start one.
ScopedEvpMdCtx StartDigest(const EVP_MD* type) {
  ScopedEvpMdCtx ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), type, nullptr) != 1)
    return nullptr;
  return ctx;
}

// The raw digest of `ctx`, which must be `length` bytes long, or "".
std::string FinishDigest(EVP_MD_CTX* ctx, unsigned int expected_length) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx, digest, &length) != 1 ||
      length != expected_length) {
    return std::string();
  }
  return std::string(reinterpret_cast<const char*>(digest), length);
}

// The raw MD5 of everything `fd` reads from its current offset on into
// *md5, and, when `sha256` is not null, the raw SHA-256 of the same bytes,
// from the same reads, into *sha256. False when a read or the digest engine
// fails.
bool DigestDescriptor(int fd, std::string* md5, std::string* sha256) {
  ScopedEvpMdCtx md5_ctx = StartDigest(EVP_md5());
  ScopedEvpMdCtx sha256_ctx = sha256 ? StartDigest(EVP_sha256()) : nullptr;
  if (!md5_ctx || (sha256 && !sha256_ctx))
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
    const size_t size = static_cast<size_t>(got);
    if (EVP_DigestUpdate(md5_ctx.get(), buffer.get(), size) != 1 ||
        (sha256_ctx &&
         EVP_DigestUpdate(sha256_ctx.get(), buffer.get(), size) != 1)) {
      return false;
    }
  }
  *md5 = FinishDigest(md5_ctx.get(), kMd5Length);
  if (sha256_ctx)
    *sha256 = FinishDigest(sha256_ctx.get(), kSha256Length);
  return !md5->empty() && (!sha256 || !sha256->empty());
}

// The names DynamicLoaderPath() has handed out in this process. 64 bits
// never run out: a process does not load 2^64 libraries.
std::atomic<uint64_t> g_loader_names{0};

constexpr char kLoaderPathPrefix[] = "/proc/self/";
constexpr char kOneDigit[] = "./";
constexpr char kZeroDigit[] = "/";
constexpr char kDescriptorDir[] = "fd/";

// The longest name: 64 binary digits, all ones, and the largest descriptor.
static_assert(sizeof(kLoaderPathPrefix) - 1 + 64 * (sizeof(kOneDigit) - 1) +
                      sizeof(kDescriptorDir) - 1 +
                      std::numeric_limits<int>::digits10 + 1 ==
                  ZQEHashedFile::kMaxDynamicLoaderPathLength,
              "kMaxDynamicLoaderPathLength is the longest loader path");

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
ZQEHashedFile ZQEHashedFile::Open(const std::string& path, Digests digests) {
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
#if defined(POSIX_FADV_SEQUENTIAL)
  posix_fadvise(file.fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  if (!DigestDescriptor(
          file.fd_.get(), &file.raw_md5_,
          digests == Digests::kMd5AndSha256 ? &file.raw_sha256_ : nullptr)) {
    // Unreadable: nothing holds a descriptor for it, and no digest is kept.
    file.fd_.reset();
    file.raw_md5_.clear();
    file.raw_sha256_.clear();
  }
  return file;
}

std::string ZQEHashedFile::md5_text() const {
  return Md5TextOf(raw_md5_);
}

std::string ZQEHashedFile::DynamicLoaderPath() const {
  if (!ok())
    return std::string();
  const uint64_t ordinal =
      g_loader_names.fetch_add(1, std::memory_order_relaxed) + 1;
  std::string path = kLoaderPathPrefix;
  // The digits from the leading one down: "/" and "./" are a prefix code
  // and "fd/" ends the run, so the text gives the ordinal back.
  for (int bit = 63 - __builtin_clzll(ordinal); bit >= 0; --bit)
    path += (ordinal >> bit) & 1 ? kOneDigit : kZeroDigit;
  path += kDescriptorDir;
  path += std::to_string(fd_.get());
  return path;
}

}  // namespace zqextensionkit
