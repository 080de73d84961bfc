// ExtensionImpl: the extension record behind every Extension.
//
// A record parsed from a manifest is owned by its ExtensionPointImpl; records
// made by ExtensionFactory are owned by whoever receives them. `owner_ep_`
// never owns: it names the extension point the record belongs to (possibly
// null), and through that point's artifact the record answers its
// package-derived questions. Those answers are valid only while that artifact
// lives.
//
// Getters return copies; setters replace (maps are replaced whole). Nothing
// here fails, logs or locks.

#ifndef ZQEXTENSIONKIT_CONFIG_EXTENSIONIMPL_H_
#define ZQEXTENSIONKIT_CONFIG_EXTENSIONIMPL_H_

#include <map>
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

  ExtensionPointImpl* GetOwnerExtensionPoint() const;
  void SetOwnerExtensionPoint(ExtensionPointImpl* owner);

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
  ExtensionPointImpl* owner_ep_ = nullptr;  // Not owned.
  std::string resource_path_;
  std::string unified_id_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_EXTENSIONIMPL_H_
