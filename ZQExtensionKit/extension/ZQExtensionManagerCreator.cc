#include "ZQExtensionKit/extension/ZQExtensionManagerCreator.h"

#include <mutex>

#include "ZQExtensionKit/defines/internal/ZQEManagerFrame.h"
#include "ZQExtensionKit/extension/internal/ZQExtensionManagerImpl.h"

namespace zqextensionkit {

namespace {

// The one implementation, released at process exit.
std::shared_ptr<IZQExtensionManager> extension_manager;
std::once_flag extension_manager_once_flag;

}  // namespace

// static
std::shared_ptr<IZQExtensionManager> ZQExtensionManagerCreator::Create() {
  return CreateManagerImplOnce<ZQExtensionManagerImpl>(
      extension_manager_once_flag, extension_manager);
}

}  // namespace zqextensionkit
