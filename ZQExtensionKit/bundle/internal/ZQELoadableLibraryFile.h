// Whether a library file can be handed to the dynamic loader without
// harming the process. The loader maps each loadable segment of a shared
// object straight from the file and reads it while relocating, without
// checking that the file reaches that far: a library cut short (an
// interrupted copy, a full disk) takes the whole process down with SIGBUS
// inside dlopen. And it opens the file blocking, so a FIFO put where a
// library belongs would hang the host. The bundle manager asks this first
// and refuses such a file as one that fails to load.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_BUNDLE_INTERNAL_ZQELOADABLELIBRARYFILE_H_
#define ZQEXTENSIONKIT_BUNDLE_INTERNAL_ZQELOADABLELIBRARYFILE_H_

#include <string>

namespace zqextensionkit {

// False when the file open as `fd` is not a regular file, or is a 64-bit
// ELF object whose program headers, or the file part of one of its loadable
// segments, lie beyond the end of the file, or cannot be examined. Any
// other regular file is true: the dynamic loader refuses what is not a
// shared object before it maps anything. Reads with pread(), so the
// descriptor's offset is unchanged.
bool IsLoadableLibraryFile(int fd);
// The same for the file at `path`, opened without blocking; a path that
// cannot be opened is left to the dynamic loader to report (true).
bool IsLoadableLibraryFile(const std::string& path);

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_BUNDLE_INTERNAL_ZQELOADABLELIBRARYFILE_H_
