// The frame the kit's managers (bundles, services, configuration, extensions)
// share: a facade, an interface, an implementation and a creator.
//
// - The facade is a leaky process-wide singleton
//   (base::Singleton<Facade, base::LeakySingletonTraits<Facade>>::get()) with a
//   private constructor and no copying. It holds the installed implementation
//   in `impl_` (a std::shared_ptr to the manager's interface): Initialize(impl)
//   replaces it, UnInitialize() empties it; neither takes a lock. Whether the
//   facade implements the interface, holds a recursive `impl_mutex_` around
//   each forwarded call, and what it does without an implementation is each
//   manager's own choice and is documented in its facade's header.
// - The creator's Create() builds the one implementation on first use and
//   hands out copies of a process-wide shared pointer to it. Its source unit
//   owns that pointer and a once-flag at namespace scope; both are
//   constant-initialised, so Create() is safe to call during static
//   initialisation of other units, and the pointer is released at process
//   exit like any other static object. A creator is written as:
//
//     namespace {
//     std::shared_ptr<IZQFooManager> foo_manager;
//     std::once_flag foo_manager_once_flag;
//     }  // namespace
//
//     std::shared_ptr<IZQFooManager> ZQFooManagerCreator::Create() {
//       return CreateManagerImplOnce<ZQFooManagerImpl>(foo_manager_once_flag,
//                                                      foo_manager);
//     }
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEMANAGERFRAME_H_
#define ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEMANAGERFRAME_H_

#include <memory>
#include <mutex>

namespace zqextensionkit {

// Runs the creation step once per process under `once_flag`: constructs an
// `Impl` with one allocation for object and count and stores it in
// `instance`. Concurrent first callers wait for the one that runs it. Every
// call returns a copy of `instance`, so every caller shares one
// implementation.
//
// Throws std::system_error when the platform's once facility fails; an
// exception from Impl's constructor propagates and leaves the flag unset, so
// the next call tries again.
template <typename Impl, typename Interface>
std::shared_ptr<Interface> CreateManagerImplOnce(
    std::once_flag& once_flag,
    std::shared_ptr<Interface>& instance) {
  std::call_once(once_flag,
                 [&instance] { instance = std::make_shared<Impl>(); });
  return instance;
}

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEMANAGERFRAME_H_
