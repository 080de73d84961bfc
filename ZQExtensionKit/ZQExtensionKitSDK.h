// ZQExtensionKit umbrella header: one include for hosts and plug-in authors.
//
// Includes every public header of the kit, of the component model it shares
// with plug-in libraries, and of the base types that appear in the kit's
// signatures. It declares nothing itself; each included header states its
// own contract, ownership rules and thread-safety.
//
// The headers it reaches are exactly those an installed SDK ships. The kit's
// internal headers (manager implementations, the manager frame, the manifest
// parser, the library file checks) are neither included nor installed.
#ifndef ZQEXTENSIONKIT_ZQEXTENSIONKITSDK_H_
#define ZQEXTENSIONKIT_ZQEXTENSIONKITSDK_H_

// Component model (header-only, shared with plug-in libraries).
#include "dlcom/comfactory.h"
#include "dlcom/comobject.h"
#include "dlcom/comsentry.h"
#include "dlcom/guiddef.h"
#include "dlcom/guidstring.h"
#include "dlcom/loadcom.h"
#include "dlcom/unknown.h"

// Base types used in the kit's signatures.
#include "base/base64.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/guid.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/memory/scoped_ptr.h"
#include "base/memory/singleton.h"
#include "base/strings/string_util.h"
#include "base/synchronization/lock.h"
#include "base/values.h"
#include "base/version.h"

#include "ZQExtensionKit/defines/ZQExtensionKitDefines.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

// Log service.
#include "ZQExtensionKit/log/ZQELogService.h"

// Object container, services and the notification bus.
#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "ZQExtensionKit/event/IZQNotificationService.h"
#include "ZQExtensionKit/event/NotificationType.h"
#include "ZQExtensionKit/event/ObserverList.h"
#include "ZQExtensionKit/event/ZQNotificationObserver.h"
#include "ZQExtensionKit/event/ZQNotificationParameters.h"
#include "ZQExtensionKit/event/ZQNotificationRegistrar.h"
#include "ZQExtensionKit/event/ZQNotificationService.h"
#include "ZQExtensionKit/event/ZQNotificationSource.h"
#include "ZQExtensionKit/service/IZQOpenNetService.h"
#include "ZQExtensionKit/service/IZQServiceManager.h"
#include "ZQExtensionKit/service/ZQOpenNetworkAPI.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "ZQExtensionKit/service/ZQServiceManagerCreator.h"
#include "ZQExtensionKit/service/ZQServiceRegisterInfo.h"

// Extension metadata and the configuration manager.
#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ExtensionAction.h"
#include "ZQExtensionKit/config/ExtensionFactory.h"
#include "ZQExtensionKit/config/ExtensionImpl.h"
#include "ZQExtensionKit/config/ExtensionPoint.h"
#include "ZQExtensionKit/config/ExtensionPointImpl.h"
#include "ZQExtensionKit/config/ExtensionPointPayloadMetaItem.h"
#include "ZQExtensionKit/config/IZQEConfigurationManager.h"
#include "ZQExtensionKit/config/SettingMap.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/config/ZQEConfigurationManagerCreator.h"
#include "ZQExtensionKit/config/ZQEUrlParser.h"
#include "ZQExtensionKit/config/ZQExtensionAuthInfo.h"

// Plug-in file digests.
#include "ZQExtensionKit/security/ZQEUtility.h"

// Bundles: the bundle manager and the header-only bundle base of plug-ins.
#include "ZQExtensionKit/bundle/IZQEBundle.h"
#include "ZQExtensionKit/bundle/IZQEBundleManager.h"
#include "ZQExtensionKit/bundle/ZQEBaseBundle.h"
#include "ZQExtensionKit/bundle/ZQEBundleContext.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/ZQEBundleManagerCreator.h"

// Extensions: the extension manager facade and the header-only extension
// base and context of plug-ins.
#include "ZQExtensionKit/extension/IZQBaseExtension.h"
#include "ZQExtensionKit/extension/IZQExtensionManager.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "ZQExtensionKit/extension/ZQExtensionContext.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/extension/ZQExtensionManagerCreator.h"

// Start-up and version.
#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/ZQExtensionKitVersion.h"

#endif  // ZQEXTENSIONKIT_ZQEXTENSIONKITSDK_H_
