// ZQServiceManagerImpl: the kit's registry of named services (internal; hosts
// reach it through ZQServiceManager).
//
// Registrations are keyed by class id; names map to class ids, so several
// names may share one registration. Singleton services are built on their
// first request and cached by class id for the life of the implementation.
//
// Locks: `info_mutex_` guards the two registration maps, `singleton_mutex_`
// the cache. The second may be taken while holding the first, never the
// reverse; neither is held while a service constructor runs. A singleton is
// built by one thread at a time: another thread that asks for it meanwhile
// waits and receives the instance that was cached, so the process holds one
// instance of each singleton service.

#ifndef ZQEXTENSIONKIT_SERVICE_INTERNAL_ZQSERVICEMANAGERIMPL_H_
#define ZQEXTENSIONKIT_SERVICE_INTERNAL_ZQSERVICEMANAGERIMPL_H_

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "ZQExtensionKit/defines/internal/ZQEKeyedClaims.h"
#include "ZQExtensionKit/service/IZQServiceManager.h"
#include "ZQExtensionKit/service/ZQServiceRegisterInfo.h"
#include "dlcom/comsentry.h"
#include "dlcom/unknown.h"

namespace zqextensionkit {

class ZQServiceManagerImpl final : public IZQServiceManager {
 public:
  ZQServiceManagerImpl();
  ~ZQServiceManagerImpl();

  ZQServiceManagerImpl(const ZQServiceManagerImpl&) = delete;
  ZQServiceManagerImpl& operator=(const ZQServiceManagerImpl&) = delete;

  bool RegisterService(ZQServiceRegisterInfo& info) override;
  void* GetService(const std::string& name) override;

 private:
  // A registration as stored: the caller's record with its interface id
  // parsed once, so that serving a cached singleton parses no text.
  struct ServiceRecord : ZQServiceRegisterInfo {
    explicit ServiceRecord(const ZQServiceRegisterInfo& info);
    ZQIID parsed_iid;
  };

  // Hands the cached object's by::IBaseUnknown pointer to the caller in
  // `*ppv` with a reference of its own.
  bool GetSingletonObject(const std::string& clsid, void** ppv);
  // The same without a message when nothing is cached: false, *ppv null.
  bool FindSingletonObject(const std::string& clsid, void** ppv);
  // Caches `ppv` (an interface pointer) under `clsid` unless an object is
  // cached there already; the cache takes its own reference.
  bool SetSingletonObject(const std::string& clsid, void* ppv);
  // The three lookups below run with `info_mutex_` held by their caller.
  // `*info` stays owned by the map; services are never unregistered, so it
  // stays valid for the life of the implementation.
  bool GetServiceRegisterInfo(const std::string& clsid, ServiceRecord** info);
  bool ServiceIsRegistered(const std::string& name);
  // The class id mapped to `name` (empty when there is none). The mapping is
  // never removed or changed, so the reference stays valid.
  const std::string& GetServiceClassId(const std::string& name);

  // Runs the record's constructor; an empty constructor, or one that
  // throws, fails.
  static bool Construct(const ZQServiceRegisterInfo& info, void** result);

  std::recursive_mutex singleton_mutex_;
  // Guarded by singleton_mutex_. Cached singletons by class id, one reference
  // each.
  std::map<std::string, by::com_ptr<by::IBaseUnknown>> singleton_obj_dict_;

  // The singletons being built, by class id.
  ZQEKeyedClaims singleton_constructions_;

  std::recursive_mutex info_mutex_;
  // Guarded by info_mutex_. Registrations by class id.
  std::map<std::string, std::shared_ptr<ServiceRecord>> service_register_infos_;
  // Guarded by info_mutex_. Service name -> class id.
  std::map<std::string, std::string> service_name_clsid_mapping_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SERVICE_INTERNAL_ZQSERVICEMANAGERIMPL_H_
