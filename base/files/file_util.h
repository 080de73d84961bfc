// File-system helpers on base::FilePath.
//
// Every function is thread-safe (they share no state) and reports failure by
// its bool result, never by throwing.
#ifndef BASE_FILES_FILE_UTIL_H_
#define BASE_FILES_FILE_UTIL_H_

#include <cstddef>
#include <string>

#include "base/base_export.h"
#include "base/files/file_path.h"

namespace base {
inline namespace zqe {

// True when |path| names an existing file or directory (or anything else the
// file system holds there).
BASE_EXPORT bool PathExists(const FilePath& path);

// Reads the whole regular file at |path| into |contents|. |contents| is
// cleared first in every case, so on failure it is empty; it may be null to
// test only that the file is readable. Returns false when the file is
// missing, is not a regular file (a directory, a FIFO, a device such as
// /dev/zero: the file is opened without blocking and refused before anything
// is read), cannot be read, or when |path| has a ".." component (refused
// without touching the file system). Symbolic links are followed.
BASE_EXPORT bool ReadFileToString(const FilePath& path, std::string* contents);

// As ReadFileToString(), and also false when the file holds more than
// |max_size| bytes; then nothing beyond |max_size| bytes is read and
// |contents| is empty. The memory used never exceeds |max_size| plus one read
// chunk, whatever the file claims or grows to while it is read.
BASE_EXPORT bool ReadFileToStringWithMaxSize(const FilePath& path,
                                             std::string* contents,
                                             size_t max_size);

}  // namespace zqe
}  // namespace base

#endif  // BASE_FILES_FILE_UTIL_H_
