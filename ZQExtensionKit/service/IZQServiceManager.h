// IZQServiceManager: the operations of the kit's registry of named services.
//
// A service is registered once under a name with the text forms of its class
// id and interface id, a singleton flag and a constructor; GetService(name)
// then hands out a pointer to that interface.
//
// Ownership: a non-null result of GetService() carries one reference for the
// caller, who releases it (through by::IBaseUnknown::Release) when done.
// Failure: RegisterService() returns false and GetService() null, each with
// one message through the log service; nothing is thrown.
// Threads: implementations are safe to call from any thread.
//
// Implementations are owned through std::shared_ptr (see
// ZQServiceManagerCreator); the destructor is protected and not virtual, so an
// interface pointer can never be deleted directly.

#ifndef ZQEXTENSIONKIT_SERVICE_IZQSERVICEMANAGER_H_
#define ZQEXTENSIONKIT_SERVICE_IZQSERVICEMANAGER_H_

#include <string>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "ZQExtensionKit/service/ZQServiceRegisterInfo.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT IZQServiceManager {
 public:
  // Registers `info` under its name and class id; the record is copied.
  // Fails for an empty class id, interface id or name (checked in that order)
  // and for a name that is already registered. A second name for a class id
  // that is already registered succeeds and maps to the first registration.
  virtual bool RegisterService(ZQServiceRegisterInfo& info) = 0;

  // The interface pointer of the service registered as `name`, or null.
  virtual void* GetService(const std::string& name) = 0;

 protected:
  ~IZQServiceManager() = default;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SERVICE_IZQSERVICEMANAGER_H_
