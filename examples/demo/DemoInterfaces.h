// What the demo host and the demo plug-in share: the interfaces of the demo's
// extension points and the class ids they name in manifests and in the
// adapter mapping. Written only against comenv/include, like any plug-in's
// interface header, so the plug-in links nothing of the kit.

#ifndef EXAMPLES_DEMO_DEMOINTERFACES_H_
#define EXAMPLES_DEMO_DEMOINTERFACES_H_

#include <string>

#include "dlcom/unknown.h"

namespace zqdemo {

// Extension point ids of the demo installation.
inline constexpr char kGreetingPoint[] = "com.zq.demo.greeting";
inline constexpr char kWebAppPoint[] = "com.zq.demo.webapp";
// Declared by the "extension_adapter" package; the adapter mapping feeds it
// from kWebAppPoint.
inline constexpr char kLauncherPoint[] = "zq.internal.launcher";

// The interface of the extension point "com.zq.demo.greeting".
struct IGreeting : public by::IBaseUnknown {
  // "<salutation>, <name>!": the salutation is the extension's "salutation"
  // payload, or else the one the library's bundle set up.
  virtual std::string Greet(const std::string& name) = 0;
};
BY_DECLARE_IID(IGreeting, "{CB4CBA3B-8D13-4755-A36A-FA63D2E9812A}")

// The interface of the internal point "zq.internal.launcher", which the
// adapter mapping feeds with one record per web app.
struct ILauncher : public by::IBaseUnknown {
  // What launching would open: the web app's title and extension id.
  virtual std::string Describe() = 0;
};
BY_DECLARE_IID(ILauncher, "{8E62137A-C775-4D61-878A-4ABF664E9975}")

// Classes of the demo plug-in (examples/demo/plugin).
inline constexpr ZQGUID CLSID_GreetingBundle =
    by::GuidFromLiteral("{AB0E1225-E32D-4C0A-9B1D-9BA5D053721F}");
inline constexpr ZQGUID CLSID_Greeter =
    by::GuidFromLiteral("{9E5133F3-E1DF-4B98-B045-59C1C3E22A5B}");

// Classes the host registers in-process: the launcher the adapter mapping
// names, and the network service behind "OpenNetService".
inline constexpr char kWebAppLauncherClsid[] =
    "{1F0E62E8-ACFB-4AC7-81E1-AEB35A365434}";
inline constexpr char kNetServiceClsid[] =
    "{C52B97B2-674D-46E8-8235-8E2C8293359A}";

}  // namespace zqdemo

#endif  // EXAMPLES_DEMO_DEMOINTERFACES_H_
