// ZQBaseExtension: the base class of extension classes. It owns the
// instance's ZQExtensionContext and answers every operation of
// IZQBaseExtension from it; a derived class overrides Initialization() to
// start its work once the kit has filled the context.
//
// The class names its interfaces with BY_INTERFACES and leaves
// QueryInterface, AddRef and Release to by::CComObject<T>, so
// by::CComObject<ZQBaseExtension> answers by::IBaseUnknown and
// IZQBaseExtension. A derived class adds its own interfaces, its extension
// point's interface first, with one line that lists IZQBaseExtension too
// (the kit asks every instance for it):
//
//   class Greeter : public IGreeting, public zqextensionkit::ZQBaseExtension {
//    public:
//     BY_INTERFACES(IGreeting, zqextensionkit::IZQBaseExtension)
//     HRESULT Initialization() override { ... return S_OK; }
//     std::string Greet(const std::string& name) override {
//       std::string salutation = "Hello";
//       ValueForKey("salutation", salutation);
//       return salutation + ", " + name + "!";
//     }
//   };
//
// A derived class may instead write QueryInterface, AddRef and Release
// itself (answering IZQBaseExtension and its point's interface);
// by::CComObject<T> then calls those, and takes only the operations the
// class leaves out from the list.
//
// Like CUnknownImp, it offers the creation hook init_class(prot, punkOuter),
// which answers S_OK; a derived class hides it with its own to do more, and
// fails its own creation by returning anything but S_OK.
//
// Header-only: a plug-in library compiles this code into itself and links
// nothing of the kit. Nothing here is exported; build plug-ins with hidden
// visibility so that each library keeps its own copy.
//
// Ownership: instances live by reference count (destroyed by the last
// Release, never deleted by a caller); the context is created with the
// instance and destroyed with it. Nothing here logs or throws (beyond
// std::bad_alloc). Threads: no locking; see ZQExtensionContext.h.

#ifndef ZQEXTENSIONKIT_EXTENSION_ZQBASEEXTENSION_H_
#define ZQEXTENSIONKIT_EXTENSION_ZQBASEEXTENSION_H_

#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/extension/IZQBaseExtension.h"
#include "ZQExtensionKit/extension/ZQExtensionContext.h"
#include "dlcom/unknown.h"

namespace zqextensionkit {

class ZQBaseExtension : public IZQBaseExtension, public by::CUnknownImp {
 public:
  BY_INTERFACES(IZQBaseExtension)

  ZQBaseExtension() : _context(std::make_unique<ZQExtensionContext>()) {}

  // Does nothing; extension classes override it.
  HRESULT Initialization() override { return S_OK; }

  bool ValueForKey(const std::string& key, std::string& value) override {
    return _context->ValueForKey(key, value);
  }
  bool ConstraintForKey(const std::string& key,
                        std::vector<std::string>& constraint) override {
    return _context->ConstraintForKey(key, constraint);
  }
  std::string GetResourcesPath() override {
    return _context->GetResourcesPath();
  }
  LaunchParams GetLaunchParams() override {
    return _context->GetLaunchParams();
  }
  ZQExtensionContext* GetContext() override { return _context.get(); }
  std::string GetBinDirPath() override { return _context->GetBinDirPath(); }

 protected:
  ~ZQBaseExtension() override = default;

 private:
  // Created with the instance, destroyed with it; never null.
  std::unique_ptr<ZQExtensionContext> _context;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EXTENSION_ZQBASEEXTENSION_H_
