// The component model's hot paths, each beside its baseline:
// - S2GUIDA on canonical text (strict fast path) beside the plain formatted
//   scan it replaces, and on a non-canonical text (which takes the scan).
// - A QueryInterface + Release pair beside a bare AddRef + Release pair.
// - CComLoader LoadCom + UnloadCom of the good test plug-in beside a bare
//   dlopen + four dlsym + dlclose of the same file. The loader's trace lines
//   go to /dev/null while it is measured (standard output is redirected for
//   the loop), so the figure counts writing them but not a terminal.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "dlcom/comobject.h"
#include "dlcom/comsentry.h"
#include "dlcom/guidstring.h"
#include "dlcom/loadcom.h"
#include "tests/plugins/TestPlugin.h"

namespace {

const char kCanonical[] = "{E9678781-A3CB-46FB-9121-3ED22C24CFAD}";
const char kNonCanonical[] = "{0x678781-A3CB-46FB-9121-3ED22C24CFAD}";

void BM_S2GUIDA_Canonical(benchmark::State& state) {
  for (auto _ : state) {
    const char* text = kCanonical;
    benchmark::DoNotOptimize(text);
    ZQGUID guid = S2GUIDA(text, true);
    benchmark::DoNotOptimize(guid);
  }
}
BENCHMARK(BM_S2GUIDA_Canonical);

// Baseline: the formatted scan alone, on the same text.
void BM_FormattedScan_Canonical(benchmark::State& state) {
  for (auto _ : state) {
    const char* text = kCanonical;
    benchmark::DoNotOptimize(text);
    ZQGUID guid = by::detail::ScanGuidText(text, 38, true);
    benchmark::DoNotOptimize(guid);
  }
}
BENCHMARK(BM_FormattedScan_Canonical);

void BM_S2GUIDA_NonCanonical(benchmark::State& state) {
  for (auto _ : state) {
    const char* text = kNonCanonical;
    benchmark::DoNotOptimize(text);
    ZQGUID guid = S2GUIDA(text, true);
    benchmark::DoNotOptimize(guid);
  }
}
BENCHMARK(BM_S2GUIDA_NonCanonical);

struct IBenchObject : public by::IBaseUnknown {
  virtual int Value() = 0;
};
BY_DECLARE_IID(IBenchObject, "{0D1E2F3A-4B5C-4D6E-8F70-8192A3B4C5D6}")
struct IOther : public by::IBaseUnknown {};
BY_DECLARE_IID(IOther, "{0D1E2F3A-4B5C-4D6E-8F70-8192A3B4C5D7}")

class BenchObject : public IBenchObject, public IOther, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IBenchObject, IOther)
  int Value() override { return 1; }
};

void BM_QueryInterfaceRelease(benchmark::State& state) {
  by::CComObjectScopedPtr<BenchObject> object;
  by::CComObject<BenchObject>::CreateInstance(object.pp());
  by::IBaseUnknown* unknown = static_cast<IBenchObject*>(object.ptr());
  for (auto _ : state) {
    void* ppv = nullptr;
    unknown->QueryInterface(by::__uuid_s<IOther>::iid, &ppv);
    benchmark::DoNotOptimize(ppv);
    static_cast<IOther*>(ppv)->Release();
  }
}
BENCHMARK(BM_QueryInterfaceRelease);

// Baseline: the two atomic count changes alone.
void BM_AddRefRelease(benchmark::State& state) {
  by::CComObjectScopedPtr<BenchObject> object;
  by::CComObject<BenchObject>::CreateInstance(object.pp());
  by::IBaseUnknown* unknown = static_cast<IBenchObject*>(object.ptr());
  for (auto _ : state) {
    benchmark::DoNotOptimize(unknown);
    unknown->AddRef();
    unknown->Release();
  }
}
BENCHMARK(BM_AddRefRelease);

std::string GoodPluginPath() {
  return std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kGoodPluginFile;
}

// Sends standard output to /dev/null for its lifetime.
class SilencedStdout {
 public:
  SilencedStdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, STDOUT_FILENO);
    close(null_fd);
  }
  ~SilencedStdout() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }

 private:
  int saved_;
};

void BM_LoadComUnloadCom(benchmark::State& state) {
  const std::string path = GoodPluginPath();
  SilencedStdout silenced;
  for (auto _ : state) {
    CComLoader loader;
    if (!loader.LoadCom(path.c_str())) {
      state.SkipWithError("the good test plug-in did not load");
      break;
    }
    loader.UnloadCom();
  }
}
BENCHMARK(BM_LoadComUnloadCom);

// Baseline: what the loader cannot avoid doing.
void BM_BareDlopenDlsymDlclose(benchmark::State& state) {
  const std::string path = GoodPluginPath();
  const char* const kNames[] = {"DllGetClassObject", "DllCanUnloadNow",
                                "DllRegisterServer", "DllUnregisterServer"};
  for (auto _ : state) {
    void* handle = dlopen(path.c_str(), RTLD_LAZY);
    if (handle == nullptr) {
      state.SkipWithError("the good test plug-in did not open");
      break;
    }
    for (const char* name : kNames)
      benchmark::DoNotOptimize(dlsym(handle, name));
    dlclose(handle);
  }
}
BENCHMARK(BM_BareDlopenDlsymDlclose);

}  // namespace
