// Links ZQExtensionKit.so the way a host does and uses only the umbrella
// header, so a symbol the kit forgets to export fails here at link time.
#include "ZQExtensionKit/ZQExtensionKitSDK.h"

#include <gtest/gtest.h>

TEST(ZQExtensionKitSDKSmokeTest, UmbrellaHeaderCompilesAndLinks) {
  SUCCEED();
}
