// Prelude of the bundle manager snippet: an artifact of a loaded
// configuration and the greeting plug-in's interface and class id.
#include "ZQExtensionKit/ZQExtensionKitSDK.h"
#include "tests/plugins/TestPlugin.h"  // IGreeting, CLSID_Greeter

extern zqextensionkit::Artifact* artifact;
