#include "ZQExtensionKit/config/ZQEConfigurationManager.h"

#include <utility>

#include "base/memory/singleton.h"

namespace zqextensionkit {

// static
ZQEConfigurationManager* ZQEConfigurationManager::GetInstance() {
  return base::Singleton<
      ZQEConfigurationManager,
      base::LeakySingletonTraits<ZQEConfigurationManager>>::get();
}

ZQEConfigurationManager::ZQEConfigurationManager() = default;

ZQEConfigurationManager::~ZQEConfigurationManager() = default;

void ZQEConfigurationManager::Initialize(
    std::shared_ptr<IZQEConfigurationManager> impl) {
  impl_ = std::move(impl);
}

void ZQEConfigurationManager::UnInitialize() {
  impl_.reset();
}

// Each operation forwards to `impl_` when one is installed; otherwise it
// answers false, "" or nothing and touches no out-parameter.

void ZQEConfigurationManager::SetFoundationVersion(const std::string& version) {
  if (impl_)
    impl_->SetFoundationVersion(version);
}

bool ZQEConfigurationManager::LoadAllExtensionInfos() {
  return impl_ && impl_->LoadAllExtensionInfos();
}

bool ZQEConfigurationManager::UnloadAllExtensionInfos() {
  return impl_ && impl_->UnloadAllExtensionInfos();
}

bool ZQEConfigurationManager::GetExtensionInfoByID(
    const std::string& extensionId,
    Extension** extension) {
  return impl_ && impl_->GetExtensionInfoByID(extensionId, extension);
}

bool ZQEConfigurationManager::GetExtensionInfosByExntensionPointID(
    const std::string& extensionPointId,
    std::vector<std::shared_ptr<Extension>>& extensionInfos) {
  return impl_ && impl_->GetExtensionInfosByExntensionPointID(extensionPointId,
                                                              extensionInfos);
}

bool ZQEConfigurationManager::GetConfigurationsByID(
    ModuleCode code,
    std::map<std::string, std::string>* configurations) {
  return impl_ && impl_->GetConfigurationsByID(code, configurations);
}

bool ZQEConfigurationManager::IsModuleEnabled(ModuleCode code, bool& enabled) {
  return impl_ && impl_->IsModuleEnabled(code, enabled);
}

bool ZQEConfigurationManager::IsFeatueEnabled(FeatureCode code, bool& enabled) {
  return impl_ && impl_->IsFeatueEnabled(code, enabled);
}

std::string ZQEConfigurationManager::GetH5ExtensionBundleId(
    const std::string& url) {
  return impl_ ? impl_->GetH5ExtensionBundleId(url) : std::string();
}

std::string ZQEConfigurationManager::GetExtensionAccessKey(
    const std::string& bundleId) {
  return impl_ ? impl_->GetExtensionAccessKey(bundleId) : std::string();
}

bool ZQEConfigurationManager::SetSecKey(const std::string& key) {
  return impl_ && impl_->SetSecKey(key);
}

bool ZQEConfigurationManager::SetDebugModeEnable(bool enable) {
  return impl_ && impl_->SetDebugModeEnable(enable);
}

void ZQEConfigurationManager::SetFetchExtensionAuthInfoCallback(
    const FetchExtensionAuthInfoCallback& callback) {
  if (impl_)
    impl_->SetFetchExtensionAuthInfoCallback(callback);
}

void ZQEConfigurationManager::CheckAndFetchExtensionAuthInfo() {
  if (impl_)
    impl_->CheckAndFetchExtensionAuthInfo();
}

void ZQEConfigurationManager::GetAllExtensionInfos(
    std::vector<Extension*>& extensionInfos) {
  if (impl_)
    impl_->GetAllExtensionInfos(extensionInfos);
}

void ZQEConfigurationManager::GetAllArtifacts(
    std::vector<Artifact*>& artifacts) {
  if (impl_)
    impl_->GetAllArtifacts(artifacts);
}

void ZQEConfigurationManager::FetchRemoteConfig(
    bool applyAfterSuccess,
    const FetchRemoteConfigSuccess& onSuccess,
    const FetchRemoteConfigFailure& onFailure) {
  if (impl_)
    impl_->FetchRemoteConfig(applyAfterSuccess, onSuccess, onFailure);
}

bool ZQEConfigurationManager::LoadRemoteConfig() {
  return impl_ && impl_->LoadRemoteConfig();
}

void ZQEConfigurationManager::SetRemoteConfigDataSource(
    std::shared_ptr<IZQERemoteConfigDataSource> dataSource) {
  if (impl_)
    impl_->SetRemoteConfigDataSource(std::move(dataSource));
}

bool ZQEConfigurationManager::SetInstallationDir(const std::string& dir) {
  return impl_ && impl_->SetInstallationDir(dir);
}

std::string ZQEConfigurationManager::GetInstallationDir() {
  return impl_ ? impl_->GetInstallationDir() : std::string();
}

void ZQEConfigurationManager::GetAllArtifactsShared(
    std::vector<std::shared_ptr<Artifact>>& artifacts) {
  if (impl_)
    impl_->GetAllArtifactsShared(artifacts);
}

}  // namespace zqextensionkit
