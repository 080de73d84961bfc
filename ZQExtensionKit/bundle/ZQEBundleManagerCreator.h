// ZQEBundleManagerCreator: builds the kit's one bundle manager
// implementation.
//
// Create() builds a ZQEBundleManagerImpl on its first call (concurrent first
// calls build one object) and returns a shared pointer to it; every call
// returns the same implementation. The creator keeps its own reference until
// the process exits, so dropping the facade's reference (UnInitialize) keeps
// the loaded libraries and bundle objects. Throws std::system_error only when
// the platform's once facility fails.
//
//   ZQEBundleManager::GetInstance()->Initialize(ZQEBundleManagerCreator::Create());

#ifndef ZQEXTENSIONKIT_BUNDLE_ZQEBUNDLEMANAGERCREATOR_H_
#define ZQEXTENSIONKIT_BUNDLE_ZQEBUNDLEMANAGERCREATOR_H_

#include <memory>

#include "ZQExtensionKit/bundle/IZQEBundleManager.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQEBundleManagerCreator {
 public:
  // A new implementation of the bundle manager, for its facade's
  // Initialize() (InitSDK() installs one).
  static std::shared_ptr<IZQEBundleManager> Create();

  virtual ~ZQEBundleManagerCreator() = default;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_BUNDLE_ZQEBUNDLEMANAGERCREATOR_H_
