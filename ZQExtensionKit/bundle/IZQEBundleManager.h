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

// The bundle manager's operations (see the top of this file).
class ZQEXTENSIONKIT_EXPORT IZQEBundleManager {
 public:
  // Loads the library `artifact` names (checks first, when the extension
  // manager's switch is on) and creates and initialises its bundle object.
  // True when the library is loaded, now or before.
  virtual bool LoadBundle(Artifact* artifact) = 0;
  // Stores in `*loader` the cached loader of the library file `key`, creating
  // an unloaded one for a path not seen yet; the manager keeps owning it.
  virtual bool GetComLoader(const std::string& key, CComLoader** loader) = 0;
  // Whether a loader is cached for the library file `key`.
  virtual bool ComLoaderIsExist(const std::string& key) = 0;

  virtual ~IZQEBundleManager() = default;

  // LoadBundle() of each artifact in list order, with the files hashed ahead
  // of their loads when the checks are on. True when every library loaded.
  virtual bool LoadBundles(const std::vector<Artifact*>& artifacts) = 0;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_BUNDLE_IZQEBUNDLEMANAGER_H_
