#include "ZQExtensionKit/service/ZQServiceManager.h"

#include <utility>

#include "base/memory/singleton.h"

namespace zqextensionkit {

// static
ZQServiceManager* ZQServiceManager::GetInstance() {
  return base::Singleton<ZQServiceManager,
                         base::LeakySingletonTraits<ZQServiceManager>>::get();
}

ZQServiceManager::ZQServiceManager() = default;

ZQServiceManager::~ZQServiceManager() = default;

void ZQServiceManager::Initialize(std::shared_ptr<IZQServiceManager> impl) {
  {
    std::lock_guard<std::recursive_mutex> lock(impl_mutex_);
    impl_.swap(impl);
  }
  // The previous implementation, when this was its last reference, goes
  // here with no lock held: its cached services are released, which runs
  // their destructors.
}

void ZQServiceManager::UnInitialize() {
  Initialize(nullptr);
}

std::shared_ptr<IZQServiceManager> ZQServiceManager::GetImpl() {
  std::lock_guard<std::recursive_mutex> lock(impl_mutex_);
  return impl_;
}

}  // namespace zqextensionkit
