// ZQExtensionKit umbrella header: one include for hosts and plug-in authors.
//
// Includes every public header of the kit and of the component model. It
// declares nothing itself; each included header states its own contract and
// thread-safety.
#ifndef ZQEXTENSIONKIT_ZQEXTENSIONKITSDK_H_
#define ZQEXTENSIONKIT_ZQEXTENSIONKITSDK_H_

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

#endif  // ZQEXTENSIONKIT_ZQEXTENSIONKITSDK_H_
