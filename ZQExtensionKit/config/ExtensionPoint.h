// ExtensionPoint: the read-only view of one extension point, an interface that
// extensions implement and that other parts of the client ask for by id.
//
// Points are declared in a package's manifest and owned by that package's
// Artifact; a point owns its extensions. ExtensionPointImpl is the only
// implementation. Getters return copies; GetExtensions() hands out non-owning
// pointers that stay valid while the owning artifact lives.
//
// Threads: no synchronisation; read-only use from several threads is safe.

#ifndef ZQEXTENSIONKIT_CONFIG_EXTENSIONPOINT_H_
#define ZQEXTENSIONKIT_CONFIG_EXTENSIONPOINT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/ExtensionPointPayloadMetaItem.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "base/version.h"

namespace zqextensionkit {

class Extension;

// What a point's extensions are (descriptive; the kit does not read it).
enum ExtensionPointType : int32_t {
  ExtensionPointTypeUnkown = -1,
  ExtensionPointTypeAction = 0,
  ExtensionPointTypeNativeSPI = 1,
  ExtensioniPointTypeJSAPI = 2,
};

// What a point's extensions may reach (descriptive; the kit does not read
// it).
enum ExtensionPointPermission : int32_t {
  ExtensionPointPermissionUnkown = -1,
  ExtensionPointPermissionConversation = 0,
  ExtensionPointPermissionMessage = 1,
};

class ZQEXTENSIONKIT_EXPORT ExtensionPoint {
 public:
  virtual ~ExtensionPoint();

  // The virtual operations keep this order: it is the layout that callers
  // built against the kit rely on.
  virtual std::string GetID() const = 0;
  virtual std::string GetName() const = 0;
  virtual std::string GetDescription() const = 0;
  virtual std::string GetModuleGroupID() const = 0;
  virtual std::string GetModuleId() const = 0;
  // The interface id (38-character text form) that implementations of this
  // point expose.
  virtual std::string GetIId() const = 0;
  virtual base::Version GetModuleVersion() const = 0;
  virtual base::Version GetFoundationVersion() const = 0;
  virtual std::vector<ExtensionPointPermission> GetPermissions() const = 0;
  virtual ExtensionPointType GetExtensionType() const = 0;
  virtual std::vector<ExtensionPointPayloadMetaItem> GetPayloadMetas()
      const = 0;
  // Appends a non-owning pointer to each extension of the point, in the order
  // they were added, after whatever `extensions` already holds. Returns true.
  virtual bool GetExtensions(std::vector<Extension*>& extensions) = 0;
  // Runs the point's action, if it has one. Returns false.
  virtual bool Invoke() = 0;

 protected:
  ExtensionPoint() = default;
  ExtensionPoint(const ExtensionPoint&) = delete;
  ExtensionPoint& operator=(const ExtensionPoint&) = delete;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_EXTENSIONPOINT_H_
