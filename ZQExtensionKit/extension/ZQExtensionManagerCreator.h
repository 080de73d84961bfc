// ZQExtensionManagerCreator: builds the kit's one extension manager
// implementation.
//
// Create() builds the implementation on its first call (concurrent first
// calls build one object) and returns a shared pointer to it; every call
// returns the same implementation. The creator keeps its own reference until
// the process exits, so dropping the facade's reference (UnInitialize) keeps
// the implementation's state, switches included. Throws std::system_error
// only when the platform's once facility fails.
//
//   ZQExtensionManager::GetInstance()->Initialize(
//       ZQExtensionManagerCreator::Create());

#ifndef ZQEXTENSIONKIT_EXTENSION_ZQEXTENSIONMANAGERCREATOR_H_
#define ZQEXTENSIONKIT_EXTENSION_ZQEXTENSIONMANAGERCREATOR_H_

#include <memory>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "ZQExtensionKit/extension/IZQExtensionManager.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQExtensionManagerCreator {
 public:
  // A new implementation of the extension manager, for its facade's
  // Initialize() (InitSDK() installs one).
  static std::shared_ptr<IZQExtensionManager> Create();

  virtual ~ZQExtensionManagerCreator() = default;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EXTENSION_ZQEXTENSIONMANAGERCREATOR_H_
