// Prelude of the plug-in snippets: the headers a plug-in source includes and
// the greeting interface.
#include <string>

#include "ZQExtensionKit/bundle/ZQEBaseBundle.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "dlcom/comfactory.h"
#include "tests/plugins/TestPlugin.h"  // IGreeting
