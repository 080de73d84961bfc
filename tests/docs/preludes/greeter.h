// Prelude of the object container snippet: a component interface, its ids
// and a function that makes an instance.
#include <string>

#include "dlcom/comobject.h"
#include "dlcom/unknown.h"

struct IGreeter : public by::IBaseUnknown {
  virtual void Greet() = 0;
};
BY_DECLARE_IID(IGreeter, "{0D5F6A7B-8C9D-4E0F-9A1B-2C3D4E5F6A7B}")

inline const std::string kIGreeterIid =
    "{0D5F6A7B-8C9D-4E0F-9A1B-2C3D4E5F6A7B}";
inline const std::string kGreeterClassId =
    "{1E6A7B8C-9D0E-4F1A-8B2C-3D4E5F6A7B8C}";

// Stores a new greeter's `iid` interface in *ppv, with one reference.
bool CreateMyGreeter(const std::string& iid, void** ppv);
