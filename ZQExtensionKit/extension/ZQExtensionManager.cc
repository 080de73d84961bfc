#include "ZQExtensionKit/extension/ZQExtensionManager.h"

#include <utility>

#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/trace/internal/ZQETrace.h"
#include "base/memory/singleton.h"

namespace zqextensionkit {

// static
ZQExtensionManager* ZQExtensionManager::GetInstance() {
  return base::Singleton<ZQExtensionManager,
                         base::LeakySingletonTraits<ZQExtensionManager>>::get();
}

ZQExtensionManager::ZQExtensionManager() = default;

ZQExtensionManager::~ZQExtensionManager() = default;

void ZQExtensionManager::Initialize(std::shared_ptr<IZQExtensionManager> impl) {
  {
    std::lock_guard<std::recursive_mutex> lock(impl_mutex_);
    impl_.swap(impl);
  }
  // The previous implementation, when this was its last reference, goes
  // here with no lock held.
}

void ZQExtensionManager::UnInitialize() {
  Initialize(nullptr);
  // The host is done with the kit: the start-up trace is written now.
  ZQETrace::Flush();
}

void ZQExtensionManager::SetImpl(
    const std::shared_ptr<IZQExtensionManager>& impl) {
  if (impl)
    Initialize(impl);
}

std::shared_ptr<IZQExtensionManager> ZQExtensionManager::GetImpl() {
  std::lock_guard<std::recursive_mutex> lock(impl_mutex_);
  return impl_;
}

template <typename Result, typename... Params, typename... Args>
Result ZQExtensionManager::Forward(
    Result (IZQExtensionManager::*operation)(Params...),
    const char* missing_impl_message,
    Args&&... args) {
  // The lock guards `impl_` only: the implementation runs plug-in and host
  // code, which may call back into any facade, from any thread.
  std::shared_ptr<IZQExtensionManager> impl = GetImpl();
  if (!impl) {
    ZQELogService::GetInstance()->LogMessage(0, "%s", missing_impl_message);
    return Result();
  }
  return ((*impl).*operation)(std::forward<Args>(args)...);
}

void ZQExtensionManager::SetFoundationVersion(const std::string& version) {
  std::shared_ptr<IZQExtensionManager> impl = GetImpl();
  if (!impl) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "extension manager set foundation version (%s) failed, because of "
        "extension manager impl is null",
        version.c_str());
    return;
  }
  impl->SetFoundationVersion(version);
}

bool ZQExtensionManager::Load() {
  return Forward(&IZQExtensionManager::Load,
                 "extension manager load failed, because of extension manager "
                 "impl is null");
}

bool ZQExtensionManager::Unload() {
  return Forward(&IZQExtensionManager::Unload,
                 "extension manager unload failed, because of extension "
                 "manager impl is null");
}

bool ZQExtensionManager::GetExtension(const std::string& extensionPointId,
                                      void** pExtension) {
  return Forward(&IZQExtensionManager::GetExtension,
                 "extension manager get extension by extension point id "
                 "failed, because of extension manager impl is null",
                 extensionPointId, pExtension);
}

bool ZQExtensionManager::GetExtensionList(const std::string& extensionPointId,
                                          std::vector<void*>& extensionVector) {
  return Forward(&IZQExtensionManager::GetExtensionList,
                 "extension manager get extension list by extension point id "
                 "failed, because of extension manager impl is null",
                 extensionPointId, extensionVector);
}

bool ZQExtensionManager::GetExtensionById(const std::string& extensionId,
                                          void** pExtension) {
  return Forward(&IZQExtensionManager::GetExtensionById,
                 "extension manager get extension by extension id failed, "
                 "because of extension manager impl is null",
                 extensionId, pExtension);
}

bool ZQExtensionManager::RegisterExtension(
    const InstanceCreateFunction& instance_creator,
    const std::string& clsid,
    bool isSingleton) {
  return Forward(&IZQExtensionManager::RegisterExtension,
                 "extension manager register extension failed, because of "
                 "extension manager impl is null",
                 instance_creator, clsid, isSingleton);
}

bool ZQExtensionManager::unRegisterExtension(const std::string& clsid) {
  return Forward(&IZQExtensionManager::unRegisterExtension,
                 "extension manager unregister extension failed, because of "
                 "extension manager impl is null",
                 clsid);
}

