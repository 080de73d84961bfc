#include "ZQExtensionKit/bundle/ZQEBundleManager.h"

#include <utility>

#include "base/memory/singleton.h"

namespace zqextensionkit {

// static
ZQEBundleManager* ZQEBundleManager::GetInstance() {
  return base::Singleton<ZQEBundleManager,
                         base::LeakySingletonTraits<ZQEBundleManager>>::get();
}

ZQEBundleManager::ZQEBundleManager() = default;

ZQEBundleManager::~ZQEBundleManager() = default;

void ZQEBundleManager::Initialize(std::shared_ptr<IZQEBundleManager> impl) {
  impl_ = std::move(impl);
}

void ZQEBundleManager::UnInitialize() {
  impl_.reset();
}

// Each call forwards through its own copy of `impl_`, which keeps the
// implementation alive until the call returns.

bool ZQEBundleManager::LoadBundle(Artifact* artifact) {
  std::shared_ptr<IZQEBundleManager> impl = impl_;
  return impl && impl->LoadBundle(artifact);
}

bool ZQEBundleManager::LoadBundles(const std::vector<Artifact*>& artifacts) {
  std::shared_ptr<IZQEBundleManager> impl = impl_;
  return impl && impl->LoadBundles(artifacts);
}

bool ZQEBundleManager::GetComLoader(const std::string& key,
                                    CComLoader** loader) {
  std::shared_ptr<IZQEBundleManager> impl = impl_;
  return impl && impl->GetComLoader(key, loader);
}

bool ZQEBundleManager::ComLoaderIsExist(const std::string& key) {
  std::shared_ptr<IZQEBundleManager> impl = impl_;
  return impl && impl->ComLoaderIsExist(key);
}

}  // namespace zqextensionkit
