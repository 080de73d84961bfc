// A plug-in whose objects each hold a CComLoader, as a plug-in that loads
// further libraries of its own would. CComLoader's entry-point table is a
// static local of an inline member of an exported class, so g++ makes it a
// unique global symbol even under -fvisibility=hidden, and the dynamic loader
// never unmaps a library that defines one. Built with zq_add_plugin the
// library unloads like any other; it is also built as a plain MODULE to show
// the difference.

#include <atomic>

#include "dlcom/comfactory.h"
#include "dlcom/loadcom.h"
#include "tests/plugins/TestPlugin.h"

namespace {

std::atomic<long> g_live_objects{0};

class LoaderHolder : public ITestPluginObject, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(ITestPluginObject)

  LoaderHolder() { ++g_live_objects; }
  ~LoaderHolder() override { --g_live_objects; }

  const char* Name() override {
    return helper_loader_.IsLoaded() ? "LoaderHolder (loaded)" : "LoaderHolder";
  }
  int Add(int a, int b) override { return a + b; }
  long LiveObjects() override { return g_live_objects.load(); }

 private:
  // Never loaded here; its presence is what matters.
  CComLoader helper_loader_;
};

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<LoaderHolder>(CLSID_LoaderHolder),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
