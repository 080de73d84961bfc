// Plug-in library loader.
//
// Contract:
// - `IImpModuleBase` owns one dynamic library handle (`m_hMod`) opened from
//   the path in `m_szModuleName` (at most 259 characters), and resolves a
//   table of entry points (`GetFunDefs`, ended by a row named "null" in any
//   case) through `setfuncaddress`. `Load()` returns 1, or -1 when the library
//   cannot be opened (handle null) or an entry point is missing and
//   `Exception` says so (the library then stays open). `UnLoad()` closes.
//   `Load()` on a loader that holds a library closes the old one once the
//   new one has been tried.
// - `CComLoader` resolves the four component entry points and holds the
//   library's framework class factory while loaded. `LoadCom(path)` returns
//   TRUE when the library is open, all four entry points resolved and the
//   factory obtained. A path that is null, empty, or 260 characters or
//   longer is refused ("CComLoader->Load fuc fail", nothing opened). A missing
//   entry point leaves the library open (`IsLoaded()` true) with FALSE; a
//   library that hands out no framework factory is closed again. Calling
//   `LoadCom` (or `Load`) on a loaded loader replaces the library: the old
//   handle and factory are given up once the new load has been tried.
//   Whenever the library is closed (`UnLoad`, `UnloadCom`, a refused
//   library, destruction) the four entry-point pointers are cleared, so a
//   null test before calling one is always safe.
// - `CreateInstance` creates an object of class `rclsid` queried for `riid`;
//   `S_OK` means `*ppv` holds one reference for the caller. It never calls a
//   null entry point: code that calls `DllGetClassObject` itself must check
//   it for null too, since a loaded library may lack it after a failed load.
// - Destruction releases the factory, then closes the library. Close a
//   loader only after every object created from its library has been
//   released: their code lives in the library.
// - Failures are return values plus short trace lines ("CComLoader->LoadCom",
//   "IImpModuleBase->Load", ...); nothing is logged through the log service
//   and nothing throws. Trace lines go to standard output unless
//   `by::SetTraceLineSink` names another sink. That setting, like the
//   failure record below, belongs to the copy of this header that one
//   library or program compiles: the kit's loaders follow the setting the
//   host makes through ZQELogService::SetLoaderTraceOutput(), a plug-in's or
//   host's own loaders follow their own.
// - After a `LoadCom` that returns FALSE, `by::LastLoadComFailure()` says
//   why, on the thread that called it: the kind of failure and a text, for
//   a library the dynamic loader refused the loader's own reason
//   (`dlerror()`), which the trace lines do not carry. A successful
//   `LoadCom` clears it.
// Thread-safety: none inside a loader. Load once, on one thread, before any
// thread creates instances; `CreateInstance` on a loaded loader may then run
// on several threads at once. The trace-line sink may be set from any
// thread.

#ifndef DLCOM_LOADCOM_H_
#define DLCOM_LOADCOM_H_

#include <dlfcn.h>
#include <strings.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "dlcom/comsentry.h"
#include "dlcom/guiddef.h"
#include "dlcom/unknown.h"

// One row of an entry-point table.
struct STFunDesc {
  const char* pFunName;  // symbol name; "null" (any case) ends the table
  size_t uOffFun;        // index passed to setfuncaddress
};
static_assert(sizeof(STFunDesc) == 16 && offsetof(STFunDesc, uOffFun) == 8,
              "STFunDesc layout");

