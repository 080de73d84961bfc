// Root interface, reference-count holder, interface ids and the id table.
//
// Contract:
// - `by::IBaseUnknown` is the root of every component interface: slot 0
//   `QueryInterface`, 1 `AddRef`, 2 `Release`. It has no virtual destructor;
//   a component is destroyed only by the `Release` that brings its count to 0.
// - An interface pointer handed out (by `QueryInterface`, a factory, a
//   registry) carries one reference that the receiver releases. On failure
//   `QueryInterface` returns `E_NOINTERFACE` and leaves `*ppv` as it was.
// - `by::__uuid_s<I>::iid` is the id of interface `I`. Ids are declared right
//   next to their interface with `BY_DECLARE_IID(I, "{...}")` (in `I`'s own
//   namespace); the literal is parsed at compile time and checked, so every
//   id is constant-initialised and valid during any static initialisation,
//   in the kit and in every plug-in library. Using `__uuid_s<I>` for an
//   interface without a declared id does not compile.
// - `by::CUnknownImp` holds the atomic count `m_RefCount` (starts at 0) and
//   the virtual destructor. A component class derives from its interface(s)
//   first, then from `CUnknownImp`, and either names its interfaces with
//   `BY_UNKNOWN_IMP(IPrimary, IOther...)` (which implements the three
//   `IBaseUnknown` operations) or with `BY_INTERFACES(...)` alone, leaving
//   the three operations to `by::CComObject<T>` (dlcom/comobject.h). A class
//   derived from one that wrote `BY_INTERFACES` may still write the three
//   operations itself (public, `override`); `by::CComObject<T>` then calls
//   them instead of answering from the list.
// Thread-safety: counts change by atomic read-modify-write only; ids are
// constants.

#ifndef DLCOM_UNKNOWN_H_
#define DLCOM_UNKNOWN_H_

#include <atomic>
#include <type_traits>
#include <utility>

#include "dlcom/guiddef.h"
#include "dlcom/guidstring.h"

namespace by {

// Tag that names an interface for id lookup. Ids are found by
// argument-dependent lookup of `by_iid_of(iid_tag<I>)` in `I`'s namespace;
// the tag is exact, so an interface never inherits its base's id.
template <class I>
struct iid_tag {};

}  // namespace by

// Declares the id of interface `Interface` (a literal "{...}" or a ZQIID
// constant). Write it in the namespace of the interface, right after the
// interface (a forward declaration suffices).
#define BY_DECLARE_IID(Interface, id)                            \
  constexpr ZQIID by_iid_of(::by::iid_tag<Interface>) noexcept { \
    return ::by::GuidFromLiteral(id);                            \
  }

namespace by {

// The id of interface `I`, a constant record.
template <class I>
struct __uuid_s {
  // The id `BY_DECLARE_IID` attached to `I`.
  static constexpr ZQIID iid = by_iid_of(iid_tag<I>());
};

// The root of every component interface: slots 0 to 2. Objects are
// reference-counted and freed by the module that made them, on their last
// Release().
struct DLCOM_API IBaseUnknown {
  // Stores this object seen as interface `riid` in `*ppv`, with one
  // reference for the caller, and returns `S_OK`; or returns
  // `E_NOINTERFACE` and stores null.
  virtual HRESULT QueryInterface(const ZQIID& riid, void** ppv) = 0;
  // Adds a reference; returns the new count (for diagnostics only).
  virtual ULONG AddRef() = 0;
  // Drops a reference, destroying the object with the last; returns the new
  // count (for diagnostics only).
  virtual ULONG Release() = 0;

 protected:
  ~IBaseUnknown() = default;
};
BY_DECLARE_IID(IBaseUnknown, "{00000000-0000-0000-C000-000000000046}")

// Reference-count holder. The virtual destructor is its only virtual
// operation; copying is not offered (a count belongs to one object).
class DLCOM_API CUnknownImp {
 public:
  CUnknownImp() : m_RefCount(0) {}
  CUnknownImp(const CUnknownImp&) = delete;
  CUnknownImp& operator=(const CUnknownImp&) = delete;
  virtual ~CUnknownImp() = default;

  // Default creation hook, called once right after construction by
  // `CComObject<T>`. A class hides it with its own to do more, and fails its
  // creation by returning anything but `S_OK`.
  HRESULT init_class(IBaseUnknown* /*prot*/, IBaseUnknown* /*punkOuter*/) {
    return S_OK;
  }

 protected:
  // Adds a reference; returns the new count.
  ULONG InternalAddRef() {
    return m_RefCount.fetch_add(1, std::memory_order_relaxed) + 1;
  }
  // Returns the new count, taken from the same atomic operation.
  ULONG InternalRelease() {
    return m_RefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  }

