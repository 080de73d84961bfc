// Where a package's entry library lies: the one rule the bundle manager
// (which loads the library) and the extension manager (which creates objects
// from it) share, so both name the same file with the same key text.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_BUNDLE_INTERNAL_ZQEENTRYLIBRARYPATH_H_
#define ZQEXTENSIONKIT_BUNDLE_INTERNAL_ZQEENTRYLIBRARYPATH_H_

#include <string>

#include "base/files/file_path.h"

namespace zqextensionkit {

// Whether `entry` (as the manifest's "mainEntry" writes it) names a file
// inside its package: not empty, not absolute, without a ".." component. A
// manifest must not make the kit load code from outside its package, and an
// empty entry would name the package directory itself.
bool IsEntryInsidePackage(const std::string& entry);

// Stores in `*path` the entry library `entry` (as the manifest's
// "mainEntry" writes it) inside the package directory `root`, and returns
// whether that file exists. An entry that is not inside the package is
// refused before the file system is asked.
bool GetEntryLibraryPath(const base::FilePath& root,
                         const std::string& entry,
                         base::FilePath* path);

// Where a package's entry library lies, or why it has none.
enum class EntryLibrary { kFound, kNoRootPath, kRefused };
// Checks that the package directory `root` exists (kNoRootPath), then
// GetEntryLibraryPath() (kRefused when it is false). Logs nothing: each
// caller says in its own words what failed.
EntryLibrary FindEntryLibrary(const base::FilePath& root,
                              const std::string& entry,
                              base::FilePath* path);

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_BUNDLE_INTERNAL_ZQEENTRYLIBRARYPATH_H_
