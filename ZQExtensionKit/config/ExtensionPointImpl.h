// ExtensionPointImpl: the extension point record behind every ExtensionPoint.
//
// Ownership: a point owns its extensions and its action; destroying it
// destroys the extensions in the order they were added, then the action.
// `owner_aritifact_` never owns: it names the artifact that owns this point
// (possibly null). GetExtensions() hands out non-owning pointers.
//
// Only the id, the interface id, the extensions and the permissions can be
// set; every other answer keeps its initial value (empty strings, invalid
// versions, ExtensionPointTypeUnkown, no payload metas). Nothing here fails,
// logs or locks.

#ifndef ZQEXTENSIONKIT_CONFIG_EXTENSIONPOINTIMPL_H_
#define ZQEXTENSIONKIT_CONFIG_EXTENSIONPOINTIMPL_H_

#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/ExtensionAction.h"
#include "ZQExtensionKit/config/ExtensionPoint.h"
#include "ZQExtensionKit/config/ExtensionPointPayloadMetaItem.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "base/version.h"

namespace zqextensionkit {

class Artifact;
class Extension;

class ZQEXTENSIONKIT_EXPORT ExtensionPointImpl : public ExtensionPoint {
 public:
  // `owner` is the artifact this point will belong to; not owned, may be null.
  explicit ExtensionPointImpl(Artifact* owner);
  ~ExtensionPointImpl() override;

  // ExtensionPoint:
  std::string GetID() const override;
  std::string GetName() const override;
  std::string GetDescription() const override;
  std::string GetModuleGroupID() const override;
  std::string GetModuleId() const override;
  std::string GetIId() const override;
  base::Version GetModuleVersion() const override;
  base::Version GetFoundationVersion() const override;
  std::vector<ExtensionPointPermission> GetPermissions() const override;
  ExtensionPointType GetExtensionType() const override;
  std::vector<ExtensionPointPayloadMetaItem> GetPayloadMetas() const override;
  bool GetExtensions(std::vector<Extension*>& extensions) override;
  // Runs the action, if there is one, with a null context. Returns false in
  // every case, whatever the action reports.
  bool Invoke() override;

  // Sets the point's id and interface id.
  void SetInfo(const std::string& id, const std::string& iid);
  // Appends `extension` and takes ownership of it. Null is ignored.
  void AddExtension(std::unique_ptr<Extension> extension);
  void SetPermissions(const std::vector<ExtensionPointPermission>& permissions);
  Artifact* GetOwnerArtifact() const;

 private:
  std::string id_;
  std::string iid_;
  std::string name_;
  std::string description_;
  std::string module_group_id_;
  std::string module_id_;
  base::Version module_version_;
  ExtensionPointType type_ = ExtensionPointTypeUnkown;
  base::Version foundation_version_;
  std::vector<ExtensionPointPayloadMetaItem> metas_;
  std::vector<ExtensionPointPermission> permissions_;
  std::unique_ptr<ExtensionAction> action_;
  std::vector<std::unique_ptr<Extension>> extensions_;
  Artifact* owner_aritifact_ = nullptr;  // Not owned.
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_EXTENSIONPOINTIMPL_H_