  // The object's reference count.
  std::atomic<ULONG> m_RefCount;
};

// The interfaces a component answers, in the order `QueryInterface` tries
// them after `IBaseUnknown`; the first is the primary interface.
template <class... Interfaces>
struct interface_list {};

namespace detail {
template <class I, class T>
inline bool MatchInterface(T* self, const ZQIID& riid, void** found) {
  if (!(riid == __uuid_s<I>::iid))
    return false;
  *found = static_cast<I*>(self);
  return true;
}

template <class T, class = void>
struct has_interface_list {
  static constexpr bool value = false;
};
template <class T>
struct has_interface_list<T, std::void_t<typename T::by_interface_list>> {
  static constexpr bool value = true;
};

// The class whose BY_INTERFACES line named T's interface list, or void.
template <class T, class = void>
struct interface_list_owner {
  using type = void;
};
template <class T>
struct interface_list_owner<
    T,
    std::void_t<decltype(std::declval<T&>().by_interface_list_owner())>> {
  using type = std::remove_pointer_t<
      decltype(std::declval<T&>().by_interface_list_owner())>;
};

// The class in which name lookup finds a member function.
template <class C, class R, class... A>
C* member_class(R (C::*)(A...));
template <class C, class R, class... A>
C* member_class(R (C::*)(A...) noexcept);

// Whether T's own operation (named by Op) is declared by the class that
// named T's interface list or by a class derived from it (T itself, or a
// class between the two): the operation a class writes for itself, which
// by::CComObject<T> must not replace. Lookup that is ambiguous or finds
// only the interfaces' pure declarations does not count.
template <class T, class Op, class = void>
struct declares_own : std::false_type {};
template <class T, class Op>
struct declares_own<T, Op, std::void_t<decltype(Op::template Of<T>())>>
    : std::is_base_of<typename interface_list_owner<T>::type,
                      std::remove_pointer_t<decltype(Op::template Of<T>())>> {};

struct QueryInterfaceOp {
  template <class T>
  static auto Of() -> decltype(member_class(&T::QueryInterface));
};
struct AddRefOp {
  template <class T>
  static auto Of() -> decltype(member_class(&T::AddRef));
};
struct ReleaseOp {
  template <class T>
  static auto Of() -> decltype(member_class(&T::Release));
};

// Whether by::CComObject<T> calls T's own operation Op: always for a class
// without an interface list, and for one with a list when a class at or
// below the list's owner declares the operation.
template <class T, class Op>
inline constexpr bool uses_own_operation =
    !has_interface_list<T>::value || declares_own<T, Op>::value;
}  // namespace detail

// `QueryInterface` over an interface list: compares `riid` with the id of
// `IBaseUnknown`, then with each listed id in order. On the first match it
// stores the object seen as that interface (the primary interface for
// `IBaseUnknown`), adds a reference through the object's own `AddRef` and
// returns `S_OK`; otherwise returns `E_NOINTERFACE` and leaves `*ppv` alone.
// A null `ppv` is refused with `E_POINTER` and adds no reference.
template <class T, class Primary, class... Rest>
HRESULT QueryInterfaceFromList(T* self,
                               interface_list<Primary, Rest...>,
                               const ZQIID& riid,
                               void** ppv) {
  if (ppv == nullptr)
    return E_POINTER;
  void* found = nullptr;
  if (riid == __uuid_s<IBaseUnknown>::iid) {
    found = static_cast<IBaseUnknown*>(static_cast<Primary*>(self));
  } else if (!detail::MatchInterface<Primary>(self, riid, &found)) {
    (void)(... || detail::MatchInterface<Rest>(self, riid, &found));
  }
  if (found == nullptr)
    return E_NOINTERFACE;
  *ppv = found;
  static_cast<Primary*>(self)->AddRef();
  return S_OK;
}

}  // namespace by

// Names the interfaces a component class answers (primary first) and leaves
// QueryInterface/AddRef/Release to by::CComObject<T>, unless the class (or a
// class derived from it) declares them itself: by::CComObject<T> then calls
// those. Place in the class body; it leaves the access at `public:`.
#define BY_INTERFACES(...)                                     \
 public:                                                       \
  using by_interface_list = ::by::interface_list<__VA_ARGS__>; \
  /* Declared only: names the class that wrote this line. */   \
  auto by_interface_list_owner()->decltype(this);

