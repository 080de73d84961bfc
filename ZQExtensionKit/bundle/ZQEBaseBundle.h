// ZQEBaseBundle: the default bundle object of a plug-in library. It owns a
// ZQEBundleContext and does nothing on Initialize(); a library's bundle class
// derives from it and overrides Initialize() to prepare what the library's
// extensions share.
//
// The class names its interface with BY_INTERFACES and leaves
// QueryInterface, AddRef and Release to by::CComObject<T>, so
// by::CComObject<ZQEBaseBundle> answers by::IBaseUnknown and IZQEBundle. A
// derived class that answers more interfaces lists them, IZQEBundle
// included, with one line:
//
//   class MyBundle : public IMyBundleInfo, public zqextensionkit::ZQEBaseBundle
//   {
//    public:
//     BY_INTERFACES(zqextensionkit::IZQEBundle, IMyBundleInfo)
//     void Initialize() override { ... }
//   };
//
// A derived class may instead write QueryInterface, AddRef and Release
// itself; by::CComObject<T> then calls those, and takes only the operations
// the class leaves out from the list.
//
// The creation hook init_class(prot, punkOuter) is CUnknownImp's and answers
// S_OK; a derived class hides it with its own to fail its creation.
//
// Header-only: a plug-in library compiles this code into itself and links
// nothing of the kit. Nothing here is exported; build plug-ins with hidden
// visibility so that each library keeps its own copy.
//
// Ownership: the object lives by reference count (destroyed by the last
// Release, never deleted by a caller); its context is created with it and
// destroyed with it. Nothing here logs or throws (beyond std::bad_alloc).
// Threads: no state of its own beyond the atomic count.

#ifndef ZQEXTENSIONKIT_BUNDLE_ZQEBASEBUNDLE_H_
#define ZQEXTENSIONKIT_BUNDLE_ZQEBASEBUNDLE_H_

#include <memory>

#include "ZQExtensionKit/bundle/IZQEBundle.h"
#include "ZQExtensionKit/bundle/ZQEBundleContext.h"
#include "dlcom/unknown.h"

namespace zqextensionkit {

class ZQEBaseBundle : public IZQEBundle, public by::CUnknownImp {
 public:
  BY_INTERFACES(IZQEBundle)

  ZQEBaseBundle() : _context(std::make_unique<ZQEBundleContext>()) {}

  // Does nothing; bundle classes override it.
  void Initialize() override {}
  ZQEBundleContext* GetContext() override { return _context.get(); }

 protected:
  ~ZQEBaseBundle() override = default;

 private:
  // Created with the object, destroyed with it; never null.
  std::unique_ptr<ZQEBundleContext> _context;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_BUNDLE_ZQEBASEBUNDLE_H_
