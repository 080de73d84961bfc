// The files of an installation, as the configuration manager finds them
// beside the host's executable, and the rule for the package directories
// config.json lists: one definition for the kit, which reads them, and for
// the tools that check an installation, so both name the same files.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_CONFIG_INTERNAL_ZQEINSTALLATIONFILES_H_
#define ZQEXTENSIONKIT_CONFIG_INTERNAL_ZQEINSTALLATIONFILES_H_

#include <string>

#include "base/files/file_path.h"

namespace zqextensionkit {

// Beside the executable.
inline constexpr char kAdapterMappingFileName[] =
    "extension_adapter_mapping.json";
inline constexpr char kExtensionsDirName[] = "extensions";
// Inside kExtensionsDirName.
inline constexpr char kConfigFileName[] = "config.json";
// Inside each package directory.
inline constexpr char kManifestFileName[] = "manifest.json";

// The id of the package that declares the internal extension points the
// adapter mapping targets.
inline constexpr char kAdapterArtifactId[] = "extension_adapter";

// Stores in `*dir` the directory of the package that config.json lists as
// `name`, inside `extensions_dir`, and returns whether the kit reads it:
// false for an empty name, and for one that leads outside the extensions
// directory (a ".." component).
inline bool GetArtifactDir(const base::FilePath& extensions_dir,
                           const std::string& name,
                           base::FilePath* dir) {
  if (name.empty())
    return false;
  *dir = extensions_dir.Append(name);
  return !dir->ReferencesParent();
}

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_INTERNAL_ZQEINSTALLATIONFILES_H_
