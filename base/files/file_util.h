// File-system helpers on base::FilePath.
//
// Both functions are thread-safe (they share no state) and report failure by
// their bool result, never by throwing.
#ifndef BASE_FILES_FILE_UTIL_H_
#define BASE_FILES_FILE_UTIL_H_

#include <string>

#include "base/base_export.h"
#include "base/files/file_path.h"

namespace base {

// True when |path| names an existing file or directory (or anything else the
// file system holds there).
BASE_EXPORT bool PathExists(const FilePath& path);

// Reads the whole file at |path| into |contents|. |contents| is cleared first
// in every case, so on failure it is empty; it may be null to test only that
// the file is readable. Returns false when the file is missing, is a
// directory, cannot be read, or when |path| has a ".." component (refused
// without touching the file system).
BASE_EXPORT bool ReadFileToString(const FilePath& path, std::string* contents);

}  // namespace base

#endif  // BASE_FILES_FILE_UTIL_H_
