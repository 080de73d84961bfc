// IHello: the interface of the extension point "com.example.hello". The host
// and the plug-in both include this header; the id declared beside the
// interface is how the kit asks an extension instance for it.

#ifndef GETTING_STARTED_IHELLO_H_
#define GETTING_STARTED_IHELLO_H_

#include <string>

#include "dlcom/unknown.h"

struct IHello : public by::IBaseUnknown {
  // "<greeting>, <name>!", the greeting being the extension's "greeting"
  // payload from the manifest.
  virtual std::string SayHello(const std::string& name) = 0;
};
BY_DECLARE_IID(IHello, "{E8227089-289A-49CD-AA7D-53C1F24F4A1E}")

// The plug-in's extension class, named by "clsid" in the manifest.
inline constexpr ZQGUID CLSID_HelloExtension =
    by::GuidFromLiteral("{8B327CAE-16A7-422B-BEC9-227591E10F16}");

#endif  // GETTING_STARTED_IHELLO_H_