bool ZQExtensionManager::GetLibFileVerifyEnable() {
  return Forward(&IZQExtensionManager::GetLibFileVerifyEnable,
                 "extension manager get lib file verify enable failed, "
                 "because of extension manager impl is null");
}

void ZQExtensionManager::SetLibFileVerifyEnable(bool enable) {
  Forward(&IZQExtensionManager::SetLibFileVerifyEnable,
          "extension manager set lib file verify enable failed, because of "
          "extension manager impl is null",
          enable);
}

bool ZQExtensionManager::GetSignVerifyEnable() {
  return Forward(&IZQExtensionManager::GetSignVerifyEnable,
                 "extension manager get sign verify enable failed, because of "
                 "extension manager impl is null");
}

void ZQExtensionManager::SetSignVerifyEnable(bool enable) {
  Forward(&IZQExtensionManager::SetSignVerifyEnable,
          "extension manager set sign verify enable failed, because of "
          "extension manager impl is null",
          enable);
}

bool ZQExtensionManager::SetSecKey(const std::string& sec_key) {
  // The key is a secret: the message never carries it.
  return Forward(&IZQExtensionManager::SetSecKey,
                 "extension manager set sec key failed, because of extension "
                 "manager impl is null",
                 sec_key);
}

bool ZQExtensionManager::SetDebugModeEnable(bool enable) {
  return Forward(&IZQExtensionManager::SetDebugModeEnable,
                 "extension manager set debug mode enable failed, because of "
                 "extension manager impl is null",
                 enable);
}

void ZQExtensionManager::SetFetchExtensionAuthInfoCallback(
    const FetchExtensionAuthInfoCallback& callback) {
  Forward(&IZQExtensionManager::SetFetchExtensionAuthInfoCallback,
          "extension manager set fetch extension auth info callback failed, "
          "because of extension manager impl is null",
          callback);
}

size_t ZQExtensionManager::GetLibFileVerifyThreads() {
  return Forward(&IZQExtensionManager::GetLibFileVerifyThreads,
                 "extension manager get lib file verify threads failed, "
                 "because of extension manager impl is null");
}

void ZQExtensionManager::SetLibFileVerifyThreads(size_t threads) {
  Forward(&IZQExtensionManager::SetLibFileVerifyThreads,
          "extension manager set lib file verify threads failed, because of "
          "extension manager impl is null",
          threads);
}

bool ZQExtensionManager::SetInstallationDir(const std::string& dir) {
  return Forward(&IZQExtensionManager::SetInstallationDir,
                 "extension manager set installation dir failed, because of "
                 "extension manager impl is null",
                 dir);
}

std::string ZQExtensionManager::GetInstallationDir() {
  return Forward(&IZQExtensionManager::GetInstallationDir,
                 "extension manager get installation dir failed, because of "
                 "extension manager impl is null");
}

std::string ZQExtensionManager::GetLoadReport() {
  return Forward(&IZQExtensionManager::GetLoadReport,
                 "extension manager get load report failed, because of "
                 "extension manager impl is null");
}

bool ZQExtensionManager::AddTrustedSignKey(const std::string& publicKeyPem) {
  return Forward(&IZQExtensionManager::AddTrustedSignKey,
                 "extension manager add trusted sign key failed, because of "
                 "extension manager impl is null",
                 publicKeyPem);
}

void ZQExtensionManager::ClearTrustedSignKeys() {
  Forward(&IZQExtensionManager::ClearTrustedSignKeys,
          "extension manager clear trusted sign keys failed, because of "
          "extension manager impl is null");
}

std::vector<std::string> ZQExtensionManager::GetTrustedSignKeys() {
  return Forward(&IZQExtensionManager::GetTrustedSignKeys,
                 "extension manager get trusted sign keys failed, because of "
                 "extension manager impl is null");
}

void ZQExtensionManager::SetLazyLibraryLoading(bool enable) {
  Forward(&IZQExtensionManager::SetLazyLibraryLoading,
          "extension manager set lazy library loading failed, because of "
          "extension manager impl is null",
          enable);
}

bool ZQExtensionManager::GetLazyLibraryLoading() {
  return Forward(&IZQExtensionManager::GetLazyLibraryLoading,
                 "extension manager get lazy library loading failed, because "
                 "of extension manager impl is null");
}

}  // namespace zqextensionkit
