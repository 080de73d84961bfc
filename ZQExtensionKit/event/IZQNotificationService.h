// IZQNotificationService: the interface of the kit's notification bus, an
// in-process publish/subscribe service (see ZQNotificationService.h).
//
// Obtain it from the service manager as the service "NotificationService":
//
//   IZQNotificationService* bus = zqextensionkit::ZQServiceManager::
//       GetInstance()->GetService<IZQNotificationService>("NotificationService");
//   if (bus) {
//     bus->Notify(zqextensionkit::NOTIFICATION_OPEN_SYNC_MESSAGE,
//                 zqextensionkit::Source<Chat>(chat),
//                 IZQNotificationService::NoParams());
//     bus->Release();
//   }
//
// Ownership: the pointer carries one reference for the caller. The source and
// parameters stay owned by the poster; the bus never dereferences them.
// Failure: Notify() cannot fail; posting with no subscriber does nothing.
// Threads: the bus takes no lock; callers serialise subscriptions, removals
// and postings (one thread at a time). Observers may subscribe, unsubscribe
// and post again from inside Observe() on that thread.

#ifndef ZQEXTENSIONKIT_EVENT_IZQNOTIFICATIONSERVICE_H_
#define ZQEXTENSIONKIT_EVENT_IZQNOTIFICATIONSERVICE_H_

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "ZQExtensionKit/event/ZQNotificationParameters.h"
#include "ZQExtensionKit/event/ZQNotificationSource.h"
#include "dlcom/unknown.h"

class ZQEXTENSIONKIT_EXPORT IZQNotificationService : public by::IBaseUnknown {
 public:
  // Slot 3. Calls Observe(type, source, params) on every observer subscribed
  // to `type` or to all types (NOTIFICATION_ALL), and to `source` or to all
  // sources, in this order: all types from all sources, all types from
  // `source`, `type` from all sources, `type` from `source`. Posting from
  // AllSources() reaches only the all-sources subscribers.
  virtual void Notify(
      int type,
      const zqextensionkit::ZQNotificationSource& source,
      const zqextensionkit::ZQNotificationParameters& params) = 0;

  // The source that stands for all sources (null, map key 0).
  static zqextensionkit::Source<void> AllSources() {
    return zqextensionkit::Source<void>(nullptr);
  }

  // Parameters holding nothing.
  static zqextensionkit::Params<void> NoParams() {
    return zqextensionkit::Params<void>(nullptr);
  }

 protected:
  ~IZQNotificationService() = default;
};
BY_DECLARE_IID(IZQNotificationService, IID_IZQNotificationService)

#endif  // ZQEXTENSIONKIT_EVENT_IZQNOTIFICATIONSERVICE_H_
