#include "ZQExtensionKit/config/ExtensionPoint.h"

namespace zqextensionkit {

// Out of line so that the class's vtable and type information are emitted
// once, in the kit, and exported with it.
ExtensionPoint::~ExtensionPoint() = default;

}  // namespace zqextensionkit
