#include "ZQExtensionKit/ZQExtensionKit.h"

#include "ZQExtensionKit/ZQExtensionKitVersion.h"

#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/ZQEBundleManagerCreator.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/config/ZQEConfigurationManagerCreator.h"
#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "ZQExtensionKit/event/IZQNotificationService.h"
#include "ZQExtensionKit/event/ZQNotificationService.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/extension/ZQExtensionManagerCreator.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "ZQExtensionKit/service/ZQServiceManagerCreator.h"
#include "ZQExtensionKit/trace/internal/ZQETrace.h"

namespace zqextensionkit {

namespace {

constexpr char kNotificationServiceName[] = "NotificationService";
// The texts of CLSID_ZQNotificationService and of IZQNotificationService's
// id.
constexpr char kNotificationServiceClsid[] =
    "{45ED99D7-00C2-4082-98D8-5507D2AA3A0F}";
constexpr char kNotificationServiceIid[] =
    "{B2F1A919-D15D-4C72-A8C3-2143E2176131}";

}  // namespace

// static
void ZQExtensionKit::InitSDK() {
  ZQETrace::ReadEnvironmentOnce();
  // The order is fixed: the log service and the container exist before any
  // manager might use them, and the service manager is installed before the
  // bus is registered with it.
  ZQELogService::GetInstance();
  ZQEObjectContainer::GetInstance();
  ZQEBundleManager::GetInstance()->Initialize(
      ZQEBundleManagerCreator::Create());
  ZQServiceManager::GetInstance()->Initialize(
      ZQServiceManagerCreator::Create());
  ZQEConfigurationManager::GetInstance()->Initialize(
      ZQEConfigurationManagerCreator::Create());
  ZQExtensionManager::GetInstance()->Initialize(
      ZQExtensionManagerCreator::Create());
  ZQServiceManager::GetInstance()
      ->RegisterService<ZQNotificationService, IZQNotificationService>(
          kNotificationServiceName, kNotificationServiceClsid,
          kNotificationServiceIid, true);
}

// static
void ZQExtensionKit::SetTraceFile(const std::string& path) {
  ZQETrace::SetFile(path);
}

const char* ZQExtensionKit::GetSDKVersion() {
  return ZQEXTENSIONKIT_VERSION_STRING;
}

}  // namespace zqextensionkit
