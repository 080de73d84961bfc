// Prelude of the named services snippet: a service interface and the class
// that implements it.
#include <string>

#include "ZQExtensionKit/ZQExtensionKitSDK.h"

struct IMyNetService : public by::IBaseUnknown {
  virtual void Send(const std::string& text) = 0;
};
BY_DECLARE_IID(IMyNetService, "{2F7B8C9D-0E1F-4A2B-9C3D-4E5F6A7B8C9D}")

class MyNetService : public IMyNetService, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IMyNetService)
  void Send(const std::string& text) override {}
};
