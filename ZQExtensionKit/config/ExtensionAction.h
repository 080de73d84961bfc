// ExtensionAction: an action that an extension point can run, and the opaque
// context it runs in.
//
// The kit provides no concrete action and passes ExtensionActionContext only
// by pointer; both are for the host to define. An ExtensionPointImpl owns its
// action and destroys it after its extensions.
//
// Threads: no synchronisation here; an action's own operations decide.

#ifndef ZQEXTENSIONKIT_CONFIG_EXTENSIONACTION_H_
#define ZQEXTENSIONKIT_CONFIG_EXTENSIONACTION_H_

#include <cstdint>
#include <map>
#include <string>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace zqextensionkit {

// What an action runs against. Opaque to the kit, which passes it only by
// pointer (and passes null where it has none).
class ExtensionActionContext;

// What an action invokes.
enum ExtensionActionType : int32_t {
  ActionTypeUnkown = -1,
  ActionTypeUIInvoke = 0,
  ActionTypeJSInvoke = 1,
};

class ZQEXTENSIONKIT_EXPORT ExtensionAction {
 public:
  ExtensionAction(const ExtensionAction&) = delete;
  ExtensionAction& operator=(const ExtensionAction&) = delete;
  virtual ~ExtensionAction();

  // The virtual operations keep this order: it is the layout that action
  // implementations built against the kit rely on.
  virtual void SetContext(ExtensionActionContext* context) = 0;
  virtual void SetParam(std::map<std::string, std::string>& params) = 0;
  virtual ExtensionActionType GetActionType() = 0;
  // Runs the action; `context` may be null. Returns whether it succeeded.
  virtual bool Run(ExtensionActionContext* context) = 0;

 protected:
  ExtensionAction() = default;

  ExtensionActionType type_ = ActionTypeUnkown;  // for GetActionType()
  std::map<std::string, std::string> params_;    // as SetParam() received them
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_EXTENSIONACTION_H_
