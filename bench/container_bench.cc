// Creating a cached singleton through the object container, beside the
// baseline of a plain std::map lookup plus AddRef/Release of the same kind of
// object. The no-logger case is registered first: a logger, once installed,
// cannot be removed, so the runs with a logger come after it.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "dlcom/unknown.h"

namespace {

using zqextensionkit::ZQELogService;
using zqextensionkit::ZQEObjectContainer;

struct IBenchComponent : public by::IBaseUnknown {};
BY_DECLARE_IID(IBenchComponent, "{B3C1A7E0-5D2F-4C8B-9E61-0F4A2D7C3B15}")

class BenchComponent : public IBenchComponent, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IBenchComponent)
};

constexpr int kClasses = 64;
constexpr char kIid[] = "{B3C1A7E0-5D2F-4C8B-9E61-0F4A2D7C3B15}";

// Class ids are random in practice, so keys differ early; derive
// well-spread ids from the index.
std::string ClassId(int i) {
  const unsigned int mixed = static_cast<unsigned int>(i + 1) * 2654435761u;
  char text[64];
  std::snprintf(text, sizeof(text), "{%08X-%04X-4000-8000-%012X}", mixed,
                (mixed >> 8) & 0xFFFFu, static_cast<unsigned int>(i));
  return text;
}

bool CreateBenchComponent(const std::string&, const std::string&, void** ppv) {
  auto* component = new BenchComponent;
  component->AddRef();
  *ppv = static_cast<IBenchComponent*>(component);
  return true;
}

// Registers kClasses singleton classes and creates each once, so every
// later creation is answered from the cache.
const std::vector<std::string>& CachedClassIds() {
  static const std::vector<std::string> ids = [] {
    std::vector<std::string> result;
    ZQEObjectContainer* container = ZQEObjectContainer::GetInstance();
    for (int i = 0; i < kClasses; ++i) {
      result.push_back(ClassId(i));
      container->Register(&CreateBenchComponent, result.back(), true);
      void* object = nullptr;
      if (container->CreateObjectInstance(kIid, result.back(), &object))
        static_cast<by::IBaseUnknown*>(object)->Release();
    }
    return result;
  }();
  return ids;
}

class NoOpLogger : public zqextensionkit::IZQELogger {
 public:
  void LogMessage(int, std::string message) override {
    benchmark::DoNotOptimize(message.data());
  }
};

void InstallNoOpLogger() {
  static const bool installed =
      ZQELogService::GetInstance()->RegisterLogger(new NoOpLogger);
  (void)installed;
}

void CreateCachedSingleton(benchmark::State& state) {
  const std::vector<std::string>& ids = CachedClassIds();
  ZQEObjectContainer* container = ZQEObjectContainer::GetInstance();
  const std::string& clsid = ids[kClasses / 2];
  const std::string iid = kIid;  // Callers hold ids as strings.
  for (auto _ : state) {
    void* object = nullptr;
    container->CreateObjectInstance(iid, clsid, &object);
    static_cast<by::IBaseUnknown*>(object)->Release();
  }
}

void BM_Baseline_MapFindAddRefRelease(benchmark::State& state) {
  std::map<std::string, by::IBaseUnknown*> cache;
  std::vector<BenchComponent*> objects;
  for (int i = 0; i < kClasses; ++i) {
    auto* component = new BenchComponent;
    component->AddRef();
    objects.push_back(component);
    cache.emplace(ClassId(i), static_cast<IBenchComponent*>(component));
  }
  const std::string clsid = ClassId(kClasses / 2);
  for (auto _ : state) {
    auto it = cache.find(clsid);
    by::IBaseUnknown* object = it->second;
    object->AddRef();
    benchmark::DoNotOptimize(object);
    object->Release();
  }
  for (BenchComponent* component : objects)
    component->Release();
}
BENCHMARK(BM_Baseline_MapFindAddRefRelease);

void BM_Container_CachedSingletonByCreator_NoLogger(benchmark::State& state) {
  CreateCachedSingleton(state);
}
BENCHMARK(BM_Container_CachedSingletonByCreator_NoLogger);

void BM_Container_CachedSingletonByCreator_NoOpLogger(benchmark::State& state) {
  InstallNoOpLogger();
  CreateCachedSingleton(state);
}
BENCHMARK(BM_Container_CachedSingletonByCreator_NoOpLogger);

}  // namespace
