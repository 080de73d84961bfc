#include "ZQExtensionKit/service/internal/ZQServiceManagerImpl.h"

#include <utility>

#include "ZQExtensionKit/defines/internal/ZQEForeignCall.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "dlcom/guidstring.h"

namespace zqextensionkit {

namespace {

ZQELogService* Log() {
  return ZQELogService::GetInstance();
}

}  // namespace

ZQServiceManagerImpl::ServiceRecord::ServiceRecord(
    const ZQServiceRegisterInfo& info)
    : ZQServiceRegisterInfo(info), parsed_iid(S2GUIDA(iid.c_str(), true)) {}

ZQServiceManagerImpl::ZQServiceManagerImpl() = default;

ZQServiceManagerImpl::~ZQServiceManagerImpl() = default;

bool ZQServiceManagerImpl::RegisterService(ZQServiceRegisterInfo& info) {
  if (info.clsid.empty()) {
    Log()->LogMessage(0,
                      "service manager impl - register failed, because of "
                      "class id is empty");
    return false;
  }
  if (info.iid.empty()) {
    Log()->LogMessage(0,
                      "service manager impl - register failed, because of "
                      "interface id is empty");
    return false;
  }
  if (info.name.empty()) {
    Log()->LogMessage(0,
                      "service manager impl - register failed, because of "
                      "service name is empty");
    return false;
  }

  std::lock_guard<std::recursive_mutex> lock(info_mutex_);
  // Checked under the same hold as the insertion below, so two threads
  // registering one name cannot both succeed.
  if (ServiceIsRegistered(info.name)) {
    Log()->LogMessage(0,
                      "service manager impl - register failed, because of "
                      "the service name (%s) is registered",
                      info.name.c_str());
    return false;
  }
  // The first registration of a class id is kept; a second name for it maps
  // to that first record.
  service_register_infos_.emplace(info.clsid,
                                  std::make_shared<ServiceRecord>(info));
  service_name_clsid_mapping_.emplace(info.name, info.clsid);
  return true;
}

void* ZQServiceManagerImpl::GetService(const std::string& name) {
  if (name.empty()) {
    Log()->LogMessage(0,
                      "service manager impl - get service failed, because of "
                      "service name is empty");
    return nullptr;
  }
  ServiceRecord* info = nullptr;
  {
    // One hold for both lookups.
    std::lock_guard<std::recursive_mutex> lock(info_mutex_);
    // Registered names always map to a non-empty class id.
    const std::string& mapped_clsid = GetServiceClassId(name);
    if (mapped_clsid.empty()) {
      Log()->LogMessage(0,
                        "service manager impl - get service failed, because "
                        "of service is not registered");
      return nullptr;
    }
    if (!GetServiceRegisterInfo(mapped_clsid, &info)) {
      Log()->LogMessage(0,
                        "service manager impl - get service failed, because "
                        "of can't get service register info");
      return nullptr;
    }
  }
  // Records are never removed or replaced, so `info` (and its class id, the
  // key it is stored under) stays valid without the lock.
  const std::string& clsid = info->clsid;

  void* result = nullptr;
  if (!info->isSingleton) {
    if (!Construct(*info, &result)) {
      Log()->LogMessage(0,
                        "service manager impl - get service failed, because "
                        "of construct service failed");
      return nullptr;
    }
    return result;  // Carries the constructor's reference for the caller.
  }

  void* cached = nullptr;
  if (!GetSingletonObject(clsid, &cached)) {
    // Built with no lock held, by one thread at a time: a thread that asks
    // while another builds the service waits and takes the instance that
    // one cached, and so does one that asks just after another cached it
    // (the cache is looked at again once the claim is held). A constructor
    // that asks for its own service again on its thread builds an instance
    // of its own; the first one cached stays.
    const ZQEKeyedClaims::Claim construction =
        singleton_constructions_.Acquire(clsid);
    if (!FindSingletonObject(clsid, &cached)) {
      if (!Construct(*info, &result)) {
        Log()->LogMessage(0,
                          "service manager impl - get service "
                          "failed(singleton), because of construct service "
                          "failed");
        return nullptr;
      }
      SetSingletonObject(clsid, result);
      return result;  // Carries the constructor's reference for the caller.
    }
  }

  // The reference GetSingletonObject handed over is released on every path;
  // the caller receives the query's reference and the cache keeps its own.
  by::com_ptr<by::IBaseUnknown> cached_object;
  cached_object.attach(static_cast<by::IBaseUnknown*>(cached));
  if (!cached_object ||
      cached_object->QueryInterface(info->parsed_iid, &result) != S_OK) {
    Log()->LogMessage(0,
                      "service manager impl - get service failed(singleton), "
                      "because of query target service interface failed");
    return nullptr;
  }
  return result;
}

bool ZQServiceManagerImpl::GetSingletonObject(const std::string& clsid,
                                              void** ppv) {
  if (clsid.empty()) {
    Log()->LogMessage(0,
                      "service manager imp - get singleton object failed, "
                      "because of class id is empty");
    return false;
  }
  if (!FindSingletonObject(clsid, ppv)) {
    Log()->LogMessage(0,
                      "service manager imp - class id:%s, get singleton object "
                      "failed, because of object didn't founded",
                      clsid.c_str());
    return false;
  }
  return true;
}

bool ZQServiceManagerImpl::FindSingletonObject(const std::string& clsid,
                                               void** ppv) {
  *ppv = nullptr;
  // The object is queried, and any message logged, after the lock: neither
  // the service's code nor the host's logger runs under it.
  by::com_ptr<by::IBaseUnknown> object;
  {
    std::lock_guard<std::recursive_mutex> lock(singleton_mutex_);
    auto it = singleton_obj_dict_.find(clsid);
    if (it == singleton_obj_dict_.end())
      return false;
    object = it->second;
  }
  if (object)
    object->QueryInterface(by::__uuid_s<by::IBaseUnknown>::iid, ppv);
  return true;
}

bool ZQServiceManagerImpl::SetSingletonObject(const std::string& clsid,
                                              void* ppv) {
  if (clsid.empty()) {
    Log()->LogMessage(0,
                      "service manager impl - set singleton object failed, "
                      "because of class id is empty");
    return false;
  }
  if (!ppv) {
    Log()->LogMessage(0,
                      "service manager impl - class id:%s, set singleton "
                      "object failed, because of object pointer is nullptr",
                      clsid.c_str());
    return false;
  }
  // Every service interface derives from by::IBaseUnknown as its first
  // base, so the interface pointer is also that base's pointer; the com_ptr
  // queries it, taking the cache's own reference. The query, and the
  // release of a reference the cache does not take, run after the lock.
  by::com_ptr<by::IBaseUnknown> object(static_cast<by::IBaseUnknown*>(ppv));
  {
    std::lock_guard<std::recursive_mutex> lock(singleton_mutex_);
    singleton_obj_dict_.try_emplace(clsid, std::move(object));
  }
  return true;
}

bool ZQServiceManagerImpl::GetServiceRegisterInfo(const std::string& clsid,
                                                  ServiceRecord** info) {
  if (clsid.empty()) {
    Log()->LogMessage(0,
                      "service manager impl - get service register info "
                      "failed, because of class id is empty");
    return false;
  }
  auto it = service_register_infos_.find(clsid);
  if (it == service_register_infos_.end()) {
    *info = nullptr;
    Log()->LogMessage(0,
                      "service manager impl - get service register info "
                      "failed, because of class is not registered");
    return false;
  }
  *info = it->second.get();
  return true;
}

bool ZQServiceManagerImpl::ServiceIsRegistered(const std::string& name) {
  if (name.empty()) {
    Log()->LogMessage(0,
                      "service manager impl - query service is registered "
                      "failed, because of service name is empty");
    return false;
  }
  return service_name_clsid_mapping_.count(name) != 0;
}

const std::string& ZQServiceManagerImpl::GetServiceClassId(
    const std::string& name) {
  static const std::string kNoClassId;
  if (name.empty()) {
    Log()->LogMessage(0,
                      "service manager impl - get service class id failed, "
                      "because of service name is empty");
    return kNoClassId;
  }
  auto it = service_name_clsid_mapping_.find(name);
  return it != service_name_clsid_mapping_.end() ? it->second : kNoClassId;
}

// static
bool ZQServiceManagerImpl::Construct(const ZQServiceRegisterInfo& info,
                                     void** result) {
  *result = nullptr;
  // The service's constructor and init_class are the host's code: one that
  // throws has failed to construct the service.
  bool constructed = false;
  return info.constructor &&
         CallForeignCode([&] { constructed = info.constructor(result); }) &&
         constructed;
}

}  // namespace zqextensionkit
