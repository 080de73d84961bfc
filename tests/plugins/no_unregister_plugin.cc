// A broken plug-in: it exports every entry point but DllUnregisterServer, so
// the kit must refuse it.

#include "dlcom/comfactory.h"

extern "C" DLCOM_API HRESULT DllGetClassObject(const ZQGUID& rclsid,
                                               const ZQIID& riid,
                                               void** ppv) {
  return by::GetClassObjectFromTable(nullptr, 0, rclsid, riid, ppv);
}
extern "C" DLCOM_API HRESULT DllCanUnloadNow() {
  return S_FALSE;
}
extern "C" DLCOM_API HRESULT DllRegisterServer() {
  return S_OK;
}