namespace by {

// Receives one trace line of the loader, without a line break.
using TraceLineSink = void (*)(const char* line);

// Why a LoadCom() failed.
enum class LoadComFailure {
  kNone,          // The last LoadCom() on this thread succeeded (or none ran).
  kPath,          // The path is empty, or 260 characters or longer.
  kOpen,          // The dynamic loader refused the file (text: dlerror()).
  kEntryPoint,    // An entry point is missing (text: dlerror()).
  kClassFactory,  // DllGetClassObject handed out no framework factory.
};

// Why a LoadCom() failed: the step, and the text that explains it.
struct LoadComError {
  LoadComFailure failure;  // the step that failed
  char text[512];          // NUL-terminated; cut to fit.
};

namespace detail {

// The sink of this copy of the loader; null: standard output.
inline std::atomic<TraceLineSink>& TraceLineSinkSlot() {
  static std::atomic<TraceLineSink> sink{nullptr};
  return sink;
}

inline void TraceLine(const char* line) {
  if (TraceLineSink sink =
          TraceLineSinkSlot().load(std::memory_order_acquire)) {
    sink(line);
    return;
  }
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
}

// Per thread, trivially destructible: a library that compiles this header
// can be closed while threads that loaded through it live on.
inline LoadComError& LoadComErrorSlot() {
  static thread_local LoadComError error;
  return error;
}

inline void SetLoadComError(LoadComFailure failure, const char* text) {
  LoadComError& error = LoadComErrorSlot();
  error.failure = failure;
  std::snprintf(error.text, sizeof(error.text), "%s", text ? text : "");
}

}  // namespace detail

// Sends the trace lines of this copy of the loader to `sink`; null restores
// standard output. A sink may be called on any thread that loads or creates
// through a loader, and must not throw.
inline void SetTraceLineSink(TraceLineSink sink) {
  detail::TraceLineSinkSlot().store(sink, std::memory_order_release);
}

// The sink set with SetTraceLineSink(), or null (standard output).
inline TraceLineSink GetTraceLineSink() {
  return detail::TraceLineSinkSlot().load(std::memory_order_acquire);
}

// Why the last LoadCom() of this copy of the loader on the calling thread
// failed; `failure` is kNone after a success. Valid until the thread's next
// LoadCom().
inline const LoadComError& LastLoadComFailure() {
  return detail::LoadComErrorSlot();
}

}  // namespace by

// A dynamically loaded library and the table of entry points resolved from
// it (GetFunDefs(), setfuncaddress()). The library is closed when the object
// goes away.
class DLCOM_API IImpModuleBase {
 public:
  IImpModuleBase() : m_szModuleName(), m_hMod(nullptr) {}
  IImpModuleBase(const IImpModuleBase&) = delete;
  IImpModuleBase& operator=(const IImpModuleBase&) = delete;

  // Hook run before the entry points are used; does nothing here.
  virtual void InitIAT() {}

  virtual ~IImpModuleBase() { IImpModuleBase::UnLoad(); }

  // Opens m_szModuleName and resolves every row of GetFunDefs(). A library
  // this loader already holds is closed once the new one has been tried, so
  // it is never leaked and stays mapped when the same file is loaded again.
  virtual int Load() {
    by::detail::TraceLine("IImpModuleBase->Load");
    ScopedHandle previous(m_hMod);
    m_hMod = nullptr;
    const STFunDesc* defs = GetFunDefs();
    m_hMod = dlopen(m_szModuleName, RTLD_LAZY);
    if (m_hMod == nullptr) {
      // Not a trace line: kept for LastLoadComFailure(), and cleared.
      by::detail::SetLoadComError(by::LoadComFailure::kOpen, dlerror());
      return -1;
    }
    for (const STFunDesc* row = defs;
         row != nullptr && row->pFunName != nullptr &&
         strcasecmp(row->pFunName, "null") != 0;
         ++row) {
      dlerror();  // so that the text below belongs to this lookup
      void* address = dlsym(m_hMod, row->pFunName);
      if (address == nullptr) {
        const char* error = dlerror();
        if (error != nullptr)
          by::detail::TraceLine(error);
        by::detail::SetLoadComError(by::LoadComFailure::kEntryPoint,
                                    error ? error : row->pFunName);
      }
      setfuncaddress(row->uOffFun, address);
      if (address == nullptr && Exception(m_hMod, row->pFunName))
        return -1;
    }
    return 1;
  }

  // Closes the library if open; always returns 0.
  virtual int UnLoad() {
    if (m_hMod != nullptr)
      dlclose(m_hMod);
    m_hMod = nullptr;
    return 0;
  }

  // Whether a library is open.
  virtual bool IsLoaded() { return m_hMod != nullptr; }

  // Called for an entry point that cannot be resolved; true fails Load().
  virtual bool Exception(void* /*hModule*/, const char* /*lpProcName*/) {
    by::detail::TraceLine("IImpModuleBase->Exception");
    return true;
  }

  // The entry points to resolve, ended by a row named "null".
  virtual const STFunDesc* GetFunDefs() = 0;
  // Stores the address resolved for row `i` (null when it is missing).
  virtual bool setfuncaddress(size_t i, void* p) = 0;

 protected:
  // Closes a library handle when it goes out of scope.
  class ScopedHandle {
   public:
    // Takes over `handle` (null: none).
    explicit ScopedHandle(void* handle) : handle_(handle) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() {
      if (handle_ != nullptr)
        dlclose(handle_);
    }

