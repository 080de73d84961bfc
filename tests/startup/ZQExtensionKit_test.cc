// ZQExtensionKit::InitSDK(): what a host finds after starting the kit, and
// after starting it twice.

#include "ZQExtensionKit/ZQExtensionKit.h"

#include <gtest/gtest.h>

#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/event/IZQNotificationService.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "dlcom/comsentry.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

constexpr char kRegisteredTwice[] =
    "service manager impl - register failed, because of the service name "
    "(NotificationService) is registered";

class ZQExtensionKitTest : public test::LogCaptureTest {
 protected:
  static by::com_ptr<IZQNotificationService> Bus() {
    by::com_ptr<IZQNotificationService> bus;
    bus.attach(
        ZQServiceManager::GetInstance()->GetService<IZQNotificationService>(
            "NotificationService"));
    return bus;
  }

  // Each facade answers from an installed implementation.
  void ExpectEveryFacadeForwards() {
    ClearLog();
    EXPECT_FALSE(ZQExtensionManager::GetInstance()->GetSignVerifyEnable());
    EXPECT_FALSE(ZQEConfigurationManager::GetInstance()->SetSecKey("short"));
    EXPECT_FALSE(ZQEBundleManager::GetInstance()->ComLoaderIsExist(""));
    EXPECT_EQ(capture().texts(),
              (std::vector<std::string>{
                  "configuration manager impl - set sec key failed, becuase "
                  "of the length of key is not equal to 32",
                  "Bundle Loader - query com loader is exist failed, because "
                  "of key is empty"}));
  }
};

TEST_F(ZQExtensionKitTest, StartingInstallsEveryManagerAndTheBus) {
  ZQExtensionKit::InitSDK();
  ExpectEveryFacadeForwards();
  by::com_ptr<IZQNotificationService> bus = Bus();
  ASSERT_NE(bus.ptr(), nullptr);
  EXPECT_EQ(bus.ptr(), Bus().ptr());  // one singleton bus
  EXPECT_EQ(LogCount(kRegisteredTwice), 0u);

  // Starting again keeps every implementation and its state; only the bus's
  // second registration fails, inside the service manager.
  ZQExtensionManager::GetInstance()->SetLibFileVerifyEnable(true);
  ClearLog();
  ZQExtensionKit::InitSDK();
  EXPECT_EQ(LogCount(kRegisteredTwice), 1u);
  EXPECT_TRUE(ZQExtensionManager::GetInstance()->GetLibFileVerifyEnable());
  EXPECT_EQ(bus.ptr(), Bus().ptr());
  ZQExtensionManager::GetInstance()->SetLibFileVerifyEnable(false);
  ExpectEveryFacadeForwards();
}

}  // namespace
}  // namespace zqextensionkit
