// ExtensionImpl: the extension record behind every Extension.
//
// A record parsed from a manifest is owned by its ExtensionPointImpl; records
// made by ExtensionFactory are owned by whoever receives them. `owner_ep_`
// names the extension point the record belongs to (possibly null), and
// through that point's artifact the record answers its package-derived
// questions. A record that its point owns only points at it. A record that
// lives apart from its point (copies, adapter and merged remote records, set
// up with ShareOwnerExtensionPoint) also shares ownership of the point's
// artifact when a std::shared_ptr holds that artifact, so its answers stay
// valid for as long as the record lives, even after the configuration that
// produced it is unloaded. Otherwise the answers are valid only while the
// artifact lives.
//
// Getters return copies; setters replace (maps are replaced whole). Nothing
// here fails, logs or locks.

#ifndef ZQEXTENSIONKIT_CONFIG_EXTENSIONIMPL_H_
#define ZQEXTENSIONKIT_CONFIG_EXTENSIONIMPL_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/SettingMap.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "base/files/file_path.h"

namespace zqextensionkit {

class Artifact;
class ExtensionPointImpl;

class ZQEXTENSIONKIT_EXPORT ExtensionImpl : public Extension {
 public:
  // A free-standing record, or one that `owner` owns.
  ExtensionImpl();
  explicit ExtensionImpl(ExtensionPointImpl* owner);
  ~ExtensionImpl() override;

  // Extension:
  std::string GetID() const override;
  std::string GetVersion() const override;
  std::string GetExtensionPointID() const override;
  std::string GetExtensionPointUUID() const override;
  std::string GetClassID() const override;
  std::map<std::string, std::string> GetPayloads() const override;
  std::string GetBinPath() const override;
  std::map<std::string, std::vector<std::string>> GetConstraints()
      const override;
  base::FilePath GetRootPath() const override;
  SettingMap GetSettingMap() const override;
  std::string GetResourcesPath() const override;
  bool IsSingleton() const override;
  std::string GetLibFileMD5() const override;
  std::string GetSignMD5() const override;
  std::string GetBundleClassId() const override;
  bool IsNative() const override;
  std::string GetUnifiedId() const override;

  // Setters of what the getters above answer.
  void SetID(const std::string& id);
  void SetVersion(const std::string& version);
  void SetExtensionPointID(const std::string& extension_point_id);
  void SetClassID(const std::string& clsid);
  // An explicit resources path; when empty the package's applies.
  void SetResourcePath(const std::string& resource_path);
  void SetUnifiedId(const std::string& unified_id);
  void SetPayloads(const std::map<std::string, std::string>& payloads);
  void SetPayloads(std::map<std::string, std::string>&& payloads);
  void SetConstraints(
      const std::map<std::string, std::vector<std::string>>& constraints);
  void SetConstraints(
      std::map<std::string, std::vector<std::string>>&& constraints);
  void SetSettingMap(const SettingMap& setting_map);
  void SetSettingMap(SettingMap&& setting_map);
  void SetIsSingleton(bool is_singleton);

  // The point the record belongs to, or null.
  ExtensionPointImpl* GetOwnerExtensionPoint() const;
  // Points the record at `owner` (may be null) without owning anything: for
  // a record that `owner` itself owns. Drops a share taken by
  // ShareOwnerExtensionPoint.
  void SetOwnerExtensionPoint(ExtensionPointImpl* owner);
  // Points the record at `owner` (may be null) and, when a std::shared_ptr
  // holds the artifact that owns `owner`, shares ownership of that artifact,
  // keeping `owner` alive with it. For records that live apart from `owner`;
  // a record that `owner` owns would keep its own artifact alive forever.
  void ShareOwnerExtensionPoint(ExtensionPointImpl* owner);

 private:
  // The package: the artifact that owns `owner_ep_`, or null.
  const Artifact* GetPackage() const;

  std::string id_;
  std::string version_;
  std::string extension_point_id_;
  std::string artifact_id_;
  std::string clsid_;
  bool isSingleton_ = false;
  std::map<std::string, std::string> payloads_;
  std::map<std::string, std::vector<std::string>> constraints_;
  SettingMap setting_maps_;
  ExtensionPointImpl* owner_ep_ = nullptr;  // Kept alive by `package_`, if set.
  std::string resource_path_;
  std::string unified_id_;
  // The artifact that owns `owner_ep_`, for records that live apart from it;
  // empty otherwise.
  std::shared_ptr<const Artifact> package_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_EXTENSIONIMPL_H_
