// What a plug-in library needs to hand its component classes to the kit.
//
// A plug-in library exports four C entry points, resolved by name:
//   HRESULT DllGetClassObject(const ZQGUID& rclsid, const ZQIID& riid,
//                             void** ppv);
//   HRESULT DllCanUnloadNow();  HRESULT DllRegisterServer();
//   HRESULT DllUnregisterServer();
// All four must exist or the kit refuses the library. The kit calls
// DllGetClassObject(CLSID_MDClassFactory, IID of
// by::IComObjectFrameworkClassFactory) once when it loads the library (a
// library that stores nothing there is unloaded again), and
// DllGetClassObject(class id, IID of by::IClassFactory__) for each object it
// creates; it queries that factory for IComObjectFrameworkClassFactory and
// calls its CreateInstance(nullptr, nullptr, iid, &object).
//
// With this header a library lists its classes once and exports the entry
// points from that table:
//
//   constexpr by::ComClassEntry kClasses[] = {
//       by::ComClass<CMyObject>(CLSID_MyObject),
//   };
//   BY_EXPORT_COM_CLASSES(kClasses)
//
// Each class is a component class (dlcom/comobject.h): it derives from its
// interfaces, then by::CUnknownImp, names them with BY_UNKNOWN_IMP or
// BY_INTERFACES, and may hide init_class to fail its own creation.
//
// Ownership: every pointer stored in an out-parameter carries one reference
// for the caller. Failures: DllGetClassObject returns
// CLASS_E_CLASSNOTAVAILABLE for a class id not in the table (storing null),
// E_NOINTERFACE for a factory interface it does not offer; CreateInstance
// passes on the failure of init_class or of the final query. Objects are
// created and freed by the library's own code, never across the boundary.
// Thread-safety: the table is constant; factories may be used from any
// thread.

#ifndef DLCOM_COMFACTORY_H_
#define DLCOM_COMFACTORY_H_

#include <cstddef>
#include <type_traits>

#include "dlcom/comobject.h"
#include "dlcom/comsentry.h"
#include "dlcom/guiddef.h"
#include "dlcom/unknown.h"

namespace by {

// Interfaces shared with separately compiled code are bare vtable pointers.
static_assert(std::is_polymorphic<IBaseUnknown>::value &&
                  sizeof(IBaseUnknown) == sizeof(void*),
              "IBaseUnknown is one vtable pointer");
static_assert(sizeof(IClassFactory__) == sizeof(void*) &&
                  sizeof(IComObjectFrameworkClassFactory) == sizeof(void*),
              "factory interfaces add no data");

// Creates an object of one class and returns it queried for `riid`.
typedef HRESULT (*ComCreateFunction)(IBaseUnknown* prot,
                                     IBaseUnknown* punkOuter,
                                     const ZQIID& riid,
                                     void** ppv);

// One row of a library's class table.
struct ComClassEntry {
  ZQGUID clsid;              // the class id the row answers
  ComCreateFunction create;  // makes an object of the class
};

// Creates a CComObject<T> (passing `prot` and `punkOuter` to its init_class)
// and queries it for `riid`; `*ppv` then holds the object's only reference.
template <class T>
HRESULT CreateComObject(IBaseUnknown* prot,
                        IBaseUnknown* punkOuter,
                        const ZQIID& riid,
                        void** ppv) {
  if (ppv == nullptr)
    return E_POINTER;
  CComObjectScopedPtr<T> object;
  const HRESULT hr =
      CComObject<T>::CreateInstanceEx(object.pp(), prot, punkOuter);
  if (hr != S_OK)
    return hr;
  return object->QueryInterface(riid, ppv);
}

// The class table row of class T under `clsid`.
template <class T>
constexpr ComClassEntry ComClass(const ZQGUID& clsid) {
  return ComClassEntry{clsid, &CreateComObject<T>};
}

// The class factory a library hands out: one per DllGetClassObject call,
// bound to one table row, or to none for the library's framework factory
// (CLSID_MDClassFactory), which creates nothing.
class CComClassFactory : public IComObjectFrameworkClassFactory,
                         public IClassFactory__,
                         public CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IComObjectFrameworkClassFactory, IClassFactory__)

  // Binds the factory to a table row (null: the framework factory).
  void SetClass(const ComClassEntry* entry) { entry_ = entry; }

  // IComObjectFrameworkClassFactory
  HRESULT LockServer(BOOL /*fLock*/) override { return S_OK; }
  HRESULT GetClassID(ZQGUID* pclsid) override {
    if (pclsid == nullptr)
      return E_POINTER;
    *pclsid = entry_ != nullptr ? entry_->clsid : CLSID_MDClassFactory;
    return S_OK;
  }
  HRESULT CreateInstance(IBaseUnknown* prot,
                         IBaseUnknown* punkOuter,
                         const ZQIID& riid,
                         void** ppv) override {
    if (entry_ == nullptr || entry_->create == nullptr)
      return CLASS_E_CLASSNOTAVAILABLE;
    return entry_->create(prot, punkOuter, riid, ppv);
  }

  // IClassFactory__
  HRESULT CreateInstance(IBaseUnknown* punkOuter,
                         const ZQIID& riid,
                         void** ppv) override {
    return CreateInstance(nullptr, punkOuter, riid, ppv);
  }

 private:
  const ComClassEntry* entry_ = nullptr;
};

// DllGetClassObject over a class table (see the contract above).
inline HRESULT GetClassObjectFromTable(const ComClassEntry* table,
                                       size_t count,
                                       const ZQGUID& rclsid,
                                       const ZQIID& riid,
                                       void** ppv) {
  if (ppv == nullptr)
    return E_POINTER;
  *ppv = nullptr;
  const ComClassEntry* entry = nullptr;
  if (!(rclsid == CLSID_MDClassFactory)) {
    for (size_t i = 0; i < count && entry == nullptr; ++i) {
      if (table[i].clsid == rclsid)
        entry = &table[i];
    }
    if (entry == nullptr)
      return CLASS_E_CLASSNOTAVAILABLE;
  }
  CComObjectScopedPtr<CComClassFactory> factory;
  const HRESULT hr = CComObject<CComClassFactory>::CreateInstance(factory.pp());
  if (hr != S_OK)
    return hr;
  factory->SetClass(entry);
  return factory->QueryInterface(riid, ppv);
}

}  // namespace by

// Exports the four entry points of a plug-in library from a class table (an
// array of by::ComClassEntry with static storage). Use once per library, at
// namespace scope. DllCanUnloadNow answers S_FALSE (keep the library); the
// registration entry points have nothing to do and answer S_OK.
#define BY_EXPORT_COM_CLASSES(table)                                   \
  extern "C" DLCOM_API HRESULT DllGetClassObject(                      \
      const ZQGUID& rclsid, const ZQIID& riid, void** ppv) {           \
    return ::by::GetClassObjectFromTable(                              \
        table, sizeof(table) / sizeof((table)[0]), rclsid, riid, ppv); \
  }                                                                    \
  extern "C" DLCOM_API HRESULT DllCanUnloadNow() {                     \
    return S_FALSE;                                                    \
  }                                                                    \
  extern "C" DLCOM_API HRESULT DllRegisterServer() {                   \
    return S_OK;                                                       \
  }                                                                    \
  extern "C" DLCOM_API HRESULT DllUnregisterServer() {                 \
    return S_OK;                                                       \
  }

#endif  // DLCOM_COMFACTORY_H_
