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
// end through one fixed-size buffer. The object is movable, not copyable,
// and closes its descriptor when destroyed. Files may be opened and hashed
// on several threads at once (each object by one thread at a time), and
// DynamicLoaderPath() may be called from any thread.
//
// Failure: ok() is false when the path holds a NUL byte, cannot be opened,
// is not a regular file or cannot be read to the end; nothing is logged
// here.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_SECURITY_ZQEHASHEDFILE_H_
#define ZQEXTENSIONKIT_SECURITY_ZQEHASHEDFILE_H_

#include <sys/types.h>

#include <string>

#include "base/files/scoped_file.h"

namespace zqextensionkit {

// The MD5 text (32 lower-case hex digits, first byte first) of the raw
// digest `raw`.
std::string Md5TextOf(const std::string& raw);

class ZQEHashedFile {
 public:
  // Opens and hashes the file at `path`.
  static ZQEHashedFile Open(const std::string& path);

  ZQEHashedFile() = default;
  ZQEHashedFile(ZQEHashedFile&& other) noexcept = default;
  ZQEHashedFile& operator=(ZQEHashedFile&& other) noexcept = default;

  // Opened, a regular file, and read to the end: the digest is valid.
  bool ok() const { return fd_.is_valid() && !raw_md5_.empty(); }
  // The 16 raw digest bytes; empty unless ok().
  const std::string& raw_md5() const { return raw_md5_; }
  // The MD5 text (32 lower-case hex digits); empty unless ok().
  std::string md5_text() const;
  // The open descriptor (owned by this object), or -1. Read it with
  // pread(): it stays at the end of the file.
  int descriptor() const { return fd_.get(); }

  // A path under which the dynamic loader opens this very file, through the
  // descriptor ("/proc/self/fd/<n>"): valid while this object lives, and
  // never one under which the kit has loaded another file before (the
  // dynamic loader recognises a library it holds by the name it was opened
  // with, so a reused descriptor number would hand back the earlier
  // library). The kit never hands out one number for two files, so the
  // descriptor may move to another number first. Empty unless ok(), or when
  // no descriptor is left.
  std::string DynamicLoaderPath();

 private:
  base::ScopedFD fd_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  std::string raw_md5_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_ZQEHASHEDFILE_H_
