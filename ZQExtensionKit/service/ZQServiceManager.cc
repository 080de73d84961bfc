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
  impl_ = std::move(impl);
}

void ZQServiceManager::UnInitialize() {
  impl_.reset();
}

std::shared_ptr<IZQServiceManager> ZQServiceManager::GetImpl() {
  return impl_;
}

}  // namespace zqextensionkit
