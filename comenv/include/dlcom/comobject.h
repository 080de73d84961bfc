// The component template and the model's null object.
//
// Contract:
// - `by::CComObject<T>` wraps a component class `T` (which derives from its
//   interface(s) and then from `by::CUnknownImp`) and supplies the three
//   `IBaseUnknown` operations with the behaviour of `T`'s own. Each one that
//   `T` declares itself (or inherits from a class below the one that wrote
//   `BY_INTERFACES`) is called as it is; where `T` only names its interfaces
//   with `BY_INTERFACES(...)`, in its own body or through a base such as
//   `ZQBaseExtension`, the operation is the standard one over the list and
//   `m_RefCount`. Its destructor is protected: a component is destroyed only
//   by the `Release` that brings its count to 0, never deleted by a caller.
// - `CreateInstance(&p)` constructs the object, takes the first reference,
//   calls `T::init_class(nullptr, nullptr)` and, on `S_OK`, stores the object
//   in `*p` carrying that reference. When `init_class` returns anything else
//   the object is destroyed at once and that result is returned; `*p` is not
//   set. An exception from `init_class` (or the constructor) passes on, and
//   the object is destroyed (freed) first. A null `p` gives `E_POINTER`, an
//   allocation failure `E_OUTOFMEMORY`. `CreateInstanceEx` passes its own
//   `prot`/`punkOuter` to `init_class`; `CreateInstance2` creates and queries
//   for `riid` in one step.
// - `by::CNullObjcetUnkown` is a do-nothing component answering only
//   `IBaseUnknown`.
// Thread-safety: creation may run on any thread; counts are atomic.

#ifndef DLCOM_COMOBJECT_H_
#define DLCOM_COMOBJECT_H_

#include <new>

#include "dlcom/unknown.h"

namespace by {

// The concrete object of a component class T: supplies QueryInterface,
// AddRef and Release from T's interface list, or calls the ones T writes
// itself, and is destroyed by its last Release().
template <class T>
class CComObject : public T {
 public:
  CComObject() = default;
  CComObject(const CComObject&) = delete;
  CComObject& operator=(const CComObject&) = delete;

  // T's own QueryInterface, or the answer of T's interface list.
  HRESULT QueryInterface(const ZQIID& riid, void** ppv) override {
    if constexpr (detail::uses_own_operation<T, detail::QueryInterfaceOp>) {
      return T::QueryInterface(riid, ppv);
    } else {
      return QueryInterfaceFromList(static_cast<T*>(this),
                                    typename T::by_interface_list(), riid, ppv);
    }
  }

  // T's own AddRef, or a reference added to T's count.
  ULONG AddRef() override {
    if constexpr (detail::uses_own_operation<T, detail::AddRefOp>) {
      return T::AddRef();
    } else {
      return this->InternalAddRef();
    }
  }

  // T's own Release, or a reference dropped from T's count, destroying the
  // object with the last.
  ULONG Release() override {
    if constexpr (detail::uses_own_operation<T, detail::ReleaseOp>) {
      return T::Release();
    } else {
      const ULONG count = this->InternalRelease();
      if (count == 0)
        delete this;
      return count;
    }
  }

  // CreateInstanceEx() without outer objects.
  static HRESULT CreateInstance(CComObject<T>** pp) {
    return CreateInstanceEx(pp, nullptr, nullptr);
  }

  // Creates an object, calls its init_class(prot, punkOuter) and stores it
  // in `*pp` with one reference for the caller. Returns `S_OK`, or the
  // failure of the allocation or of init_class (the object is then
  // destroyed and `*pp` left alone).
  static HRESULT CreateInstanceEx(CComObject<T>** pp,
                                  IBaseUnknown* prot,
                                  IBaseUnknown* punkOuter) {
    if (pp == nullptr)
      return E_POINTER;
    CComObject<T>* object = new (std::nothrow) CComObject<T>();
    if (object == nullptr)
      return E_OUTOFMEMORY;
    object->AddRef();
    // Destroys the object unless it is handed out: after a failed
    // init_class, and also when init_class throws (no try block, so the
    // header builds with exceptions off too).
    struct DestroyUnlessKept {
      CComObject<T>* object;
      ~DestroyUnlessKept() { delete object; }
    } guard{object};
    const HRESULT hr = object->init_class(prot, punkOuter);
    if (hr != S_OK)
      return hr;
    guard.object = nullptr;
    *pp = object;
    return S_OK;
  }

  // Creates an object and queries it for `riid`; `*ppv` then holds the only
  // reference. Returns the creation failure or the query's result.
  static HRESULT CreateInstance2(const ZQGUID& riid, void** ppv) {
    if (ppv == nullptr)
      return E_POINTER;
    CComObject<T>* object = nullptr;
    HRESULT hr = CreateInstance(&object);
    if (hr != S_OK)
      return hr;
    hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }

 protected:
  ~CComObject() override = default;
};

// The model's null object: answers only the id of IBaseUnknown.
class DLCOM_API CNullObjcetUnkown : public IBaseUnknown, public CUnknownImp {
 public:
  HRESULT QueryInterface(const ZQIID& riid, void** ppv) override {
    return QueryInterfaceFromList(this, interface_list<IBaseUnknown>(), riid,
                                  ppv);
  }
  ULONG AddRef() override { return InternalAddRef(); }
  ULONG Release() override {
    const ULONG count = InternalRelease();
    if (count == 0)
      delete this;
    return count;
  }
  // Creation hooks; both succeed.
  virtual HRESULT init_class(IBaseUnknown* /*prot*/,
                             IBaseUnknown* /*punkOuter*/) {
    return S_OK;
  }
  // Creation hook for an inner object; succeeds.
  virtual HRESULT init_class_inner(IBaseUnknown* /*punkOuter*/) { return S_OK; }
  ~CNullObjcetUnkown() override = default;
};

}  // namespace by

#endif  // DLCOM_COMOBJECT_H_
