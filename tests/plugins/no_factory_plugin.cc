// A broken plug-in: all four entry points exist, but DllGetClassObject hands
// out no class factory at all.

#include "dlcom/guiddef.h"

extern "C" DLCOM_API HRESULT DllGetClassObject(const ZQGUID& /*rclsid*/,
                                               const ZQIID& /*riid*/,
                                               void** /*ppv*/) {
  return E_NOINTERFACE;
}
extern "C" DLCOM_API HRESULT DllCanUnloadNow() {
  return S_OK;
}
extern "C" DLCOM_API HRESULT DllRegisterServer() {
  return S_OK;
}
extern "C" DLCOM_API HRESULT DllUnregisterServer() {
  return S_OK;
}
