// Deliberately broken plug-ins, one library per BrokenPluginMode (the
// build passes the mode as ZQ_BROKEN_PLUGIN_MODE). Each has a bundle class
// and an IGreeting extension class, with ids that depend on the mode
// (BrokenPluginClsidText), and breaks in the one way its mode names.

#include <stdexcept>
#include <string>

#include "ZQExtensionKit/bundle/ZQEBaseBundle.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "dlcom/comfactory.h"
#include "dlcom/guidstring.h"
#include "tests/plugins/TestPlugin.h"

#ifndef ZQ_BROKEN_PLUGIN_MODE
#error "build each broken plug-in with ZQ_BROKEN_PLUGIN_MODE set"
#endif

namespace {

constexpr int kMode = ZQ_BROKEN_PLUGIN_MODE;

class Bundle : public zqextensionkit::ZQEBaseBundle {
 public:
  HRESULT init_class(by::IBaseUnknown*, by::IBaseUnknown*) {
    if (kMode == kBrokenFactoriesThrow)
      throw std::runtime_error("bundle creation failed");
    return S_OK;
  }
  void Initialize() override {
    if (kMode == kBrokenBundleInitializeThrows)
      throw std::runtime_error("bundle initialisation failed");
  }
};

class Greeter : public IGreeting, public zqextensionkit::ZQBaseExtension {
 public:
  BY_INTERFACES(IGreeting, zqextensionkit::IZQBaseExtension)

  HRESULT init_class(by::IBaseUnknown*, by::IBaseUnknown*) {
    if (kMode == kBrokenFactoriesThrow)
      throw std::runtime_error("extension creation failed");
    return S_OK;
  }
  HRESULT Initialization() override {
    if (kMode == kBrokenExtensionInitializationThrows)
      throw std::runtime_error("extension initialisation failed");
    return S_OK;
  }
  std::string Greet(const std::string& name) override {
    return "Broken, " + name + "!";
  }
};

// Answers IZQBaseExtension only, not the point's IGreeting.
class Mute : public zqextensionkit::ZQBaseExtension {};

template <class T>
HRESULT Create(by::IBaseUnknown* prot,
               by::IBaseUnknown* outer,
               const ZQIID& riid,
               void** ppv) {
  if (kMode == kBrokenNullObjects) {
    *ppv = nullptr;
    return S_OK;
  }
  return by::CreateComObject<T>(prot, outer, riid, ppv);
}

const by::ComClassEntry kClasses[] = {
    {S2GUIDA(BrokenPluginClsidText(kMode, true).c_str(), true),
     &Create<Bundle>},
    {S2GUIDA(BrokenPluginClsidText(kMode, false).c_str(), true),
     kMode == kBrokenExtensionWithoutPointInterface ? &Create<Mute>
                                                    : &Create<Greeter>},
};

}  // namespace

#if ZQ_BROKEN_PLUGIN_MODE != ZQ_BROKEN_NO_DLLGETCLASSOBJECT
extern "C" DLCOM_API HRESULT DllGetClassObject(const ZQGUID& rclsid,
                                               const ZQIID& riid,
                                               void** ppv) {
  const bool framework = rclsid == CLSID_MDClassFactory;
  if (framework && kMode == kBrokenNoFrameworkFactory) {
    *ppv = nullptr;
    return S_OK;
  }
  if (framework && kMode == kBrokenLoadThrows)
    throw std::runtime_error("no factory today");
  if (!framework && kMode == kBrokenNoClassFactories) {
    *ppv = nullptr;
    return E_FAIL;
  }
  return by::GetClassObjectFromTable(
      kClasses, sizeof(kClasses) / sizeof(kClasses[0]), rclsid, riid, ppv);
}
#endif
#if ZQ_BROKEN_PLUGIN_MODE != ZQ_BROKEN_NO_DLLCANUNLOADNOW
extern "C" DLCOM_API HRESULT DllCanUnloadNow() {
  return S_FALSE;
}
#endif
#if ZQ_BROKEN_PLUGIN_MODE != ZQ_BROKEN_NO_DLLREGISTERSERVER
extern "C" DLCOM_API HRESULT DllRegisterServer() {
  return S_OK;
}
#endif
extern "C" DLCOM_API HRESULT DllUnregisterServer() {
  return S_OK;
}
