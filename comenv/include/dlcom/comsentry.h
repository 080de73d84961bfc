// Owning interface pointers.
//
// Contract:
// - `by::sentry<P, Traits>` owns one pointer `m_p` and gives it back to
//   `Traits::destroy` when destroyed or disposed; it is not copyable.
// - `by::com_ptr<T>` owns one reference to an interface `T`. Whenever it
//   acquires a pointer from a raw interface pointer or another `com_ptr` (of
//   any interface type, by construction or assignment) it asks the source's
//   `QueryInterface` for `by::__uuid_s<T>::iid` and holds what that call
//   stored: null when the source is null or does not answer `T`. `attach`
//   takes over a reference without querying, `detach` gives it up without
//   releasing, `dispose` releases and clears. A moved-from `com_ptr` is null.
//   Destruction releases a held pointer.
// - `pp()`, `rp()` and `vpp()` expose the held pointer for out-parameters;
//   by default they release what was held first, so nothing leaks.
// - `by::CComObjectScopedPtr<T>` holds a freshly created `CComObject<T>` for
//   the length of a scope:
//       by::CComObjectScopedPtr<Foo> obj;
//       if (by::CComObject<Foo>::CreateInstance(obj.pp()) == S_OK) ...
// Thread-safety: one owning pointer is used by one thread at a time; the
// objects it points to count references atomically.

#ifndef DLCOM_COMSENTRY_H_
#define DLCOM_COMSENTRY_H_

#include <cstddef>
#include <utility>

#include "dlcom/comobject.h"
#include "dlcom/unknown.h"

namespace by {

// Traits for interface pointers: null default, destroy by Release.
struct co_interface_sentry {
  // The empty pointer.
  static std::nullptr_t default_value() { return nullptr; }
  // Releases `p` unless it is null.
  template <class P>
  static void destroy(P p) {
    if (p)
      p->Release();
  }
  // Pointer equality.
  template <class P>
  static bool equal_to(P a, P b) {
    return a == b;
  }
};

// Owns one pointer and destroys it through `Traits` when it goes away: for
// interface pointers, one reference released (see com_ptr).
template <class P, class Traits = co_interface_sentry>
class sentry {
 public:
  // Holds nothing.
  sentry() : m_p(Traits::default_value()) {}
  // Takes over `p`.
  explicit sentry(P p) : m_p(p) {}
  sentry(const sentry&) = delete;
  ~sentry() { dispose(); }

  // The held pointer, still owned by this object.
  operator P() const { return m_p; }
  // The held pointer, for a call through it.
  P operator->() const { return m_p; }
  // The held pointer, still owned by this object.
  P ptr() const { return m_p; }

  // Gives the pointer up without destroying it.
  P detach() {
    P p = m_p;
    m_p = Traits::default_value();
    return p;
  }
  // Destroys the held pointer (if any) and clears it.
  void dispose() {
    P p = detach();
    if (!Traits::equal_to(p, P(Traits::default_value())))
      Traits::destroy(p);
  }
  // Address of / reference to the held pointer for out-parameters; with
  // `bDispose` (the default) the held pointer is disposed first.
  P* pp(bool bDispose = true) {
    if (bDispose)
      dispose();
    return &m_p;
  }
  // As pp(), as a reference.
  P& rp(bool bDispose = true) { return *pp(bDispose); }
  // As pp(), as the `void**` that QueryInterface and CreateInstance take.
  void** vpp(bool bDispose = true) {
    return reinterpret_cast<void**>(pp(bDispose));
  }

 protected:
  // Installs `p` and destroys what was held before (after, so that
  // self-assignment through a query is safe).
  void reset_to(P p) {
    P old = m_p;
    m_p = p;
    if (!Traits::equal_to(old, P(Traits::default_value())))
      Traits::destroy(old);
  }

 public:
  P m_p;        // the held pointer
  Traits m_tr;  // the traits object (stateless)

 private:
  sentry& operator=(const sentry&);
};

// A smart pointer to interface T holding one reference, released when it goes
// away. Constructed or assigned from another pointer, it queries that object
// for T (and holds null when the object lacks it); attach() takes over a
// reference without querying.
template <class T>
class com_ptr : public sentry<T*, co_interface_sentry> {
  typedef sentry<T*, co_interface_sentry> base_type;

 public:
  com_ptr() = default;
  // Holds nothing.
  com_ptr(std::nullptr_t) {}
  // Queries `p` for T: one new reference, or null.
  template <class U>
  com_ptr(U* p) {
    this->m_p = Query(p);
  }
  // Queries what `other` holds for T: one new reference, or null.
  com_ptr(const com_ptr& other) : base_type() { this->m_p = Query(other.m_p); }
  // Queries what `other` holds for T: one new reference, or null.
  template <class U>
  com_ptr(const com_ptr<U>& other) {
    this->m_p = Query(other.m_p);
  }
  // Takes over what `other` holds.
  com_ptr(com_ptr&& other) noexcept { this->m_p = other.detach(); }

  // Releases what is held.
  com_ptr& operator=(std::nullptr_t) {
    this->dispose();
    return *this;
  }
  // Queries `p` for T and releases what was held.
  template <class U>
  com_ptr& operator=(U* p) {
    this->reset_to(Query(p));
    return *this;
  }
  // Queries what `other` holds for T and releases what was held.
  com_ptr& operator=(const com_ptr& other) {
    this->reset_to(Query(other.m_p));
    return *this;
  }
  // Queries what `other` holds for T and releases what was held.
  template <class U>
  com_ptr& operator=(const com_ptr<U>& other) {
    this->reset_to(Query(other.m_p));
    return *this;
  }
  // Takes over what `other` holds and releases what was held.
  com_ptr& operator=(com_ptr&& other) noexcept {
    if (this != &other)
      this->reset_to(other.detach());
    return *this;
  }

  // Takes over `p` and the reference it carries, without querying.
  void attach(T* p) { this->reset_to(p); }

 private:
  template <class U>
  static T* Query(U* p) {
    T* result = nullptr;
    if (p != nullptr) {
      p->QueryInterface(__uuid_s<T>::iid, reinterpret_cast<void**>(&result));
    }
    return result;
  }
};

// Owns a freshly created CComObject<T> (filled through pp()) until it is
// handed out or destroyed.
template <class T>
class CComObjectScopedPtr : public com_ptr<CComObject<T>> {
 public:
  CComObjectScopedPtr() = default;
  CComObjectScopedPtr(const CComObjectScopedPtr&) = delete;
  CComObjectScopedPtr& operator=(const CComObjectScopedPtr&) = delete;
};

}  // namespace by

#endif  // DLCOM_COMSENTRY_H_
