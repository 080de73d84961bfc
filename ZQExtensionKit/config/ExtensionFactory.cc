#include "ZQExtensionKit/config/ExtensionFactory.h"

#include "ZQExtensionKit/config/ExtensionImpl.h"

namespace zqextensionkit {

std::shared_ptr<Extension> ExtensionFactory::createExtension(
    const std::string& id,
    const std::string& extensionPointId,
    const std::map<std::string, std::string>& payloads,
    const std::map<std::string, std::vector<std::string>>& constraints,
    const SettingMap& settings,
    const std::string& unified_id) {
  auto extension = std::make_shared<ExtensionImpl>();
  extension->SetID(id);
  extension->SetExtensionPointID(extensionPointId);
  extension->SetPayloads(payloads);
  extension->SetConstraints(constraints);
  extension->SetSettingMap(settings);
  extension->SetUnifiedId(unified_id);
  return extension;
}

void ExtensionFactory::CopyExtension(Extension* origin_extension,
                                     Extension** extension) {
  if (!extension)
    return;
  auto* origin = dynamic_cast<ExtensionImpl*>(origin_extension);
  if (!origin)
    return;

  auto* copy = new ExtensionImpl();
  copy->ShareOwnerExtensionPoint(origin->GetOwnerExtensionPoint());
  const Extension& source = *origin;
  copy->SetID(source.GetID());
  copy->SetVersion(source.GetVersion());
  copy->SetExtensionPointID(source.GetExtensionPointID());
  copy->SetClassID(source.GetClassID());
  copy->SetPayloads(source.GetPayloads());
  copy->SetConstraints(source.GetConstraints());
  copy->SetSettingMap(source.GetSettingMap());
  copy->SetIsSingleton(source.IsSingleton());
  copy->SetResourcePath(source.GetResourcesPath());
  copy->SetUnifiedId(source.GetUnifiedId());
  *extension = copy;
}

void ExtensionFactory::ExtractLocalNativeExtensionInfoToRemote(
    Extension* remote_extension,
    Extension* local_extension) {
  auto* remote = dynamic_cast<ExtensionImpl*>(remote_extension);
  auto* local = dynamic_cast<ExtensionImpl*>(local_extension);
  if (!remote || !local)
    return;
  if (remote->GetID() != local->GetID() || !local->IsNative())
    return;

  remote->SetVersion(local->GetVersion());
  remote->SetExtensionPointID(local->GetExtensionPointID());
  remote->SetClassID(local->GetClassID());
  remote->SetIsSingleton(local->IsSingleton());
  remote->SetResourcePath(local->GetResourcesPath());
  remote->ShareOwnerExtensionPoint(local->GetOwnerExtensionPoint());
}

}  // namespace zqextensionkit
