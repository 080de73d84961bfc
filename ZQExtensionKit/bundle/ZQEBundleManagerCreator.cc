#include "ZQExtensionKit/bundle/ZQEBundleManagerCreator.h"

#include <mutex>

#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/defines/internal/ZQEManagerFrame.h"

namespace zqextensionkit {

namespace {

// The one implementation, released at process exit (which releases its
// bundle objects and closes its libraries).
std::shared_ptr<IZQEBundleManager> bundle_manager;
std::once_flag bundle_manager_once_flag;

}  // namespace

// static
std::shared_ptr<IZQEBundleManager> ZQEBundleManagerCreator::Create() {
  return CreateManagerImplOnce<ZQEBundleManagerImpl>(bundle_manager_once_flag,
                                                     bundle_manager);
}

}  // namespace zqextensionkit
