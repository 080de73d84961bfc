// ZQEConfigurationManagerCreator: builds the kit's one configuration manager
// implementation.
//
// Create() builds a ZQEConfigurationManagerImpl on its first call (concurrent
// first calls build one object) and returns a shared pointer to it; every
// call returns the same implementation. The creator keeps its own reference
// until the process exits, so dropping the facade's reference
// (UnInitialize) keeps the loaded configuration. Throws std::system_error
// only when the platform's once facility fails.
//
//   ZQEConfigurationManager::GetInstance()->Initialize(
//       ZQEConfigurationManagerCreator::Create());

#ifndef ZQEXTENSIONKIT_CONFIG_ZQECONFIGURATIONMANAGERCREATOR_H_
#define ZQEXTENSIONKIT_CONFIG_ZQECONFIGURATIONMANAGERCREATOR_H_

#include <memory>

#include "ZQExtensionKit/config/IZQEConfigurationManager.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQEConfigurationManagerCreator {
 public:
  virtual ~ZQEConfigurationManagerCreator() = default;

  // A new implementation of the configuration manager, for its facade's
  // Initialize() (InitSDK() installs one).
  static std::shared_ptr<IZQEConfigurationManager> Create();
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_ZQECONFIGURATIONMANAGERCREATOR_H_