   private:
    void* handle_;
  };

  char m_szModuleName[260];  // the library's path, 1 to 259 characters
  void* m_hMod;              // the dynamic loader's handle, or null
};

// The four entry points every plug-in library exports.
typedef HRESULT (*DefineDllGetClassObject)(const ZQGUID& rclsid,
                                           const ZQIID& riid,
                                           void** ppv);
// See DefineDllGetClassObject.
typedef HRESULT (*DefineDllCanUnloadNow)();
// See DefineDllGetClassObject.
typedef HRESULT (*DefineDllRegisterServer)();
// See DefineDllGetClassObject.
typedef HRESULT (*DefineDllUnregisterServer)();

// The loader of one plug-in library: LoadCom() opens it, resolves its four
// entry points and obtains its framework class factory; CreateInstance()
// then creates the library's objects by class id. Objects of the library
// must be released before the loader unloads it or goes away.
class DLCOM_API CComLoader : protected IImpModuleBase {
 public:
  CComLoader()
      : DllGetClassObject(nullptr),
        DllCanUnloadNow(nullptr),
        DllRegisterServer(nullptr),
        DllUnregisterServer(nullptr) {}

  ~CComLoader() override {
    m_pClassFactory.dispose();
    UnLoad();
  }

  const STFunDesc* GetFunDefs() override {
    static const STFunDesc kFunDefs[] = {
        {"DllGetClassObject", 0},
        {"DllCanUnloadNow", 1},
        {"DllRegisterServer", 2},
        {"DllUnregisterServer", 3},
        {"null", 4},
    };
    return kFunDefs;
  }

  bool setfuncaddress(size_t i, void* p) override {
    by::detail::TraceLine("CComLoader->setfuncaddress");
    switch (i) {
      case 0:
        DllGetClassObject = reinterpret_cast<DefineDllGetClassObject>(p);
        break;
      case 1:
        DllCanUnloadNow = reinterpret_cast<DefineDllCanUnloadNow>(p);
        break;
      case 2:
        DllRegisterServer = reinterpret_cast<DefineDllRegisterServer>(p);
        break;
      case 3:
        DllUnregisterServer = reinterpret_cast<DefineDllUnregisterServer>(p);
        break;
      default:
        break;
    }
    return true;
  }

  bool IsLoaded() override { return m_hMod != nullptr; }

  // Opens the library as IImpModuleBase::Load() does. A library this loader
  // holds is given up, with its factory, once the new one has been tried;
  // its entry points are cleared first, so none of them outlives it.
  int Load() override {
    PreviousModule previous(m_hMod, m_pClassFactory.detach());
    m_hMod = nullptr;
    ClearEntryPoints();
    return IImpModuleBase::Load();
  }

  // Closes the library, if open, and clears the four entry points, which
  // would otherwise point into unmapped code.
  int UnLoad() override {
    const int result = IImpModuleBase::UnLoad();
    ClearEntryPoints();
    return result;
  }

  // Releases the framework class factory, then closes the library.
  virtual void UnloadCom() {
    m_pClassFactory.dispose();
    UnLoad();
  }

