// Test support: a small reference-counted component whose lifetime tests can
// watch, and a creator for the object container that makes them.
//
// TestComponent implements ITestComponent on by::CUnknownImp. Each instance
// counts itself in a shared TestComponentCounters while alive, so a test can
// assert that every object created was destroyed once its references were
// released. TestComponentCreator records each call (the iid text it was given,
// how often it ran) and can be told to fail or to hand back null.
// All counters are atomic: creators may run on several threads.

#ifndef TESTS_SUPPORT_TESTCOMPONENT_H_
#define TESTS_SUPPORT_TESTCOMPONENT_H_

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "dlcom/unknown.h"

namespace zqextensionkit {
namespace test {

struct ITestComponent : public by::IBaseUnknown {
  virtual int Serial() = 0;
};
BY_DECLARE_IID(ITestComponent, "{5A1D0C3E-7A42-4F0B-9C1E-2B7D6E8F9A01}")

inline constexpr char kIBaseUnknownIid[] =
    "{00000000-0000-0000-C000-000000000046}";
inline constexpr char kITestComponentIid[] =
    "{5A1D0C3E-7A42-4F0B-9C1E-2B7D6E8F9A01}";

struct TestComponentCounters {
  std::atomic<int> created{0};
  std::atomic<int> destroyed{0};
  int alive() const { return created.load() - destroyed.load(); }
};

class TestComponent : public ITestComponent, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(ITestComponent)

  TestComponent(std::shared_ptr<TestComponentCounters> counters, int serial)
      : counters_(std::move(counters)), serial_(serial) {
    counters_->created.fetch_add(1);
  }
  ~TestComponent() override { counters_->destroyed.fetch_add(1); }

  int Serial() override { return serial_; }
  ULONG RefCount() const { return m_RefCount.load(); }

  // A new instance handed out as ITestComponent with one reference.
  static ITestComponent* New(std::shared_ptr<TestComponentCounters> counters,
                             int serial) {
    auto* component = new TestComponent(std::move(counters), serial);
    component->AddRef();
    return component;
  }

 private:
  std::shared_ptr<TestComponentCounters> counters_;
  int serial_;
};

// Reference count of a component seen through any of its interfaces.
inline ULONG RefCountOf(void* interface_pointer) {
  return static_cast<TestComponent*>(
             static_cast<ITestComponent*>(interface_pointer))
      ->RefCount();
}

// Makes TestComponents for the object container and records its calls.
class TestComponentCreator {
 public:
  // kThrow: the creator throws, as host code may.
  enum class Mode { kCreate, kFail, kSucceedWithNull, kThrow };

  TestComponentCreator()
      : state_(std::make_shared<State>()),
        counters_(std::make_shared<TestComponentCounters>()) {}

  // The creator to register; it shares this object's state.
  InstanceCreateFunction Function() const {
    std::shared_ptr<State> state = state_;
    std::shared_ptr<TestComponentCounters> counters = counters_;
    return [state, counters](const std::string& iid, const std::string&,
                             void** ppv) {
      const int call = state->calls.fetch_add(1) + 1;
      {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->iids.push_back(iid);
      }
      switch (state->mode.load()) {
        case Mode::kFail:
          return false;
        case Mode::kThrow:
          throw std::runtime_error("creator failed");
        case Mode::kSucceedWithNull:
          *ppv = nullptr;
          return true;
        case Mode::kCreate:
          break;
      }
      *ppv = TestComponent::New(counters, call);
      return true;
    };
  }

  void set_mode(Mode mode) { state_->mode = mode; }
  int calls() const { return state_->calls.load(); }
  std::vector<std::string> iids() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->iids;
  }
  const TestComponentCounters& counters() const { return *counters_; }

 private:
  struct State {
    std::atomic<Mode> mode{Mode::kCreate};
    std::atomic<int> calls{0};
    std::mutex mutex;
    std::vector<std::string> iids;
  };
  std::shared_ptr<State> state_;
  std::shared_ptr<TestComponentCounters> counters_;
};

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_TESTCOMPONENT_H_
