// ZQEBundleContext: the context object of a plug-in library's bundle object
// (IZQEBundle::GetContext()). It carries no data yet; it exists so that
// bundles have a place to grow into without changing the bundle interface.
//
// Header-only plain class: plug-in libraries compile it into themselves.
// Owned by its bundle object (ZQEBaseBundle creates and destroys it).
// No state, so any thread may use it.

#ifndef ZQEXTENSIONKIT_BUNDLE_ZQEBUNDLECONTEXT_H_
#define ZQEXTENSIONKIT_BUNDLE_ZQEBUNDLECONTEXT_H_

namespace zqextensionkit {

class ZQEBundleContext {};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_BUNDLE_ZQEBUNDLECONTEXT_H_
