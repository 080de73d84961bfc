#include "ZQExtensionKit/bundle/internal/ZQEEntryLibraryPath.h"

#include "base/files/file_util.h"

namespace zqextensionkit {

bool IsEntryInsidePackage(const std::string& entry) {
  const base::FilePath relative(entry);
  return !relative.empty() && !relative.IsAbsolute() &&
         !relative.ReferencesParent();
}

bool GetEntryLibraryPath(const base::FilePath& root,
                         const std::string& entry,
                         base::FilePath* path) {
  if (!IsEntryInsidePackage(entry))
    return false;
  *path = root.Append(base::FilePath(entry));
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