// Names the interfaces and implements QueryInterface/AddRef/Release on
// m_RefCount. The class must derive from by::CUnknownImp. Place in the class
// body; it leaves the access at `public:`.
#define BY_UNKNOWN_IMP(...)                                                    \
  BY_INTERFACES(__VA_ARGS__)                                                   \
  HRESULT QueryInterface(const ZQIID& riid, void** ppv) override {             \
    return ::by::QueryInterfaceFromList(this, by_interface_list(), riid, ppv); \
  }                                                                            \
  ULONG AddRef() override {                                                    \
    return this->InternalAddRef();                                             \
  }                                                                            \
  ULONG Release() override {                                                   \
    const ULONG count = this->InternalRelease();                               \
    if (count == 0)                                                            \
      delete this;                                                             \
    return count;                                                              \
  }

namespace by {

// Class factories of plug-in libraries (dlcom/comfactory.h implements both).
// `IClassFactory__` is what DllGetClassObject hands out for a class id; the
// kit only queries it for IComObjectFrameworkClassFactory.
struct DLCOM_API IClassFactory__ : public IBaseUnknown {
  virtual HRESULT CreateInstance(IBaseUnknown* punkOuter,
                                 const ZQIID& riid,
                                 void** ppv) = 0;  // slot 3
  virtual HRESULT LockServer(BOOL fLock) = 0;      // slot 4
};
BY_DECLARE_IID(IClassFactory__, "{00000001-0000-0000-C000-000000000046}")

// The class factory of the component framework, which the kit asks for a
// library's objects (slot 5).
struct DLCOM_API IComObjectFrameworkClassFactory : public IBaseUnknown {
  virtual HRESULT LockServer(BOOL fLock) = 0;      // slot 3, never called
  virtual HRESULT GetClassID(ZQGUID* pclsid) = 0;  // slot 4, never called
  // Slot 5: creates an object of the factory's class and returns it queried
  // for `riid` in `*ppv`, holding one reference for the caller. `S_OK` on
  // success. The kit passes null for `prot` and `punkOuter`.
  virtual HRESULT CreateInstance(IBaseUnknown* prot,
                                 IBaseUnknown* punkOuter,
                                 const ZQIID& riid,
                                 void** ppv) = 0;
};
BY_DECLARE_IID(IComObjectFrameworkClassFactory,
               "{6966E385-DBFA-4131-A29E-D0E9464F3F53}")

// Interfaces of the wider component framework that the kit only names: they
// have ids and no operations the kit calls.
struct DLCOM_API IObjectLoader : public IBaseUnknown {};
BY_DECLARE_IID(IObjectLoader, "{1C97345C-7834-4218-8BA8-C0E04F642118}")
struct DLCOM_API IObjectLoaderEx : public IBaseUnknown {};
BY_DECLARE_IID(IObjectLoaderEx, "{F2527941-9539-44f9-AABE-A2A325274C92}")
struct DLCOM_API IOLManager : public IBaseUnknown {};
BY_DECLARE_IID(IOLManager, "{E00AD446-D124-40f8-9397-D3D8425F3235}")
struct DLCOM_API IOLManagerEx : public IBaseUnknown {};
BY_DECLARE_IID(IOLManagerEx, "{844335FE-289B-4117-8CC1-B3E27E2621D3}")
struct DLCOM_API IComRunningObjectTable : public IBaseUnknown {};
BY_DECLARE_IID(IComRunningObjectTable, "{50EAFCD5-FF5B-4744-9C3C-980A521A5DF3}")
struct DLCOM_API IComRunningObjectTableEx : public IBaseUnknown {};
BY_DECLARE_IID(IComRunningObjectTableEx,
               "{81079861-0A53-4820-8C73-7FC9F118EB02}")
struct DLCOM_API IExit : public IBaseUnknown {};
BY_DECLARE_IID(IExit, "{AFFA4FB2-EFF6-4371-AADD-62C0B0766178}")
struct DLCOM_API IObjectRun : public IBaseUnknown {};
BY_DECLARE_IID(IObjectRun, "{616C6DD6-95C9-4837-A2AE-939B52515F6D}")
struct DLCOM_API IComEnv : public IBaseUnknown {};
BY_DECLARE_IID(IComEnv, "{50D6F56E-9C94-4060-B6EC-CF71CCB25CAA}")
struct DLCOM_API IPluginObjectMgr : public IBaseUnknown {};
BY_DECLARE_IID(IPluginObjectMgr, "{3F36891F-2BF6-4802-9A00-677CB423305A}")
struct DLCOM_API IServerInfo : public IBaseUnknown {};
BY_DECLARE_IID(IServerInfo, "{0332DE3F-1D6C-44c9-9158-8C9DF220B41F}")
struct DLCOM_API IServiceCtrlConnectPoint : public IBaseUnknown {};
BY_DECLARE_IID(IServiceCtrlConnectPoint,
               "{88E3C375-B6EA-4dd8-8C4E-FE00689AD25A}")
struct DLCOM_API IProperty : public IBaseUnknown {};
BY_DECLARE_IID(IProperty, "{39AA125E-D7F1-46b1-82EB-6D8527269279}")
struct DLCOM_API IProperty2 : public IBaseUnknown {};
BY_DECLARE_IID(IProperty2, "{21C975F4-EEE1-4c90-8D39-7D94A6AEDAB7}")
struct DLCOM_API IPlugin : public IBaseUnknown {};
BY_DECLARE_IID(IPlugin, "{74252668-870B-4c27-B69D-C6E199C6D3D5}")
struct DLCOM_API IPluginRun : public IBaseUnknown {};
BY_DECLARE_IID(IPluginRun, "{24AE3325-4FE1-4c03-8765-6C3C967D9D44}")

}  // namespace by

