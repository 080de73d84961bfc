// A plug-in library with a bundle class and one extension, written against
// the component model and the kit's header-only bases: the example of
// docs/plugins.md.

#include <string>

#include "ZQExtensionKit/bundle/ZQEBaseBundle.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "dlcom/comfactory.h"
#include "tests/plugins/TestPlugin.h"

namespace {

// Library-wide state that the bundle sets up for the extensions.
std::string g_default_salutation = "Hi";

// The kit creates the bundle once, right after it loads the library, calls
// Initialize() and keeps the object until it unloads the library.
class GreetingBundle : public zqextensionkit::ZQEBaseBundle {
 public:
  void Initialize() override { g_default_salutation = "Hello"; }
};

// An extension of a point whose interface is IGreeting. The kit asks it for
// IZQBaseExtension, fills its context from the manifest, calls
// Initialization() and hands out its IGreeting.
class Greeter : public IGreeting, public zqextensionkit::ZQBaseExtension {
 public:
  BY_INTERFACES(IGreeting, zqextensionkit::IZQBaseExtension)

  std::string Greet(const std::string& name) override {
    std::string salutation = g_default_salutation;
    ValueForKey("salutation", salutation);  // a payload, when there is one
    return salutation + ", " + name + "!";
  }
};

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<GreetingBundle>(CLSID_GreetingBundle),
    by::ComClass<Greeter>(CLSID_Greeter),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