  // Opens the library at `pModPathName` (1 to 259 characters), resolves the
  // four entry points and obtains the framework class factory. TRUE on
  // success; FALSE leaves the loader unloaded.
  BOOL LoadCom(const char* pModPathName) {
    by::detail::TraceLine("CComLoader->LoadCom");
    by::detail::SetLoadComError(by::LoadComFailure::kNone, "");
    // A loader that is already loaded gives up its library only after the
    // new one has been opened, so a library loaded twice stays mapped.
    PreviousModule previous(m_hMod, m_pClassFactory.detach());
    m_hMod = nullptr;
    ClearEntryPoints();

    std::memset(m_szModuleName, 0, sizeof(m_szModuleName));
    const size_t length =
        pModPathName ? strnlen(pModPathName, sizeof(m_szModuleName)) : 0;
    if (length == 0 || length >= sizeof(m_szModuleName)) {
      // Never truncated: a cut path could name another file. An empty path
      // would make the dynamic loader hand back the running program.
      by::detail::SetLoadComError(by::LoadComFailure::kPath,
                                  length == 0
                                      ? "the path is empty"
                                      : "the path is 260 characters or longer");
      by::detail::TraceLine("CComLoader->Load fuc fail");
      return FALSE;
    }
    std::memcpy(m_szModuleName, pModPathName, length);

    if (Load() == -1) {
      if (by::LastLoadComFailure().failure == by::LoadComFailure::kNone) {
        by::detail::SetLoadComError(by::LoadComFailure::kOpen,
                                    "the library did not load");
      }
      by::detail::TraceLine("CComLoader->Load fuc fail");
      std::memset(m_szModuleName, 0, sizeof(m_szModuleName));
      return FALSE;
    }
    if (DllGetClassObject == nullptr) {
      by::detail::SetLoadComError(by::LoadComFailure::kEntryPoint,
                                  "DllGetClassObject is missing");
      by::detail::TraceLine("CComLoader->DllGetClassObject error");
      return FALSE;
    }
    DllGetClassObject(CLSID_MDClassFactory,
                      by::__uuid_s<by::IComObjectFrameworkClassFactory>::iid,
                      m_pClassFactory.vpp());
    if (m_pClassFactory.ptr() == nullptr) {
      by::detail::SetLoadComError(
          by::LoadComFailure::kClassFactory,
          "DllGetClassObject hands out no framework class factory");
      UnloadCom();
      return FALSE;
    }
    // A missing entry point that Exception() tolerated is no failure.
    by::detail::SetLoadComError(by::LoadComFailure::kNone, "");
    return TRUE;
  }

  // Creates an object of class `rclsid` from the loaded library and stores it
  // queried for `riid` in `*ppv`, with one reference for the caller. `S_OK`,
  // or the failure of the library's factory (`E_UNEXPECTED` when nothing is
  // loaded).
  HRESULT CreateInstance(const ZQGUID& rclsid,
                         by::IBaseUnknown* prot,
                         by::IBaseUnknown* punkOuter,
                         const ZQIID& riid,
                         void** ppv) {
    if (!IsLoaded() || DllGetClassObject == nullptr)
      return E_UNEXPECTED;
    if (ppv == nullptr)
      return E_POINTER;
    by::com_ptr<by::IClassFactory__> pClassFactory;
    HRESULT hr = DllGetClassObject(
        rclsid, by::__uuid_s<by::IClassFactory__>::iid, pClassFactory.vpp());
    if (hr < 0 || pClassFactory.ptr() == nullptr)
      return hr != S_OK ? hr : CLASS_E_CLASSNOTAVAILABLE;
    by::com_ptr<by::IComObjectFrameworkClassFactory> pOFClassFactory;
    hr = pClassFactory->QueryInterface(
        by::__uuid_s<by::IComObjectFrameworkClassFactory>::iid,
        pOFClassFactory.vpp());
    if (hr < 0 || pOFClassFactory.ptr() == nullptr)
      return hr != S_OK ? hr : E_NOINTERFACE;
    by::detail::TraceLine("pOFClassFactory->CreateInstance");
    return pOFClassFactory->CreateInstance(prot, punkOuter, riid, ppv);
  }

  using IImpModuleBase::Exception;
  using IImpModuleBase::InitIAT;

  // The library's entry points, null while it is not loaded.
  DefineDllGetClassObject DllGetClassObject;
  DefineDllCanUnloadNow DllCanUnloadNow;
  DefineDllRegisterServer DllRegisterServer;
  DefineDllUnregisterServer DllUnregisterServer;
  // The library's framework class factory, while it is loaded.
  by::com_ptr<by::IComObjectFrameworkClassFactory> m_pClassFactory;

 private:
  // Holds a replaced library and its factory until the end of a load.
  class PreviousModule {
   public:
    PreviousModule(void* handle, by::IComObjectFrameworkClassFactory* factory)
        : handle_(handle), factory_(factory) {}
    PreviousModule(const PreviousModule&) = delete;
    PreviousModule& operator=(const PreviousModule&) = delete;
    ~PreviousModule() {
      if (factory_ != nullptr)
        factory_->Release();
      if (handle_ != nullptr)
        dlclose(handle_);
    }

   private:
    void* handle_;
    by::IComObjectFrameworkClassFactory* factory_;
  };

  void ClearEntryPoints() {
    DllGetClassObject = nullptr;
    DllCanUnloadNow = nullptr;
    DllRegisterServer = nullptr;
    DllUnregisterServer = nullptr;
  }
};

#endif  // DLCOM_LOADCOM_H_
