// Extension: the read-only view of one extension record, the unit of
// functionality that an extension point is served by.
//
// Records come from a package's manifest (owned by their extension point,
// which its Artifact owns), from ExtensionFactory (free-standing copies held
// by shared pointers) or from a remote configuration source. ExtensionImpl is
// the only implementation.
//
// Every answer is returned by value; no reference into a record escapes.
// Package-derived answers (GetBinPath, GetLibFileMD5, GetSignMD5,
// GetBundleClassId, GetRootPath, the fallback of GetResourcesPath) are read
// from the artifact that owns the record's extension point, and are empty when
// the record has no extension point or that point has no artifact. They stay
// valid only while that artifact lives; the copies that the configuration
// manager hands out keep their artifact alive themselves.
//
// Threads: no synchronisation. A record must not be changed while another
// thread reads it.

#ifndef ZQEXTENSIONKIT_CONFIG_EXTENSION_H_
#define ZQEXTENSIONKIT_CONFIG_EXTENSION_H_

#include <map>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/SettingMap.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "base/files/file_path.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT Extension {
 public:
  virtual ~Extension();

  // The virtual operations keep this order: it is the layout that callers
  // built against the kit rely on.
  virtual std::string GetID() const = 0;
  virtual std::string GetVersion() const = 0;
  virtual std::string GetExtensionPointID() const = 0;
  // The interface id of the extension point the record belongs to.
  virtual std::string GetExtensionPointUUID() const = 0;
  virtual std::string GetClassID() const = 0;
  virtual std::map<std::string, std::string> GetPayloads() const = 0;
  // The package's entry library as written in its manifest (relative to the
  // package directory); empty for a package without one.
  virtual std::string GetBinPath() const = 0;
  virtual std::map<std::string, std::vector<std::string>> GetConstraints()
      const = 0;
  virtual base::FilePath GetRootPath() const = 0;
  virtual SettingMap GetSettingMap() const = 0;
  // The record's own resources path, or else its package's.
  virtual std::string GetResourcesPath() const = 0;
  virtual bool IsSingleton() const = 0;
  virtual std::string GetLibFileMD5() const = 0;
  virtual std::string GetSignMD5() const = 0;
  virtual std::string GetBundleClassId() const = 0;
  // True exactly when GetBinPath() is not empty: the implementation lives in
  // the package's entry library.
  virtual bool IsNative() const = 0;
  virtual std::string GetUnifiedId() const = 0;

 protected:
  Extension() = default;
  // Copies share nothing with the original but what it points at.
  Extension(const Extension&) = default;
  Extension& operator=(const Extension&) = default;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_EXTENSION_H_
