// ZQServiceRegisterInfo: one registration in the service manager, filled by
// the caller of IZQServiceManager::RegisterService().
//
// The manager copies the record (constructor included) when it registers it;
// the caller keeps its own. The constructor may run on any thread that gets
// the service, with none of the manager's locks held.

#ifndef ZQEXTENSIONKIT_SERVICE_ZQSERVICEREGISTERINFO_H_
#define ZQEXTENSIONKIT_SERVICE_ZQSERVICEREGISTERINFO_H_

#include <functional>
#include <string>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace zqextensionkit {

// Builds a new instance of the service and stores in `*ppv` a pointer to the
// interface named by the registration's `iid`, holding one reference for the
// caller. Returns true on success.
using ZQServiceConstructor = std::function<bool(void** ppv)>;

struct ZQEXTENSIONKIT_EXPORT ZQServiceRegisterInfo {
  std::string name;          // Service name, the key callers use.
  std::string clsid;         // Class id text of the service's class.
  std::string iid;           // Interface id text of the interface handed out.
  bool isSingleton = false;  // One shared instance, cached by the manager.
  ZQServiceConstructor constructor;  // Builds an instance.
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SERVICE_ZQSERVICEREGISTERINFO_H_
