#include "ZQExtensionKit/config/ExtensionImpl.h"

#include <utility>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/ExtensionPointImpl.h"

namespace zqextensionkit {

ExtensionImpl::ExtensionImpl() = default;

ExtensionImpl::ExtensionImpl(ExtensionPointImpl* owner) : owner_ep_(owner) {}

ExtensionImpl::~ExtensionImpl() = default;

std::string ExtensionImpl::GetID() const {
  return id_;
}

std::string ExtensionImpl::GetVersion() const {
  return version_;
}

std::string ExtensionImpl::GetExtensionPointID() const {
  return extension_point_id_;
}

std::string ExtensionImpl::GetExtensionPointUUID() const {
  return owner_ep_ ? owner_ep_->GetIId() : std::string();
}

std::string ExtensionImpl::GetClassID() const {
  return clsid_;
}

std::map<std::string, std::string> ExtensionImpl::GetPayloads() const {
  return payloads_;
}

std::string ExtensionImpl::GetBinPath() const {
  const Artifact* package = GetPackage();
  return package ? package->GetBinFilePath() : std::string();
}

std::map<std::string, std::vector<std::string>> ExtensionImpl::GetConstraints()
    const {
  return constraints_;
}

base::FilePath ExtensionImpl::GetRootPath() const {
  const Artifact* package = GetPackage();
  return package ? package->GetRootPath() : base::FilePath();
}

SettingMap ExtensionImpl::GetSettingMap() const {
  return setting_maps_;
}

std::string ExtensionImpl::GetResourcesPath() const {
  if (!resource_path_.empty())
    return resource_path_;
  const Artifact* package = GetPackage();
  return package ? package->GetResourcesPath() : std::string();
}

bool ExtensionImpl::IsSingleton() const {
  return isSingleton_;
}

std::string ExtensionImpl::GetLibFileMD5() const {
  const Artifact* package = GetPackage();
  return package ? package->GetLibFileMD5() : std::string();
}

std::string ExtensionImpl::GetSignMD5() const {
  const Artifact* package = GetPackage();
  return package ? package->GetSignMD5() : std::string();
}

std::string ExtensionImpl::GetBundleClassId() const {
  const Artifact* package = GetPackage();
  return package ? package->GetBundleClassId() : std::string();
}

bool ExtensionImpl::IsNative() const {
  return !GetBinPath().empty();
}

std::string ExtensionImpl::GetUnifiedId() const {
  return unified_id_;
}

void ExtensionImpl::SetID(const std::string& id) {
  id_ = id;
}

void ExtensionImpl::SetVersion(const std::string& version) {
  version_ = version;
}

void ExtensionImpl::SetExtensionPointID(const std::string& extension_point_id) {
  extension_point_id_ = extension_point_id;
}

void ExtensionImpl::SetClassID(const std::string& clsid) {
  clsid_ = clsid;
}

void ExtensionImpl::SetResourcePath(const std::string& resource_path) {
  resource_path_ = resource_path;
}

void ExtensionImpl::SetUnifiedId(const std::string& unified_id) {
  unified_id_ = unified_id;
}

void ExtensionImpl::SetPayloads(
    const std::map<std::string, std::string>& payloads) {
  payloads_ = payloads;
}

void ExtensionImpl::SetConstraints(
    const std::map<std::string, std::vector<std::string>>& constraints) {
  constraints_ = constraints;
}

void ExtensionImpl::SetPayloads(std::map<std::string, std::string>&& payloads) {
  payloads_ = std::move(payloads);
}

void ExtensionImpl::SetConstraints(
    std::map<std::string, std::vector<std::string>>&& constraints) {
  constraints_ = std::move(constraints);
}

void ExtensionImpl::SetSettingMap(const SettingMap& setting_map) {
  setting_maps_ = setting_map;
}

void ExtensionImpl::SetSettingMap(SettingMap&& setting_map) {
  setting_maps_ = std::move(setting_map);
}

void ExtensionImpl::SetIsSingleton(bool is_singleton) {
  isSingleton_ = is_singleton;
}

ExtensionPointImpl* ExtensionImpl::GetOwnerExtensionPoint() const {
  return owner_ep_;
}

void ExtensionImpl::SetOwnerExtensionPoint(ExtensionPointImpl* owner) {
  owner_ep_ = owner;
  package_.reset();
}

void ExtensionImpl::ShareOwnerExtensionPoint(ExtensionPointImpl* owner) {
  const Artifact* artifact = owner ? owner->GetOwnerArtifact() : nullptr;
  // Empty for an artifact that no std::shared_ptr holds.
  package_ = artifact ? artifact->weak_from_this().lock() : nullptr;
  owner_ep_ = owner;
}

const Artifact* ExtensionImpl::GetPackage() const {
  return owner_ep_ ? owner_ep_->GetOwnerArtifact() : nullptr;
}

}  // namespace zqextensionkit
