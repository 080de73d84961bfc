#include "ZQExtensionKit/container/ZQEObjectContainer.h"

#include <utility>

#include "ZQExtensionKit/defines/internal/ZQEForeignCall.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "base/memory/singleton.h"
#include "dlcom/guidstring.h"

namespace zqextensionkit {

namespace {

const char* BoolText(bool value) {
  return value ? "true" : "false";
}

// Runs the registered creator (host code). A creator that throws has failed
// like one that answers false.
bool RunCreator(const ZQEObjectRegisterInfo& info,
                const std::string& iid,
                const std::string& clsid,
                void** ppv) {
  bool created = false;
  return info.instance_creator && CallForeignCode([&] {
           created = info.instance_creator(iid, clsid, ppv);
         }) &&
         created;
}

}  // namespace

// static
ZQEObjectContainer* ZQEObjectContainer::GetInstance() {
  return base::Singleton<ZQEObjectContainer,
                         base::LeakySingletonTraits<ZQEObjectContainer>>::get();
}

ZQEObjectContainer::ZQEObjectContainer() = default;

ZQEObjectContainer::~ZQEObjectContainer() = default;

bool ZQEObjectContainer::Register(
    const InstanceCreateFunction& instance_creator,
    const std::string& clsid,
    bool isSingleton) {
  if (clsid.empty()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "object container impl - register failed, because of class id is "
        "empty");
    return false;
  }
  // The first registration of a class id stays in place.
  if (ClassIsRegistered(clsid))
    return true;

  std::lock_guard<std::recursive_mutex> info_lock(info_mutex_);
  auto info = std::make_shared<ZQEObjectRegisterInfo>();
  info->clsid = clsid;
  info->isSingleton = isSingleton;
  info->instance_creator = instance_creator;
  object_register_infos_.emplace(clsid, std::move(info));
  ZQELogService::GetInstance()->LogMessage(
      0,
      "object container impl - class id:%s, is singletion;%s, register "
      "success",
      clsid.c_str(), BoolText(isSingleton));
  return true;
}

bool ZQEObjectContainer::UnRegister(const std::string& clsid) {
  // The cached singleton is taken out under the locks but released only
  // after they are dropped (declared first, destroyed last): its destructor
  // may reach other locks of the kit (a registrar reaches the service
  // manager's), and one of those is held by code that then asks this
  // container something, so releasing it here would invert the lock order.
  by::com_ptr<by::IBaseUnknown> removed_singleton;
  std::lock_guard<std::recursive_mutex> info_lock(info_mutex_);
  if (clsid.empty()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "object container impl - unregister failed, because of class id is "
        "empty");
    return false;
  }
  auto it = object_register_infos_.find(clsid);
  if (it == object_register_infos_.end()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "object container impl - class id:%s, unregister failed, because of "
        "not found register info",
        clsid.c_str());
    return false;
  }
  // A creator still running on another thread keeps its own share of the
  // record, so erasing it here cannot pull the creator out from under it.
  object_register_infos_.erase(it);
  RemoveSingletonObject(clsid, &removed_singleton);
  ZQELogService::GetInstance()->LogMessage(
      0, "object container impl - class id:%s, unregister success",
      clsid.c_str());
  return true;
}

bool ZQEObjectContainer::ClassIsRegistered(const std::string& clsid) {
  std::lock_guard<std::recursive_mutex> info_lock(info_mutex_);
  if (clsid.empty()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "object container impl - query class is registered failed, because "
        "of class id is empty");
    return false;
  }
  const bool found =
      object_register_infos_.find(clsid) != object_register_infos_.end();
  LogRegistrationLookup(clsid, found);
  return found;
}

void ZQEObjectContainer::LogRegistrationLookup(const std::string& clsid,
                                               bool found) {
  ZQELogService::GetInstance()->LogMessage(
      0, "object container impl - class id:%s, class %s", clsid.c_str(),
      found ? "is registered" : "is not registered");
}

