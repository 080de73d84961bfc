// ZQNotificationRegistrar: remembers an object's subscriptions to the
// notification bus and drops them all when it is destroyed.
//
// Make it a member of the observer, so that the observer cannot outlive its
// subscriptions:
//
//   class ChatWatcher : public zqextensionkit::ZQNotificationObserver {
//    public:
//     ChatWatcher() {
//       registrar_.Add(this, zqextensionkit::NOTIFICATION_OPEN_SYNC_MESSAGE,
//                      IZQNotificationService::AllSources());
//     }
//     void Observe(int type, const ZQNotificationSource& source,
//                  const ZQNotificationParameters& params) override;
//    private:
//     zqextensionkit::ZQNotificationRegistrar registrar_;
//   };
//
// The registrar obtains the bus from the service manager (service
// "NotificationService") each time it needs it and releases it again at
// once; constructing a registrar obtains it once, so that the singleton bus
// exists before the first subscription.
//
// Failure: a registrar that cannot obtain the bus keeps its records but
// subscribes nothing; nothing is logged by the registrar itself.
// Threads: like the bus, not thread-safe; use it on the thread that posts.

#ifndef ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONREGISTRAR_H_
#define ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONREGISTRAR_H_

#include <vector>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "ZQExtensionKit/event/ZQNotificationObserver.h"
#include "ZQExtensionKit/event/ZQNotificationSource.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQNotificationRegistrar {
 public:
  ZQNotificationRegistrar();
  // Removes every subscription it holds, in the order they were added.
  ~ZQNotificationRegistrar();

  ZQNotificationRegistrar(const ZQNotificationRegistrar&) = delete;
  ZQNotificationRegistrar& operator=(const ZQNotificationRegistrar&) = delete;

  // Records the subscription and subscribes `observer` to `type` from
  // `source`; an already recorded subscription is ignored.
  void Add(ZQNotificationObserver* observer,
           int type,
           const ZQNotificationSource& source);
  // Forgets the subscription and unsubscribes it; an unknown one is ignored
  // without touching the bus.
  void Remove(ZQNotificationObserver* observer,
              int type,
              const ZQNotificationSource& source);
  // Unsubscribes every recorded subscription in order and forgets them all.
  void RemoveAll();

  // Whether no subscription is recorded.
  bool IsEmpty() const;
  // Whether this subscription is recorded.
  bool IsRegistered(ZQNotificationObserver* observer,
                    int type,
                    const ZQNotificationSource& source) const;

 private:
  struct Record {
    bool operator==(const Record& other) const;

    ZQNotificationObserver* observer;
    int type;
    ZQNotificationSource source;
  };
  using RecordVector = std::vector<Record>;

  RecordVector registered_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONREGISTRAR_H_
