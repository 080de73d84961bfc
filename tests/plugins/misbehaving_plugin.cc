// A plug-in whose classes misbehave the way tools must survive: creating
// CLSID_CrashingExtension aborts the process, the bundle CLSID_HangingBundle
// never returns from Initialize(), CLSID_ForkingBundle leaves a process
// behind, CLSID_SessionLeavingBundle leaves one behind in a session of its
// own, and CLSID_ClosingHangingBundle closes its process's descriptors
// before it hangs.

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

class ForkingBundle : public zqextensionkit::ZQEBaseBundle {
 public:
  void Initialize() override {
    if (fork() == 0) {
      // Ends by itself after five minutes, should nobody stop it.
      alarm(300);
      for (;;)
        pause();
    }
  }
};

class SessionLeavingBundle : public zqextensionkit::ZQEBaseBundle {
 public:
  void Initialize() override {
    if (fork() == 0) {
      // Out of its parent's process group and session, as a daemon goes.
      setsid();
      alarm(300);
      for (;;)
        pause();
    }
  }
};

class ClosingHangingBundle : public zqextensionkit::ZQEBaseBundle {
 public:
  void Initialize() override {
    close_range(STDERR_FILENO + 1, ~0U, 0);
    for (;;)
      pause();
  }
};

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<CrashingExtension>(CLSID_CrashingExtension),
    by::ComClass<HangingBundle>(CLSID_HangingBundle),
    by::ComClass<ForkingBundle>(CLSID_ForkingBundle),
    by::ComClass<ClosingHangingBundle>(CLSID_ClosingHangingBundle),
    by::ComClass<SessionLeavingBundle>(CLSID_SessionLeavingBundle),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
