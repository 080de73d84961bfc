#include "ZQExtensionKit/config/ExtensionPointImpl.h"

#include <utility>

#include "ZQExtensionKit/config/Extension.h"

namespace zqextensionkit {

ExtensionPointImpl::ExtensionPointImpl(Artifact* owner)
    : owner_aritifact_(owner) {}

ExtensionPointImpl::~ExtensionPointImpl() {
  // Extensions first, in the order they were added (a vector leaves its
  // element destruction order unspecified), then the action.
  for (auto& extension : extensions_)
    extension.reset();
  action_.reset();
}

std::string ExtensionPointImpl::GetID() const {
  return id_;
}

std::string ExtensionPointImpl::GetName() const {
  return name_;
}

std::string ExtensionPointImpl::GetDescription() const {
  return description_;
}

std::string ExtensionPointImpl::GetModuleGroupID() const {
  return module_group_id_;
}

std::string ExtensionPointImpl::GetModuleId() const {
  return module_id_;
}

std::string ExtensionPointImpl::GetIId() const {
  return iid_;
}

base::Version ExtensionPointImpl::GetModuleVersion() const {
  return module_version_;
}

base::Version ExtensionPointImpl::GetFoundationVersion() const {
  return foundation_version_;
}

std::vector<ExtensionPointPermission> ExtensionPointImpl::GetPermissions()
    const {
  return permissions_;
}

ExtensionPointType ExtensionPointImpl::GetExtensionType() const {
  return type_;
}

std::vector<ExtensionPointPayloadMetaItem> ExtensionPointImpl::GetPayloadMetas()
    const {
  return metas_;
}

bool ExtensionPointImpl::GetExtensions(std::vector<Extension*>& extensions) {
  for (const auto& extension : extensions_)
    extensions.push_back(extension.get());
  return true;
}

bool ExtensionPointImpl::Invoke() {
  if (action_)
    action_->Run(nullptr);
  return false;
}

void ExtensionPointImpl::SetInfo(const std::string& id,
                                 const std::string& iid) {
  id_ = id;
  iid_ = iid;
}

void ExtensionPointImpl::AddExtension(std::unique_ptr<Extension> extension) {
  if (extension)
    extensions_.push_back(std::move(extension));
}

void ExtensionPointImpl::SetPermissions(
    const std::vector<ExtensionPointPermission>& permissions) {
  permissions_ = permissions;
}

Artifact* ExtensionPointImpl::GetOwnerArtifact() const {
  return owner_aritifact_;
}

}  // namespace zqextensionkit
