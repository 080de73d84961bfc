// Component classes the service manager tests register as services.
#ifndef TESTS_SERVICE_SERVICETESTCOMPONENTS_H_
#define TESTS_SERVICE_SERVICETESTCOMPONENTS_H_

#include <atomic>
#include <stdexcept>

#include "dlcom/comobject.h"
#include "dlcom/unknown.h"

namespace zqextensionkit {
namespace test {

struct IGreeter : public by::IBaseUnknown {
  virtual int Greet() = 0;
};
BY_DECLARE_IID(IGreeter, "{6B1C2F40-3D7E-4A51-9C08-7E2D4B1A9F01}")

struct IFarewell : public by::IBaseUnknown {
  virtual int Wave() = 0;
};
BY_DECLARE_IID(IFarewell, "{6B1C2F40-3D7E-4A51-9C08-7E2D4B1A9F02}")

constexpr char kGreeterIid[] = "{6B1C2F40-3D7E-4A51-9C08-7E2D4B1A9F01}";
constexpr char kFarewellIid[] = "{6B1C2F40-3D7E-4A51-9C08-7E2D4B1A9F02}";
constexpr char kGreeterClsid[] = "{0D5E7A11-94C3-4F2B-8E61-2A7B3C4D5E01}";
constexpr char kFarewellClsid[] = "{0D5E7A11-94C3-4F2B-8E61-2A7B3C4D5E02}";

// Counts constructions and destructions of every instance.
struct InstanceCounter {
  std::atomic<int> constructed{0};
  std::atomic<int> destroyed{0};
  void Reset() {
    constructed = 0;
    destroyed = 0;
  }
  int alive() const { return constructed - destroyed; }
};

class Greeter : public IGreeter, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IGreeter)
  static InstanceCounter& counter() {
    static InstanceCounter counter;
    return counter;
  }
  Greeter() { ++counter().constructed; }
  ~Greeter() override { ++counter().destroyed; }
  int Greet() override { return 42; }
};

class Farewell : public IFarewell, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IFarewell)
  static InstanceCounter& counter() {
    static InstanceCounter counter;
    return counter;
  }
  Farewell() { ++counter().constructed; }
  ~Farewell() override { ++counter().destroyed; }
  int Wave() override { return 7; }
};

// A class whose creation hook fails.
class Broken : public IGreeter, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IGreeter)
  HRESULT init_class(by::IBaseUnknown*, by::IBaseUnknown*) { return E_FAIL; }
  int Greet() override { return -1; }
};

// A service whose init_class throws, as host code may.
class Throwing : public IGreeter, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IGreeter)
  static InstanceCounter& counter() {
    static InstanceCounter counter;
    return counter;
  }
  Throwing() { ++counter().constructed; }
  ~Throwing() override { ++counter().destroyed; }
  HRESULT init_class(by::IBaseUnknown*, by::IBaseUnknown*) {
    throw std::runtime_error("init_class failed");
  }
  int Greet() override { return -2; }
};

// The current count of `object`, measured without changing it.
inline ULONG RefCount(by::IBaseUnknown* object) {
  object->AddRef();
  return object->Release();
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SERVICE_SERVICETESTCOMPONENTS_H_
