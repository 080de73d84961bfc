#include "ZQExtensionKit/config/ExtensionAction.h"

namespace zqextensionkit {

// Out of line so that the class's vtable and type information are emitted
// once, in the kit, and exported with it.
ExtensionAction::~ExtensionAction() = default;

}  // namespace zqextensionkit
