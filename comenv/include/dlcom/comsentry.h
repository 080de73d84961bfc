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
  static std::nullptr_t default_value() { return nullptr; }
  template <class P>
  static void destroy(P p) {
    if (p)
      p->Release();
  }
  template <class P>
  static bool equal_to(P a, P b) {
    return a == b;
  }
};

template <class P, class Traits = co_interface_sentry>
class sentry {
 public:
  sentry() : m_p(Traits::default_value()) {}
  explicit sentry(P p) : m_p(p) {}
  sentry(const sentry&) = delete;
  ~sentry() { dispose(); }

  operator P() const { return m_p; }
  P operator->() const { return m_p; }
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
  P& rp(bool bDispose = true) { return *pp(bDispose); }
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
  P m_p;
  Traits m_tr;

 private:
  sentry& operator=(const sentry&);
};

template <class T>
class com_ptr : public sentry<T*, co_interface_sentry> {
  typedef sentry<T*, co_interface_sentry> base_type;

 public:
  com_ptr() = default;
  com_ptr(std::nullptr_t) {}
  template <class U>
  com_ptr(U* p) {
    this->m_p = Query(p);
  }
  com_ptr(const com_ptr& other) : base_type() { this->m_p = Query(other.m_p); }
  template <class U>
  com_ptr(const com_ptr<U>& other) {
    this->m_p = Query(other.m_p);
  }
  com_ptr(com_ptr&& other) noexcept { this->m_p = other.detach(); }

  com_ptr& operator=(std::nullptr_t) {
    this->dispose();
    return *this;
  }
  template <class U>
  com_ptr& operator=(U* p) {
    this->reset_to(Query(p));
    return *this;
  }
  com_ptr& operator=(const com_ptr& other) {
    this->reset_to(Query(other.m_p));
    return *this;
  }
  template <class U>
  com_ptr& operator=(const com_ptr<U>& other) {
    this->reset_to(Query(other.m_p));
    return *this;
  }
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

template <class T>
class CComObjectScopedPtr : public com_ptr<CComObject<T>> {
 public:
  CComObjectScopedPtr() = default;
  CComObjectScopedPtr(const CComObjectScopedPtr&) = delete;
  CComObjectScopedPtr& operator=(const CComObjectScopedPtr&) = delete;
};

}  // namespace by

#endif  // DLCOM_COMSENTRY_H_
