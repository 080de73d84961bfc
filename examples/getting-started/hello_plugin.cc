// The plug-in: one extension class of the point "com.example.hello". Before
// the kit hands an instance out, it fills the instance's context from the
// extension's record in the manifest; here that is the "greeting" payload.

#include <string>

#include "IHello.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "dlcom/comfactory.h"

namespace {

class HelloExtension : public IHello, public zqextensionkit::ZQBaseExtension {
 public:
  BY_INTERFACES(IHello, zqextensionkit::IZQBaseExtension)

  std::string SayHello(const std::string& name) override {
    std::string greeting = "Hello";
    ValueForKey("greeting", greeting);  // the payload, when there is one
    return greeting + ", " + name + "!";
  }
};

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<HelloExtension>(CLSID_HelloExtension),
};

}  // namespace

// DllGetClassObject and the three other entry points the kit looks up.
BY_EXPORT_COM_CLASSES(kClasses)
