// base::Singleton: one lazily created, process-wide instance of a type.
//
// Creation is thread-safe: the first caller of get() swaps a state word from
// 0 to "being created", constructs the instance and publishes its address in
// the word; a caller that finds "being created" yields until the address is
// published; later callers only read the address. Only leaky traits are
// supported (LeakySingletonTraits): the instance is never destroyed, so it
// stays usable during process exit, from any thread.
//
// Typical use, with a private constructor:
//
//   class Foo {
//    public:
//     static Foo* GetInstance() {
//       return base::Singleton<Foo, base::LeakySingletonTraits<Foo>>::get();
//     }
//    private:
//     friend struct base::DefaultSingletonTraits<Foo>;  // lets New() call
//     Foo();                                           // the constructor
//   };
//
// LeakySingletonTraits<Foo> inherits New() from DefaultSingletonTraits<Foo>,
// so befriending DefaultSingletonTraits<Foo> is enough. get() never returns
// null. Define GetInstance() in a .cc file of the library that owns Foo, so
// that exactly one shared object holds the instance.
#ifndef BASE_MEMORY_SINGLETON_H_
#define BASE_MEMORY_SINGLETON_H_

#include <stdint.h>

#include <atomic>
#include <thread>

namespace base {
inline namespace zqe {

// How Singleton creates its instance: the instance's class names this as a
// friend when its constructor is private.
template <typename Type>
struct DefaultSingletonTraits {
  // Allocates and constructs the instance.
  static Type* New() { return new Type(); }
  // Destroys the instance. Never called for the leaky singletons below.
  static void Delete(Type* x) { delete x; }
  // Whether the instance would be destroyed at process exit. Singleton
  // supports only false.
  static const bool kRegisterAtExit = true;
};

// Traits of a singleton that is never destroyed.
template <typename Type>
struct LeakySingletonTraits : public DefaultSingletonTraits<Type> {
  // Never destroyed.
  static const bool kRegisterAtExit = false;
};

// |DifferentiatingType| allows several singletons of one Type.
template <typename Type,
          typename Traits = LeakySingletonTraits<Type>,
          typename DifferentiatingType = Type>
class Singleton {
 public:
  static_assert(!Traits::kRegisterAtExit,
                "base::Singleton supports only leaky singletons "
                "(base::LeakySingletonTraits)");

  Singleton() = delete;

  // The instance, created on the first call.
  static Type* get() {
    for (;;) {
      uintptr_t value = instance_.load(std::memory_order_acquire);
      if (value > kBeingCreatedMarker)
        return reinterpret_cast<Type*>(value);

      uintptr_t expected = 0;
      if (instance_.compare_exchange_strong(expected, kBeingCreatedMarker,
                                            std::memory_order_acq_rel,
                                            std::memory_order_acquire)) {
        // This thread won the race and creates the instance.
        Type* created = nullptr;
        try {
          created = Traits::New();
        } catch (...) {
          // Let a later call (or a waiting thread) try again instead of
          // waiting forever or seeing no instance.
          instance_.store(0, std::memory_order_release);
          throw;
        }
        instance_.store(reinterpret_cast<uintptr_t>(created),
                        std::memory_order_release);
        return created;
      }

      // Another thread is creating the instance. Wait until it is published;
      // if that creation failed the word is back at 0 and this thread tries.
      while (instance_.load(std::memory_order_acquire) == kBeingCreatedMarker)
        std::this_thread::yield();
    }
  }

 private:
  static constexpr uintptr_t kBeingCreatedMarker = 1;

  static std::atomic<uintptr_t> instance_;
};

template <typename Type, typename Traits, typename DifferentiatingType>
std::atomic<uintptr_t> Singleton<Type, Traits, DifferentiatingType>::instance_{
    0};

}  // namespace zqe
}  // namespace base

#endif  // BASE_MEMORY_SINGLETON_H_
