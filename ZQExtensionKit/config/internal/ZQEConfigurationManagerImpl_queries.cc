// ZQEConfigurationManagerImpl: unloading, and the queries that hand out what
// the load built.

#include <memory>

#include "ZQExtensionKit/config/ExtensionFactory.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/log/ZQELogService.h"

namespace zqextensionkit {

bool ZQEConfigurationManagerImpl::UnloadAllExtensionInfos() {
  base::AutoLock lock(lock_);
  _localConfig.clear();
  _remoteConfig.clear();
  _remoteAuthInfos.clear();
  _extension_points.clear();
  // Destroys every artifact with its extension points and their records,
  // except those that records handed out earlier still share: each of those
  // goes with the last such record.
  _artifacts.clear();
  _authInfos.clear();
  ZQELogService::GetInstance()->LogMessage(
      0, "configuration manager impl - unload all extension infos success");
  return true;
}

bool ZQEConfigurationManagerImpl::GetExtensionInfoByID(
    const std::string& extensionId,
    Extension** extension) {
  base::AutoLock lock(lock_);
  Extension* found = nullptr;
  // Lists in extension point id order: the point whose id sorts first wins.
  for (const auto& list : _localConfig) {
    for (const std::shared_ptr<Extension>& record : list.second) {
      if (!record)
        continue;
      const std::string id = record->GetID();
      if (!id.empty() && id == extensionId) {
        found = record.get();
        break;
      }
    }
    if (found)
      break;
  }
  if (!found || !extension) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "configuration manager impl - get extension info by extension id:%s, "
        "extension info is not founded",
        extensionId.c_str());
    return false;
  }
  ExtensionFactory::CopyExtension(found, extension);
  ZQELogService::GetInstance()->LogMessage(
      0,
      "configuration manager impl - get extension info by extension id:%s, "
      "extension info is founded",
      extensionId.c_str());
  return true;
}

bool ZQEConfigurationManagerImpl::GetExtensionInfosByExntensionPointID(
    const std::string& extensionPointId,
    std::vector<std::shared_ptr<Extension>>& extensionInfos) {
  base::AutoLock lock(lock_);
  auto list = _localConfig.find(extensionPointId);
  if (list == _localConfig.end()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "configuration manager impl - get extension infos by extension point "
        "id:%s, extension infos is not founded",
        extensionPointId.c_str());
    return false;
  }
  for (const std::shared_ptr<Extension>& record : list->second) {
    if (!record) {
      ZQELogService::GetInstance()->LogMessage(
          0,
          "configuration manager impl - get extension infos by extension "
          "point id:%s, extension infos is founded, but is nullptr",
          extensionPointId.c_str());
      continue;
    }
    Extension* copy = nullptr;
    ExtensionFactory::CopyExtension(record.get(), &copy);
    if (copy)
      extensionInfos.push_back(std::shared_ptr<Extension>(copy));
  }
  ZQELogService::GetInstance()->LogMessage(
      0,
      "configuration manager impl - get extension infos by extension point "
      "id:%s, extension infos is founded, total(%d)",
      extensionPointId.c_str(), static_cast<int>(extensionInfos.size()));
  return true;
}

void ZQEConfigurationManagerImpl::GetAllExtensionInfos(
    std::vector<Extension*>& extensionInfos) {
  base::AutoLock lock(lock_);
  for (const auto& list : _localConfig) {
    for (const std::shared_ptr<Extension>& record : list.second)
      extensionInfos.push_back(record.get());
  }
}

void ZQEConfigurationManagerImpl::GetAllArtifacts(
    std::vector<Artifact*>& artifacts) {
  base::AutoLock lock(lock_);
  for (const auto& artifact : _artifacts)
    artifacts.push_back(artifact.get());
}

void ZQEConfigurationManagerImpl::GetAllArtifactsShared(
    std::vector<std::shared_ptr<Artifact>>& artifacts) {
  base::AutoLock lock(lock_);
  artifacts.insert(artifacts.end(), _artifacts.begin(), _artifacts.end());
}

}  // namespace zqextensionkit