bool ZQEObjectContainer::GetObjectRegisterInfo(
    const std::string& clsid,
    std::shared_ptr<ZQEObjectRegisterInfo>* info) {
  if (clsid.empty()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "object container impl - get object register info failed, because "
        "of class id is empty");
    return false;
  }
  // Held across the check and the fetch, so no unregistration falls between
  // them.
  // The check is ClassIsRegistered()'s, message included, done with the
  // same lookup that fetches the record.
  std::lock_guard<std::recursive_mutex> info_lock(info_mutex_);
  auto it = object_register_infos_.find(clsid);
  const bool found = it != object_register_infos_.end();
  LogRegistrationLookup(clsid, found);
  if (!found) {
    info->reset();
    ZQELogService::GetInstance()->LogMessage(
        0,
        "object container impl - get object register info failed, because "
        "of class is not registered");
    return false;
  }
  *info = it->second;
  ZQELogService::GetInstance()->LogMessage(
      0, "object container impl - get object register info success");
  return true;
}

bool ZQEObjectContainer::GetSingletonObject(const std::string& clsid,
                                            void** ppv) {
  if (clsid.empty()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "object container impl - get singleton object failed, because of "
        "class id is empty");
    return false;
  }
  std::lock_guard<std::recursive_mutex> singleton_lock(singleton_mutex_);
  auto it = singleton_obj_dict_.find(clsid);
  if (it == singleton_obj_dict_.end()) {
    *ppv = nullptr;
    ZQELogService::GetInstance()->LogMessage(
        0,
        "object container impl - class id:%s, get singleton object failed, "
        "because of object didn't founded",
        clsid.c_str());
    return false;
  }
  // The query adds the caller's reference; the cache keeps its own.
  *ppv = nullptr;
  by::IBaseUnknown* cached = it->second.ptr();
  if (cached)
    cached->QueryInterface(by::__uuid_s<by::IBaseUnknown>::iid, ppv);
  ZQELogService::GetInstance()->LogMessage(
      0, "object container impl - class id:%s, get singleton object success",
      clsid.c_str());
  return true;
}

bool ZQEObjectContainer::SetSingletonObject(const std::string& clsid,
                                            void* ppv) {
  std::lock_guard<std::recursive_mutex> singleton_lock(singleton_mutex_);
  if (clsid.empty()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "object container impl - set singleton object failed, because of "
        "class id is empty");
    return false;
  }
  if (!ppv) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "object container impl - class id:%s, set singleton object failed, "
        "because of object pointer is nullptr",
        clsid.c_str());
    return false;
  }
  // An existing entry is kept: the first object cached wins.
  if (singleton_obj_dict_.find(clsid) == singleton_obj_dict_.end()) {
    // Every component interface starts with by::IBaseUnknown, so the
    // interface pointer is also the object's by::IBaseUnknown pointer.
    // com_ptr queries it, adding the reference the cache holds.
    by::com_ptr<by::IBaseUnknown> object(static_cast<by::IBaseUnknown*>(ppv));
    // An object that does not answer by::IBaseUnknown is not cached: a null
    // entry would make later creations report success with no object.
    if (object.ptr())
      singleton_obj_dict_.emplace(clsid, std::move(object));
  }
  ZQELogService::GetInstance()->LogMessage(
      0, "object container impl - class id:%s, set singleton object success",
      clsid.c_str());
  return true;
}

bool ZQEObjectContainer::RemoveSingletonObject(
    const std::string& clsid,
    by::com_ptr<by::IBaseUnknown>* removed) {
  if (clsid.empty()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "object container impl - remove singleton object failed, because of "
        "class id is empty");
    return false;
  }
  std::lock_guard<std::recursive_mutex> singleton_lock(singleton_mutex_);
  auto it = singleton_obj_dict_.find(clsid);
  if (it != singleton_obj_dict_.end()) {
    *removed = std::move(it->second);
    singleton_obj_dict_.erase(it);
  }
  return true;
}

