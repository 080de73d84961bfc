// scoped_ptr<T>: the sole owner of a heap object, destroyed with its owner.
//
// It is std::unique_ptr under the name the base calls use, so ownership moves
// with std::move() and a scoped_ptr<Derived> converts to scoped_ptr<Base>.
// A scoped_ptr is not thread-safe; the object it owns states its own rules.
//
//   scoped_ptr<base::DictionaryValue> dict(new base::DictionaryValue);
//   list->Append(std::move(dict));  // |list| owns it now; |dict| is null.
#ifndef BASE_MEMORY_SCOPED_PTR_H_
#define BASE_MEMORY_SCOPED_PTR_H_

#include <memory>

// The owning pointer of the base layer: std::unique_ptr under its older name.
template <typename T, typename D = std::default_delete<T>>
using scoped_ptr = std::unique_ptr<T, D>;

// Takes ownership of |ptr| (which may be null) without naming its type twice.
template <typename T>
scoped_ptr<T> make_scoped_ptr(T* ptr) {
  return scoped_ptr<T>(ptr);
}

#endif  // BASE_MEMORY_SCOPED_PTR_H_
