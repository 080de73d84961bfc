// A plug-in library with two component classes, written only against the
// component model headers: the shape every plug-in follows.

#include <atomic>

#include "dlcom/comfactory.h"
#include "tests/plugins/TestPlugin.h"

namespace {

std::atomic<long> g_live_objects{0};

// Shared by both classes: counts the library's live objects.
class TestObjectBase : public ITestPluginObject, public by::CUnknownImp {
 public:
  TestObjectBase() { ++g_live_objects; }
  ~TestObjectBase() override { --g_live_objects; }

  int Add(int a, int b) override { return a + b; }
  long LiveObjects() override { return g_live_objects.load(); }
};

class TestObjectA : public TestObjectBase {
 public:
  BY_UNKNOWN_IMP(ITestPluginObject)
  const char* Name() override { return "TestObjectA"; }
};

class TestObjectB : public TestObjectBase {
 public:
  BY_UNKNOWN_IMP(ITestPluginObject)
  const char* Name() override { return "TestObjectB"; }
};

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<TestObjectA>(CLSID_TestObjectA),
    by::ComClass<TestObjectB>(CLSID_TestObjectB),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
