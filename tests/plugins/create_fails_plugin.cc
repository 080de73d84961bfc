// A plug-in that loads normally but whose one class refuses to be created:
// its init_class fails, so the object is destroyed inside the library.

#include "dlcom/comfactory.h"
#include "tests/plugins/TestPlugin.h"

namespace {

class FailingObject : public ITestPluginObject, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(ITestPluginObject)

  HRESULT init_class(by::IBaseUnknown* /*prot*/,
                     by::IBaseUnknown* /*punkOuter*/) {
    return E_FAIL;
  }
  const char* Name() override { return "FailingObject"; }
  int Add(int a, int b) override { return a + b; }
  long LiveObjects() override { return 0; }
};

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<FailingObject>(CLSID_FailingObject),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
