// A plug-in whose extension class lets tests watch the extension manager:
// how many of the library's extensions are alive and how often each was
// initialised. Its context is read through IZQBaseExtension.

#include <atomic>

#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "dlcom/comfactory.h"
#include "tests/plugins/TestPlugin.h"

namespace {

std::atomic<long> g_live_extensions{0};

class ProbeExtension : public ITestExtensionProbe,
                       public zqextensionkit::ZQBaseExtension {
 public:
  BY_INTERFACES(ITestExtensionProbe, zqextensionkit::IZQBaseExtension)

  ProbeExtension() { ++g_live_extensions; }
  ~ProbeExtension() override { --g_live_extensions; }

  HRESULT Initialization() override {
    ++initialization_calls_;
    return S_OK;
  }
  const char* ClassName() override { return "ProbeExtension"; }
  long LiveObjects() override { return g_live_extensions.load(); }
  long InitializationCalls() override { return initialization_calls_.load(); }

 private:
  std::atomic<long> initialization_calls_{0};
};

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<ProbeExtension>(CLSID_ProbeExtension),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
