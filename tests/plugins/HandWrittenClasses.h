// A bundle class and an extension class written the long way: each derives
// from the kit's base and writes QueryInterface, AddRef and Release itself,
// answering an interface the base's list does not name. Built into the
// hand-written plug-in and into the tests (for the in-process route), so
// both routes create the very same classes through by::CComObject<T>.

#ifndef TESTS_PLUGINS_HANDWRITTENCLASSES_H_
#define TESTS_PLUGINS_HANDWRITTENCLASSES_H_

#include "ZQExtensionKit/bundle/ZQEBaseBundle.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "dlcom/unknown.h"
#include "tests/plugins/TestPlugin.h"

namespace hand_written {

// Stores `object` seen as interface I in *ppv with one reference when `riid`
// is I's id.
template <class I, class T>
bool Answer(T* object, const ZQIID& riid, void** ppv) {
  if (!(riid == by::__uuid_s<I>::iid))
    return false;
  *ppv = static_cast<I*>(object);
  object->AddRef();
  return true;
}

class HandWrittenBundle : public ITestBundleProbe,
                          public zqextensionkit::ZQEBaseBundle {
 public:
  HRESULT QueryInterface(const ZQIID& riid, void** ppv) override {
    if (Answer<ITestBundleProbe>(this, riid, ppv) ||
        Answer<zqextensionkit::IZQEBundle>(this, riid, ppv) ||
        (riid == by::__uuid_s<by::IBaseUnknown>::iid &&
         Answer<by::IBaseUnknown>(static_cast<ITestBundleProbe*>(this), riid,
                                  ppv))) {
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return InternalAddRef(); }
  ULONG Release() override {
    const ULONG count = InternalRelease();
    if (count == 0)
      delete this;
    return count;
  }

  void Initialize() override { ++initialize_calls_; }
  long InitializeCalls() override { return initialize_calls_; }
  long LiveBundles() override { return 1; }
  void SetDestructionHook(void (*)(void*), void*) override {}

 private:
  long initialize_calls_ = 0;
};

class HandWrittenExtension : public ITestExtensionProbe,
                             public zqextensionkit::ZQBaseExtension {
 public:
  HRESULT QueryInterface(const ZQIID& riid, void** ppv) override {
    if (Answer<ITestExtensionProbe>(this, riid, ppv) ||
        Answer<zqextensionkit::IZQBaseExtension>(this, riid, ppv) ||
        (riid == by::__uuid_s<by::IBaseUnknown>::iid &&
         Answer<by::IBaseUnknown>(static_cast<ITestExtensionProbe*>(this), riid,
                                  ppv))) {
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return InternalAddRef(); }
  ULONG Release() override {
    const ULONG count = InternalRelease();
    if (count == 0)
      delete this;
    return count;
  }

  HRESULT Initialization() override {
    ++initialization_calls_;
    return S_OK;
  }
  const char* ClassName() override { return "HandWrittenExtension"; }
  long LiveObjects() override { return 1; }
  long InitializationCalls() override { return initialization_calls_; }

 private:
  long initialization_calls_ = 0;
};

}  // namespace hand_written

#endif  // TESTS_PLUGINS_HANDWRITTENCLASSES_H_
