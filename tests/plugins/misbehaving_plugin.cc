// A plug-in whose classes misbehave the way tools must survive: creating
// CLSID_CrashingExtension aborts the process, and the bundle
// CLSID_HangingBundle never returns from Initialize().

#include <unistd.h>

#include <cstdlib>

#include "ZQExtensionKit/bundle/ZQEBaseBundle.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "dlcom/comfactory.h"
#include "tests/plugins/TestPlugin.h"

namespace {

class CrashingExtension : public IGreeting,
                          public zqextensionkit::ZQBaseExtension {
 public:
  BY_INTERFACES(IGreeting, zqextensionkit::IZQBaseExtension)

  HRESULT init_class(by::IBaseUnknown* /*prot*/,
                     by::IBaseUnknown* /*punkOuter*/) {
    std::abort();
  }
  std::string Greet(const std::string& name) override { return name; }
};

class HangingBundle : public zqextensionkit::ZQEBaseBundle {
 public:
  void Initialize() override {
    for (;;)
      pause();
  }
};

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<CrashingExtension>(CLSID_CrashingExtension),
    by::ComClass<HangingBundle>(CLSID_HangingBundle),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
