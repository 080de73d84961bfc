#include "ZQExtensionKit/bundle/ZQEEntryLibraryPath.h"

#include "base/files/file_util.h"

namespace zqextensionkit {

bool GetEntryLibraryPath(const base::FilePath& root,
                         const std::string& entry,
                         base::FilePath* path) {
  const base::FilePath relative(entry);
  if (relative.empty() || relative.IsAbsolute() || relative.ReferencesParent())
    return false;
  *path = root.Append(relative);
  return !path->empty() && base::PathExists(*path);
}

EntryLibrary FindEntryLibrary(const base::FilePath& root,
                              const std::string& entry,
                              base::FilePath* path) {
  if (!base::PathExists(root))
    return EntryLibrary::kNoRootPath;
  return GetEntryLibraryPath(root, entry, path) ? EntryLibrary::kFound
                                                : EntryLibrary::kRefused;
}

}  // namespace zqextensionkit
