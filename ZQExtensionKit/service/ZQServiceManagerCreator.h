// ZQServiceManagerCreator: builds the kit's one service manager
// implementation.
//
// Create() builds a ZQServiceManagerImpl on its first call (concurrent first
// calls build one object) and returns a shared pointer to it; every call
// returns the same implementation. The creator keeps its own reference until
// the process exits, so dropping the facade's reference (UnInitialize) keeps
// the registrations and cached services. Throws std::system_error only when
// the platform's once facility fails.
//
//   ZQServiceManager::GetInstance()->Initialize(ZQServiceManagerCreator::Create());

#ifndef ZQEXTENSIONKIT_SERVICE_ZQSERVICEMANAGERCREATOR_H_
#define ZQEXTENSIONKIT_SERVICE_ZQSERVICEMANAGERCREATOR_H_

#include <memory>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "ZQExtensionKit/service/IZQServiceManager.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQServiceManagerCreator {
 public:
  // A new implementation of the service manager, for its facade's
  // Initialize() (InitSDK() installs one).
  static std::shared_ptr<IZQServiceManager> Create();
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SERVICE_ZQSERVICEMANAGERCREATOR_H_
