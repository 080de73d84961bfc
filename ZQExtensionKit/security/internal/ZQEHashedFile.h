// ZQEHashedFile: a file opened once and hashed through that open descriptor,
// which it keeps. Whatever later reads the file through the descriptor (the
// dynamic loader, given DynamicLoaderPath()) reads the very bytes that were
// hashed, even if the path has since been given to another file: a library
// that another file is renamed over, or that is deleted and written anew,
// between its check and its load is never the one loaded. (A write into the
// same file, rather than a replacement of it, changes what the descriptor
// reads as well; package files are replaced, not edited in place.)
//
// Open() is the one producer: it opens the path read-only, close-on-exec and
// without blocking, refuses anything but a regular file, and reads it to the
// end through one fixed-size buffer, feeding each chunk to the MD5 and, when
// asked, to a SHA-256 as well: both digests come from one pass over the
// same bytes, so the file is read once. The object holds that one descriptor
// and no other: it is movable, not copyable, and closes the descriptor when
// destroyed. Files may be opened and hashed on several threads at once
// (each object by one thread at a time), and DynamicLoaderPath() may be
// called from any thread.
//
// Failure: ok() is false when the path holds a NUL byte, cannot be opened,
// is not a regular file or cannot be read to the end; nothing is logged
// here.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEHASHEDFILE_H_
#define ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEHASHEDFILE_H_

#include <cstddef>
#include <string>

#include "base/files/internal/scoped_file.h"

namespace zqextensionkit {

// The lower-case hex text of the raw digest `raw`, two digits a byte, first
// byte first: for an MD5 its 32-digit text, for a SHA-256 64 digits.
std::string Md5TextOf(const std::string& raw);

class ZQEHashedFile {
 public:
  // The digests Open() computes.
  enum class Digests { kMd5, kMd5AndSha256 };

  // Opens and hashes the file at `path`.
  static ZQEHashedFile Open(const std::string& path,
                            Digests digests = Digests::kMd5);

  ZQEHashedFile() = default;
  ZQEHashedFile(ZQEHashedFile&& other) noexcept = default;
  ZQEHashedFile& operator=(ZQEHashedFile&& other) noexcept = default;

  // Opened, a regular file, and read to the end: the digest is valid.
  bool ok() const { return fd_.is_valid() && !raw_md5_.empty(); }
  // The 16 raw digest bytes; empty unless ok().
  const std::string& raw_md5() const { return raw_md5_; }
  // The MD5 text (32 lower-case hex digits); empty unless ok().
  std::string md5_text() const;
  // The 32 raw SHA-256 bytes, from the same pass as the MD5; empty unless
  // ok() and Open() was asked for Digests::kMd5AndSha256.
  const std::string& raw_sha256() const { return raw_sha256_; }
  // The open descriptor (owned by this object), or -1. Read it with
  // pread(): it stays at the end of the file.
  int descriptor() const { return fd_.get(); }

  // A path under which the dynamic loader opens this very file, through
  // the descriptor this object holds (nothing is duplicated or moved):
  // "/proc/self/", then a run of "./" and "/" components, which the kernel
  // skips, then "fd/<n>". The run spells the call's ordinal in the process
  // (1, 2, 3, ...) in binary, most significant digit first, "./" for a one
  // and "/" for a zero: so no two calls in the process return the same
  // name, whatever the descriptor's number, and every name begins with
  // "/proc/self/./", which no other code writes for a descriptor. The
  // dynamic loader knows a library it holds by the name it was opened with:
  // a library loaded under this name is never handed back for another file,
  // neither to the kit, which reuses descriptor numbers freely, nor to
  // other code that loads a file through "/proc/self/fd/<n>". At most
  // kMaxDynamicLoaderPathLength characters, and at most 104 for the first
  // 2^40 names. Valid while this object lives; empty unless ok().
  static constexpr size_t kMaxDynamicLoaderPathLength = 152;
  std::string DynamicLoaderPath() const;

 private:
  base::ScopedFD fd_;
  std::string raw_md5_;
  std::string raw_sha256_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEHASHEDFILE_H_
