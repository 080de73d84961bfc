// The demo's plug-in library: a bundle class and the extension class of the
// "com.zq.demo.greeting" point. Built against headers only (the component
// model and the kit's header-only bases); it links nothing of the kit.

#include <string>

#include "ZQExtensionKit/bundle/ZQEBaseBundle.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "dlcom/comfactory.h"
#include "examples/demo/DemoInterfaces.h"

namespace {

// Library-wide state that the bundle sets up for the extensions.
std::string g_default_salutation = "Hi";

// Created once, right after the kit loads the library; the kit calls
// Initialize() and keeps the object until it unloads the library.
class GreetingBundle : public zqextensionkit::ZQEBaseBundle {
 public:
  void Initialize() override { g_default_salutation = "Hello"; }
};

// One class serves every greeting extension of the manifest: each record's
// payloads reach its own instance through the context the kit fills.
class Greeter : public zqdemo::IGreeting,
                public zqextensionkit::ZQBaseExtension {
 public:
  BY_INTERFACES(zqdemo::IGreeting, zqextensionkit::IZQBaseExtension)

  std::string Greet(const std::string& name) override {
    std::string salutation = g_default_salutation;
    ValueForKey("salutation", salutation);  // a payload, when there is one
    return salutation + ", " + name + "!";
  }
};

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<GreetingBundle>(zqdemo::CLSID_GreetingBundle),
    by::ComClass<Greeter>(zqdemo::CLSID_Greeter),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
