// A host reduced to starting the kit, written against the public headers
// only. The SDK checks build it with the link lines docs/sdk.md gives hosts
// (from the build tree, and through pkg-config from an installed package) and
// run it from another directory: a link line that leaves ZQExtensionKit.so
// unfindable at run time makes the dynamic loader refuse to start it.

#include <cstdio>

#include "ZQExtensionKit/ZQExtensionKitSDK.h"

int main() {
  zqextensionkit::ZQExtensionKit::InitSDK();
  IZQNotificationService* bus =
      zqextensionkit::ZQServiceManager::GetInstance()
          ->GetService<IZQNotificationService>("NotificationService");
  if (!bus) {
    std::fprintf(stderr, "the notification service is missing\n");
    return 1;
  }
  bus->Release();
  std::printf("ZQExtensionKit started\n");
  return 0;
}
