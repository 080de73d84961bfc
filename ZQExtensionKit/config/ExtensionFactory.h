// ExtensionFactory: makes free-standing extension records, for the
// configuration lists and for records that a remote configuration source
// delivers.
//
// Ownership: createExtension() returns a shared pointer; CopyExtension()
// hands the caller a bare new record that the caller must own (delete or wrap
// in a smart pointer). A copy points at the extension point of the record it
// was copied from and, when a std::shared_ptr holds that point's artifact (as
// for every record the configuration manager hands out), shares ownership of
// the artifact: its package-derived answers stay valid as long as the copy
// lives, whatever happens to the configuration meanwhile. A remote record
// that takes over a local record's point takes the same share. Otherwise
// those answers are valid only while the artifact lives.
//
// Failure: CopyExtension() and ExtractLocalNativeExtensionInfoToRemote() do
// nothing when given null or a record that is not an ExtensionImpl. Nothing
// here logs or locks.

#ifndef ZQEXTENSIONKIT_CONFIG_EXTENSIONFACTORY_H_
#define ZQEXTENSIONKIT_CONFIG_EXTENSIONFACTORY_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/SettingMap.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ExtensionFactory {
 public:
  ExtensionFactory() = delete;

  // A new record without an extension point (hence not native), with the
  // given id, extension point id, payloads, constraints, settings and unified
  // id; version, class id and resources path empty, not a singleton.
  static std::shared_ptr<Extension> createExtension(
      const std::string& id,
      const std::string& extensionPointId,
      const std::map<std::string, std::string>& payloads,
      const std::map<std::string, std::vector<std::string>>& constraints,
      const SettingMap& settings,
      const std::string& unified_id);

  // Stores in `*extension` a new record copied from `origin_extension`: same
  // extension point, id, version, extension point id, class id, payloads,
  // constraints, settings, singleton flag and unified id, and the origin's
  // effective resources path (its own, or else its package's) set
  // explicitly. Leaves `*extension` unchanged when `origin_extension` is null
  // or not an ExtensionImpl, or when `extension` is null.
  static void CopyExtension(Extension* origin_extension, Extension** extension);

  // When both records are ExtensionImpl, have equal ids and `local_extension`
  // is native, copies into `remote_extension` the local record's version,
  // extension point id, class id, singleton flag, effective resources path and
  // extension point. The remote record keeps its payloads, constraints,
  // settings and unified id. Otherwise nothing changes.
  static void ExtractLocalNativeExtensionInfoToRemote(
      Extension* remote_extension,
      Extension* local_extension);
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_EXTENSIONFACTORY_H_