// Ids of the kit's own component interfaces. Each interface's header attaches
// its id next to the declaration, in the interface's namespace:
//   BY_DECLARE_IID(IZQNotificationService, IID_IZQNotificationService)
inline constexpr ZQIID IID_IZQNotificationService =
    by::GuidFromLiteral("{B2F1A919-D15D-4C72-A8C3-2143E2176131}");
inline constexpr ZQIID IID_IZQEBundle =
    by::GuidFromLiteral("{e50226d4-ee3f-4a64-b53e-50114f0c99c7}");
inline constexpr ZQIID IID_IZQBaseExtension =
    by::GuidFromLiteral("{E16D76C1-4200-CF27-9703-2480B97FC9E3}");
inline constexpr ZQIID IID_IZQOpenNetService =
    by::GuidFromLiteral("{435BC68E-6CAD-4C14-B534-7D2B8DE3940B}");

// Class ids: constant records.
inline constexpr ZQGUID CLSID_ZQNotificationService =
    by::GuidFromLiteral("{45ED99D7-00C2-4082-98D8-5507D2AA3A0F}");
inline constexpr ZQGUID CLSID_ZQEBaseBundle =
    by::GuidFromLiteral("{DEF82172-C3E6-43D5-A844-A45512EC1998}");
inline constexpr ZQGUID CLSID_ZQBaseExtension =
    by::GuidFromLiteral("{DA7FC01D-A242-CDAA-9EF6-0AD3ADF785DA}");
inline constexpr ZQGUID CLSID_MDClassFactory =
    by::GuidFromLiteral("{E9678781-A3CB-46FB-9121-3ED22C24CFAD}");
inline constexpr ZQGUID CLSID_ComObjectFrameworkClassFactory =
    by::GuidFromLiteral("{E2247B54-E329-4CA8-8361-6499FDFF98F4}");
inline constexpr ZQGUID CLSID_CObjectLoader =
    by::GuidFromLiteral("{4F496E7F-D8FD-4DED-967D-C4F53BFB9452}");
inline constexpr ZQGUID ClSID_CRunningObjectTable =
    by::GuidFromLiteral("{216DFF2F-B2F0-4CE0-BA5B-72E0B7BFAC28}");
inline constexpr ZQGUID CLSID_ComEnv =
    by::GuidFromLiteral("{E59BC62D-64AB-439D-BAF3-B2D1BA15E441}");
inline constexpr ZQGUID CLSID_CMainRun =
    by::GuidFromLiteral("{C8CA7580-8E65-49E6-A66A-B087C7EF523D}");
inline constexpr ZQGUID CLSID_CProperty =
    by::GuidFromLiteral("{ED20E0E5-2357-4825-B3FA-198AEC674E81}");
inline constexpr ZQGUID CLSID_CProperty_thread =
    by::GuidFromLiteral("{AD4F3A47-0CD6-43DE-BC22-E8BE24FFD424}");
inline constexpr ZQGUID CLSID_CProperty2 =
    by::GuidFromLiteral("{2100E98D-B13E-4306-8081-50F325B10586}");
inline constexpr ZQGUID CLSID_CProperty2_thread =
    by::GuidFromLiteral("{0AEF80FB-9BAF-4E66-96B3-784ED0FCECF1}");

// The literal parse is checked against values spelled out by hand.
static_assert(by::__uuid_s<by::IBaseUnknown>::iid ==
                  ZQGUID{0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}},
              "IBaseUnknown id");
static_assert(IID_IZQEBundle ==
                  ZQGUID{0xe50226d4,
                         0xee3f,
                         0x4a64,
                         {0xb5, 0x3e, 0x50, 0x11, 0x4f, 0x0c, 0x99, 0xc7}},
              "lower-case literal");
static_assert(CLSID_MDClassFactory ==
                  ZQGUID{0xE9678781,
                         0xA3CB,
                         0x46FB,
                         {0x91, 0x21, 0x3E, 0xD2, 0x2C, 0x24, 0xCF, 0xAD}},
              "MD class factory id");

#endif  // DLCOM_UNKNOWN_H_
