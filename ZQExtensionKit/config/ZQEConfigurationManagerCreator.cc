#include "ZQExtensionKit/config/ZQEConfigurationManagerCreator.h"

#include <mutex>

#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/defines/internal/ZQEManagerFrame.h"

namespace zqextensionkit {

namespace {

// The one implementation, released at process exit.
std::shared_ptr<IZQEConfigurationManager> config_manager;
std::once_flag config_manager_once_flag;

}  // namespace

// static
std::shared_ptr<IZQEConfigurationManager>
ZQEConfigurationManagerCreator::Create() {
  return CreateManagerImplOnce<ZQEConfigurationManagerImpl>(
      config_manager_once_flag, config_manager);
}

}  // namespace zqextensionkit
