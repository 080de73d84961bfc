// Service lookup and notification delivery, each beside its baseline:
// - GetService<I> of a cached singleton vs a std::map find plus AddRef and
//   Release of the found object (the least a named, reference-counted
//   registry can do);
// - Notify reaching N observers vs a plain loop of the same virtual calls
//   over a vector.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ZQExtensionKit/event/ZQNotificationService.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "ZQExtensionKit/service/internal/ZQServiceManagerImpl.h"
#include "dlcom/comobject.h"
#include "dlcom/comsentry.h"

namespace {

using zqextensionkit::ZQNotificationObserver;
using zqextensionkit::ZQNotificationParameters;
using zqextensionkit::ZQNotificationService;
using zqextensionkit::ZQNotificationSource;

struct IBenchService : public by::IBaseUnknown {
  virtual int Value() = 0;
};
BY_DECLARE_IID(IBenchService, "{7A3B9C2D-1E4F-4A5B-8C6D-9E0F1A2B3C4D}")

class BenchService : public IBenchService, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IBenchService)
  int Value() override { return 1; }
};

constexpr int kServices = 8;
constexpr char kIid[] = "{7A3B9C2D-1E4F-4A5B-8C6D-9E0F1A2B3C4D}";

std::string ServiceName(int i) {
  return "BenchService" + std::to_string(i);
}

// Generated class ids differ from their first digits on, as random ones do.
std::string ServiceClassId(int i) {
  return "{" + std::to_string(10 + i * 11) +
         "3B9C2D-1E4F-4A5B-8C6D-9E0F1A2B3C4D}";
}

void BM_GetServiceCachedSingleton(benchmark::State& state) {
  auto* manager = zqextensionkit::ZQServiceManager::GetInstance();
  manager->Initialize(std::make_shared<zqextensionkit::ZQServiceManagerImpl>());
  for (int i = 0; i < kServices; ++i) {
    manager->RegisterService<BenchService, IBenchService>(
        ServiceName(i), ServiceClassId(i), kIid, true);
  }
  const std::string name = ServiceName(kServices / 2);
  manager->GetService<IBenchService>(name)->Release();  // Now cached.
  for (auto _ : state) {
    IBenchService* service = manager->GetService<IBenchService>(name);
    benchmark::DoNotOptimize(service);
    service->Release();
  }
  manager->UnInitialize();
}
BENCHMARK(BM_GetServiceCachedSingleton);

void BM_MapFindAddRefRelease(benchmark::State& state) {
  std::map<std::string, by::com_ptr<by::IBaseUnknown>> services;
  for (int i = 0; i < kServices; ++i) {
    by::CComObjectScopedPtr<BenchService> object;
    by::CComObject<BenchService>::CreateInstance(object.pp());
    services.emplace(ServiceName(i),
                     by::com_ptr<by::IBaseUnknown>(object.ptr()));
  }
  const std::string name = ServiceName(kServices / 2);
  for (auto _ : state) {
    auto it = services.find(name);
    by::IBaseUnknown* service = it->second.ptr();
    service->AddRef();
    benchmark::DoNotOptimize(service);
    service->Release();
  }
}
BENCHMARK(BM_MapFindAddRefRelease);

// Two observer classes, alternated in every list, so that the compiler cannot
// replace the baseline's virtual calls by a guessed inline target: both
// loops make the same indirect calls.
class CountingObserver : public ZQNotificationObserver {
 public:
  ~CountingObserver() override = default;
  void Observe(int type,
               const ZQNotificationSource&,
               const ZQNotificationParameters&) override {
    sum_ += type;
    benchmark::DoNotOptimize(sum_);
  }

 private:
  long sum_ = 0;
};

class XorObserver : public ZQNotificationObserver {
 public:
  ~XorObserver() override = default;
  void Observe(int type,
               const ZQNotificationSource&,
               const ZQNotificationParameters&) override {
    bits_ ^= type;
    benchmark::DoNotOptimize(bits_);
  }

 private:
  long bits_ = 0;
};

// `count` observers, the two classes alternating.
class ObserverSet {
 public:
  explicit ObserverSet(int64_t count) {
    counting_.resize((count + 1) / 2);
    xoring_.resize(count / 2);
    for (int64_t i = 0; i < count; ++i) {
      if (i % 2 == 0)
        pointers_.push_back(&counting_[i / 2]);
      else
        pointers_.push_back(&xoring_[i / 2]);
    }
  }
  const std::vector<ZQNotificationObserver*>& pointers() const {
    return pointers_;
  }

 private:
  std::vector<CountingObserver> counting_;
  std::vector<XorObserver> xoring_;
  std::vector<ZQNotificationObserver*> pointers_;
};

constexpr int kType = zqextensionkit::NOTIFICATION_OPEN_SYNC_MESSAGE;

void BM_Notify(benchmark::State& state) {
  by::CComObjectScopedPtr<ZQNotificationService> bus;
  by::CComObject<ZQNotificationService>::CreateInstance(bus.pp());
  int origin = 0;
  const zqextensionkit::Source<int> source(&origin);
  ObserverSet observers(state.range(0));
  for (ZQNotificationObserver* observer : observers.pointers())
    bus->AddObserver(observer, kType, source);
  for (auto _ : state)
    bus->Notify(kType, source, IZQNotificationService::NoParams());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Notify)->Arg(1)->Arg(100)->Arg(1000);

void BM_VirtualCallLoop(benchmark::State& state) {
  int origin = 0;
  const zqextensionkit::Source<int> source(&origin);
  const zqextensionkit::Params<void> params =
      IZQNotificationService::NoParams();
  ObserverSet observers(state.range(0));
  for (auto _ : state) {
    for (ZQNotificationObserver* observer : observers.pointers())
      observer->Observe(kType, source, params);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_VirtualCallLoop)->Arg(1)->Arg(100)->Arg(1000);

}  // namespace
