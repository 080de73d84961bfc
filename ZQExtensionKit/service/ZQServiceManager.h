// ZQServiceManager: the process-wide facade of the kit's registry of named
// services (the notification service, the host's network service, ...).
//
// A service is a component class T registered once under a name with the
// text forms of its class id and interface id; GetService<I>(name) then hands
// out its interface I, building it with by::CComObject<T> or, for a
// singleton, taking it from the manager's cache.
//
// Ownership: a non-null result of GetService<I>() carries one reference for
// the caller, who releases it with Release() when done (a by::com_ptr<I>
// with attach() does it automatically). Cached singletons stay alive as long
// as the implementation; services cannot be unregistered.
//
// Failure: with no implementation installed, RegisterService() returns false
// and GetService() null, silently; otherwise each failure of the
// implementation is one message through the log service (see
// IZQServiceManager). Nothing is thrown.
//
// Threads: every operation may be called from any thread, concurrently.
// The facade's `impl_mutex_` guards only `impl_`: a call takes a reference
// to the installed implementation under it and runs without it, so a service
// constructor may call any facade of the kit, on its own thread or by
// waiting for another. A call in flight keeps the implementation it took
// alive, even across UnInitialize().
//
//   ZQServiceManager* services = ZQServiceManager::GetInstance();
//   services->RegisterService<MyService, IMyService>(
//       "MyService", "{...class id...}", "{...IMyService id...}", true);
//   IMyService* service = services->GetService<IMyService>("MyService");
//   if (service) {
//     service->DoWork();
//     service->Release();
//   }

#ifndef ZQEXTENSIONKIT_SERVICE_ZQSERVICEMANAGER_H_
#define ZQEXTENSIONKIT_SERVICE_ZQSERVICEMANAGER_H_

#include <memory>
#include <mutex>
#include <string>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "ZQExtensionKit/service/IZQServiceManager.h"
#include "ZQExtensionKit/service/ZQServiceRegisterInfo.h"
#include "dlcom/comobject.h"
#include "dlcom/comsentry.h"
#include "dlcom/unknown.h"

namespace base {
inline namespace zqe {
template <typename Type>
struct DefaultSingletonTraits;
}  // namespace zqe
}  // namespace base

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQServiceManager {
 public:
  // The process-wide facade, created on the first call and never destroyed.
  static ZQServiceManager* GetInstance();

  ZQServiceManager(const ZQServiceManager&) = delete;
  ZQServiceManager& operator=(const ZQServiceManager&) = delete;

  // Installs `impl`, dropping the facade's reference to the previous one.
  void Initialize(std::shared_ptr<IZQServiceManager> impl);
  // Drops the installed implementation; calls then fail until Initialize().
  void UnInitialize();

  // Registers component class T as the service `name`, handing out interface
  // I. Each request for a new instance creates a by::CComObject<T> and
  // queries it for I's compiled-in id; `iid` is the text under which a cached
  // singleton is queried again on later requests, so it must be I's id.
  // Returns the implementation's result.
  template <typename T, typename I>
  bool RegisterService(const std::string& name,
                       const std::string& clsid,
                       const std::string& iid,
                       bool isSingleton) {
    std::shared_ptr<IZQServiceManager> impl = GetImpl();
    if (!impl)
      return false;
    ZQServiceRegisterInfo info;
    info.name = name;
    info.clsid = clsid;
    info.iid = iid;
    info.isSingleton = isSingleton;
    info.constructor = [](void** ppv) -> bool {
      by::CComObjectScopedPtr<T> object;
      if (by::CComObject<T>::CreateInstance(object.pp()) != S_OK)
        return false;
      // The scoped pointer releases the creation reference, so `*ppv` holds
      // the only one.
      return object->QueryInterface(by::__uuid_s<I>::iid, ppv) == S_OK;
    };
    return impl->RegisterService(info);
  }

  // The service registered as `name`, as interface I (no further interface
  // query: I must be the interface the service was registered with), or
  // null. A non-null result carries one reference for the caller.
  template <typename I>
  I* GetService(const std::string& name) {
    std::shared_ptr<IZQServiceManager> impl = GetImpl();
    if (!impl)
      return nullptr;
    return static_cast<I*>(impl->GetService(name));
  }

 private:
  friend struct base::DefaultSingletonTraits<ZQServiceManager>;

  ZQServiceManager();
  ~ZQServiceManager();

  // A copy of `impl_`, taken under `impl_mutex_`.
  std::shared_ptr<IZQServiceManager> GetImpl();

  // Guards impl_; never held while the implementation runs.
  std::recursive_mutex impl_mutex_;
  // Guarded by impl_mutex_. The installed implementation; empty until
  // Initialize().
  std::shared_ptr<IZQServiceManager> impl_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SERVICE_ZQSERVICEMANAGER_H_
