// ZQEObjectContainer: the process-wide registry of component classes and the
// cache of their singleton instances.
//
// A class is registered under the 38-character text form of its class id with
// a creator and a singleton flag; callers then create instances by interface
// id and class id. A second path creates instances of classes that live in a
// plug-in library, through that library's CComLoader, and caches them as
// singletons on request. The first registration of a class id, and the first
// object cached under it, win; later ones are ignored.
//
// Ownership: every successful creation, cached or not, leaves in *ppv a
// pointer that carries one reference for the caller, who releases it. A
// singleton taken from the cache is handed out as its by::IBaseUnknown
// pointer whatever interface was asked for, so query it for the interface
// you need rather than casting. The
// singleton cache holds one reference of its own to each cached object until
// the class is unregistered. `ppv` must not be null. The loader passed for
// creation by library stays owned by the caller and must stay loaded for the
// call.
//
// Failure: every operation returns false on failure with one message through
// ZQELogService (level 0); nothing is thrown by the container itself. A failed
// creation leaves both maps unchanged. A creator or plug-in factory that
// throws has failed like one that reports failure: the exception ends in
// the container, which logs the creation's failure message.
//
// Threads: every operation may be called from any thread. Creators and plug-in
// factories run with no lock held, so two threads creating the same singleton
// class at once may both run the creator: the first object cached wins and
// the other caller keeps its own instance. An object whose creator finishes
// after its class was unregistered is not cached either: its caller holds the
// only reference. UnRegister releases a cached singleton only after it has
// dropped the container's locks, so the object's destructor may use the kit
// (unsubscribe a registrar, ask for a service) without inverting lock order.
//
//   auto* container = ZQEObjectContainer::GetInstance();
//   container->Register(&CreateMyClass, kMyClassId, /*isSingleton=*/true);
//   void* object = nullptr;
//   if (container->CreateObjectInstance(kMyIid, kMyClassId, &object) && object)
//     static_cast<by::IBaseUnknown*>(object)->Release();

#ifndef ZQEXTENSIONKIT_CONTAINER_ZQEOBJECTCONTAINER_H_
#define ZQEXTENSIONKIT_CONTAINER_ZQEOBJECTCONTAINER_H_

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "dlcom/comsentry.h"
#include "dlcom/loadcom.h"
#include "dlcom/unknown.h"

namespace base {
inline namespace zqe {
template <typename Type>
struct DefaultSingletonTraits;
}  // namespace zqe
}  // namespace base

namespace zqextensionkit {

// Creates an instance of class `clsid`, stores in *ppv its interface `iid`
// (carrying one reference for the caller) and returns true on success.
using InstanceCreateFunction = std::function<
    bool(const std::string& iid, const std::string& clsid, void** ppv)>;

// One registration.
struct ZQEObjectRegisterInfo {
  std::string clsid;                        // "{...}" text of the class id
  bool isSingleton = false;                 // one cached instance
  InstanceCreateFunction instance_creator;  // makes the instances
};

// The object container's operations (see the top of this file).
class ZQEXTENSIONKIT_EXPORT IZQEObjectContainer {
 public:
  // Creates an instance of `clsid` from the library behind `loader` (the
  // class need not be registered). With `isSingleton`, a cached instance is
  // returned when there is one, and a new instance is cached.
  virtual bool CreateObjectInstance(const std::string& iid,
                                    const std::string& clsid,
                                    bool isSingleton,
                                    CComLoader* loader,
                                    void** ppv) = 0;
  // Creates an instance of the registered class `clsid` with its creator. A
  // singleton class answers from its cache once created: then *ppv is the
  // cached object's by::IBaseUnknown pointer, whatever `iid` asked for.
  virtual bool CreateObjectInstance(const std::string& iid,
                                    const std::string& clsid,
                                    void** ppv) = 0;
  // Registers `clsid`; registering an id again keeps the first registration
  // and returns true.
  virtual bool Register(const InstanceCreateFunction& instance_creator,
                        const std::string& clsid,
                        bool isSingleton) = 0;
  // Removes the registration and releases a cached singleton of `clsid`.
  virtual bool UnRegister(const std::string& clsid) = 0;
  virtual bool ClassIsRegistered(const std::string& clsid) = 0;

  virtual ~IZQEObjectContainer() = default;
};

class ZQEXTENSIONKIT_EXPORT ZQEObjectContainer final
    : public IZQEObjectContainer {
 public:
  // The process-wide instance, created on first use, never destroyed.
  static ZQEObjectContainer* GetInstance();

  ZQEObjectContainer(const ZQEObjectContainer&) = delete;
  ZQEObjectContainer& operator=(const ZQEObjectContainer&) = delete;

  bool CreateObjectInstance(const std::string& iid,
                            const std::string& clsid,
                            bool isSingleton,
                            CComLoader* loader,
                            void** ppv) override;
  bool CreateObjectInstance(const std::string& iid,
                            const std::string& clsid,
                            void** ppv) override;
  bool Register(const InstanceCreateFunction& instance_creator,
                const std::string& clsid,
                bool isSingleton) override;
  bool UnRegister(const std::string& clsid) override;
  bool ClassIsRegistered(const std::string& clsid) override;

 private:
  friend struct base::DefaultSingletonTraits<ZQEObjectContainer>;

  ZQEObjectContainer();
  ~ZQEObjectContainer() override;

  // Hands out the cached object's by::IBaseUnknown pointer with a reference
  // for the caller. False (and *ppv null) when nothing is cached.
  bool GetSingletonObject(const std::string& clsid, void** ppv);
  // Caches `ppv` (an interface pointer) under `clsid` unless an entry exists.
  bool SetSingletonObject(const std::string& clsid, void* ppv);
  // Moves the cached object of `clsid`, if any, into `*removed`, so that the
  // caller releases the cache's reference once it holds no lock.
  bool RemoveSingletonObject(const std::string& clsid,
                             by::com_ptr<by::IBaseUnknown>* removed);
  // Shares ownership of the registration record, so it stays valid while the
  // caller uses it even if another thread unregisters the class meanwhile.
  bool GetObjectRegisterInfo(const std::string& clsid,
                             std::shared_ptr<ZQEObjectRegisterInfo>* info);
  // Writes ClassIsRegistered()'s message for `clsid`.
  void LogRegistrationLookup(const std::string& clsid, bool found);

  // Lock order: info_mutex_ may be held while singleton_mutex_ is taken,
  // never the reverse.
  std::recursive_mutex singleton_mutex_;
  // Guarded by singleton_mutex_. Holds one reference to each cached object;
  // never holds a null pointer.
  std::map<std::string, by::com_ptr<by::IBaseUnknown>> singleton_obj_dict_;
  std::recursive_mutex info_mutex_;
  // Guarded by info_mutex_.
  std::map<std::string, std::shared_ptr<ZQEObjectRegisterInfo>>
      object_register_infos_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONTAINER_ZQEOBJECTCONTAINER_H_
