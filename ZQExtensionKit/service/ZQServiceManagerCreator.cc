#include "ZQExtensionKit/service/ZQServiceManagerCreator.h"

#include <mutex>

#include "ZQExtensionKit/defines/internal/ZQEManagerFrame.h"
#include "ZQExtensionKit/service/internal/ZQServiceManagerImpl.h"

namespace zqextensionkit {

namespace {

// The one implementation, released at process exit.
std::shared_ptr<IZQServiceManager> service_manager;
std::once_flag service_manager_once_flag;

}  // namespace

// static
std::shared_ptr<IZQServiceManager> ZQServiceManagerCreator::Create() {
  return CreateManagerImplOnce<ZQServiceManagerImpl>(service_manager_once_flag,
                                                     service_manager);
}

}  // namespace zqextensionkit
