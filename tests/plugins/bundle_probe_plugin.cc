// A plug-in whose bundle class lets tests watch the bundle manager: how
// often bundles were initialised, how many are alive, and a hook that runs
// in a bundle's destructor (so a test can check that the library is still
// loaded at that moment).

#include <atomic>

#include "ZQExtensionKit/bundle/ZQEBaseBundle.h"
#include "dlcom/comfactory.h"
#include "tests/plugins/TestPlugin.h"

namespace {

std::atomic<long> g_initialize_calls{0};
std::atomic<long> g_live_bundles{0};

class ProbeBundle : public ITestBundleProbe,
                    public zqextensionkit::ZQEBaseBundle {
 public:
  BY_INTERFACES(zqextensionkit::IZQEBundle, ITestBundleProbe)

  ProbeBundle() { ++g_live_bundles; }
  ~ProbeBundle() override {
    --g_live_bundles;
    if (hook_)
      hook_(hook_context_);
  }

  void Initialize() override { ++g_initialize_calls; }

  long InitializeCalls() override { return g_initialize_calls.load(); }
  long LiveBundles() override { return g_live_bundles.load(); }
  void SetDestructionHook(void (*hook)(void* context), void* context) override {
    hook_ = hook;
    hook_context_ = context;
  }

 private:
  void (*hook_)(void* context) = nullptr;
  void* hook_context_ = nullptr;
};

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<ProbeBundle>(CLSID_ProbeBundle),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