bool ZQEObjectContainer::CreateObjectInstance(const std::string& iid,
                                              const std::string& clsid,
                                              void** ppv) {
  ZQELogService* log = ZQELogService::GetInstance();
  if (iid.empty()) {
    log->LogMessage(0,
                    "object container impl - create object instance by "
                    "creator failed, because of iid is empty");
    return false;
  }
  if (clsid.empty()) {
    log->LogMessage(0,
                    "object container impl - create object instance by "
                    "creator failed, because of class id is empty");
    return false;
  }
  if (!ClassIsRegistered(clsid)) {
    log->LogMessage(0,
                    "object container impl - create object instance by "
                    "creator failed, because of class is not registered");
    return false;
  }
  // A shared copy: the record outlives an UnRegister on another thread while
  // its creator runs below.
  std::shared_ptr<ZQEObjectRegisterInfo> info;
  if (!GetObjectRegisterInfo(clsid, &info) || !info) {
    log->LogMessage(0,
                    "object container impl - create object instance by "
                    "creator failed, because of can't get object register "
                    "info");
    return false;
  }
  log->LogMessage(0,
                  "object container impl - create object instance by "
                  "creator, iid:%s, class id:%s, singleton:%s",
                  iid.c_str(), clsid.c_str(), BoolText(info->isSingleton));

  bool created = false;
  if (info->isSingleton) {
    if (GetSingletonObject(clsid, ppv)) {
      log->LogMessage(
          0,
          "object container impl - create object instance by creator success");
      return true;
    }
    created = RunCreator(*info, iid, clsid, ppv);
    if (created) {
      // The creator ran with no lock held. If the class was unregistered (or
      // registered anew) meanwhile, caching the object now would leave it in
      // the cache of a class id that no longer names this registration:
      // UnRegister could no longer release it and a later registration
      // would be served the old creator's object. The caller then keeps the
      // only reference. Checked and cached under info_mutex_, so no
      // UnRegister falls in between.
      std::lock_guard<std::recursive_mutex> info_lock(info_mutex_);
      auto it = object_register_infos_.find(clsid);
      const bool still_registered =
          it != object_register_infos_.end() && it->second == info;
      if (!still_registered && *ppv != nullptr)
        return true;
      if (!SetSingletonObject(clsid, *ppv)) {
        log->LogMessage(0,
                        "object container impl - create object instance by "
                        "creator failed, because of set singleton object "
                        "failed");
        return false;
      }
      return true;
    }
  } else {
    created = RunCreator(*info, iid, clsid, ppv);
    if (created) {
      log->LogMessage(
          0,
          "object container impl - create object instance by creator success");
      return true;
    }
  }
  log->LogMessage(0,
                  "object container impl - create object instance by creator "
                  "failed, because of instance creator execute failed");
  return false;
}

bool ZQEObjectContainer::CreateObjectInstance(const std::string& iid,
                                              const std::string& clsid,
                                              bool isSingleton,
                                              CComLoader* loader,
                                              void** ppv) {
  ZQELogService* log = ZQELogService::GetInstance();
  if (iid.empty()) {
    log->LogMessage(0,
                    "object container impl - create object instance failed by "
                    "library, because of iid is empty");
    return false;
  }
  if (clsid.empty()) {
    log->LogMessage(0,
                    "object container impl - create object instance failed by "
                    "library, because of class id is empty");
    return false;
  }
  log->LogMessage(0,
                  "object container impl - create object instance by library, "
                  "iid:%s, class id:%s, is singleton:%s",
                  iid.c_str(), clsid.c_str(), BoolText(isSingleton));

  if (!isSingleton || !GetSingletonObject(clsid, ppv)) {
    const ZQIID iid_record = S2GUIDA(iid.c_str(), true);
    const ZQGUID clsid_record = S2GUIDA(clsid.c_str(), true);
    // The loader checks that its library is loaded and that the library's
    // class-object entry point was resolved before calling it. A factory
    // that reports success without an object counts as a failure.
    HRESULT result = E_FAIL;
    const bool created = loader && loader->IsLoaded() && CallForeignCode([&] {
                           result = loader->CreateInstance(
                               clsid_record, nullptr, nullptr, iid_record, ppv);
                         }) &&
                         result == S_OK && *ppv;
    if (!created) {
      log->LogMessage(0,
                      "object container impl - create object instance failed, "
                      "because of com loader create instance failed");
      return false;
    }
    log->LogMessage(
        0, "object container impl - com loader create instance success");
    if (isSingleton && !SetSingletonObject(clsid, *ppv)) {
      log->LogMessage(0,
                      "object container impl - create object instance failed, "
                      "because of set singleton object failed");
      return false;
    }
  }
  log->LogMessage(0, "object container impl - create object instance success");
  return true;
}

}  // namespace zqextensionkit
