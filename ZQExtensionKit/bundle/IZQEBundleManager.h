// IZQEBundleManager: the operations of the kit's bundle manager, which turns
// artifacts whose code lives in a plug-in library into loaded libraries with
// their bundle objects, and hands out the cached loader of each library file.
//
// The virtual operations keep the order below: callers are built against it.
// Operations added later come after the destructor, so that the earlier ones
// keep their places.
//
// Ownership, failure and threads: see ZQEBundleManager.h, the facade that
// callers use, for each operation's contract.

#ifndef ZQEXTENSIONKIT_BUNDLE_IZQEBUNDLEMANAGER_H_
#define ZQEXTENSIONKIT_BUNDLE_IZQEBUNDLEMANAGER_H_

#include <string>
#include <vector>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "dlcom/loadcom.h"

namespace zqextensionkit {

class Artifact;

class ZQEXTENSIONKIT_EXPORT IZQEBundleManager {
 public:
  virtual bool LoadBundle(Artifact* artifact) = 0;
  virtual bool GetComLoader(const std::string& key, CComLoader** loader) = 0;
  virtual bool ComLoaderIsExist(const std::string& key) = 0;

  virtual ~IZQEBundleManager() = default;

  virtual bool LoadBundles(const std::vector<Artifact*>& artifacts) = 0;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_BUNDLE_IZQEBUNDLEMANAGER_H_
