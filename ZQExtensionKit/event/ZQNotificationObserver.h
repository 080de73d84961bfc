// ZQNotificationObserver: implemented by whoever subscribes to notifications.
//
// Observe() is called on the thread that posts, once per matching
// subscription list (see ZQNotificationService.h for the order). From inside
// Observe() an observer may subscribe or unsubscribe observers, itself
// included, and post further notifications.
//
// Ownership: the bus keeps raw pointers and never destroys observers (the
// destructor is protected); an observer must be unsubscribed before it dies,
// which a ZQNotificationRegistrar member does automatically.

#ifndef ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONOBSERVER_H_
#define ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONOBSERVER_H_

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "ZQExtensionKit/event/ZQNotificationParameters.h"
#include "ZQExtensionKit/event/ZQNotificationSource.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQNotificationObserver {
 public:
  // Receives a notification of `type` from `source` with `params`.
  virtual void Observe(int type,
                       const ZQNotificationSource& source,
                       const ZQNotificationParameters& params) = 0;

 protected:
  virtual ~ZQNotificationObserver() = default;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONOBSERVER_H_
