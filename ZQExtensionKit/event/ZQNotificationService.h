// ZQNotificationService: the kit's notification bus, a component
// (CLSID_ZQNotificationService) implementing IZQNotificationService.
//
// Observers subscribe to a (type, source) pair, where type NOTIFICATION_ALL
// means every type and IZQNotificationService::AllSources() every source.
// Each pair has its own list, kept in subscription order; an observer is in a
// list at most once, so a duplicate subscription is ignored and one removal
// undoes it. Notify() walks up to four lists (see IZQNotificationService);
// posting type 0 walks the all-types lists twice, since for it the type's own
// lists are the all-types lists. Sources and parameters are compared by
// address and never dereferenced.
//
// Subscriptions normally go through a ZQNotificationRegistrar, which drops
// them when it is destroyed. The start-up code registers the service as the
// singleton service "NotificationService".
//
// Ownership: the service keeps raw observer pointers and never destroys
// observers; an observer must be removed before it dies. The service is
// reference-counted (create it with by::CComObject) and deletes its lists when
// destroyed.
// Failure: null observers, unknown subscriptions and duplicates are ignored
// silently. An observer whose Observe() throws is reported through the log
// service ("notification service - notify observer failed, ..."); the
// exception goes no further and the other observers are still called.
// Threads: no lock is taken. Subscriptions, removals and postings must not run
// on two threads at once. On the posting thread, an observer may add or
// remove observers (itself included) and post again from inside Observe():
// an observer removed during a walk is not called again by it, one added to
// the list being walked is called later in the same walk.

#ifndef ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONSERVICE_H_
#define ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONSERVICE_H_

#include <map>
#include <memory>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "ZQExtensionKit/event/IZQNotificationService.h"
#include "ZQExtensionKit/event/NotificationType.h"
#include "ZQExtensionKit/event/ObserverList.h"
#include "ZQExtensionKit/event/ZQNotificationObserver.h"
#include "ZQExtensionKit/event/ZQNotificationParameters.h"
#include "ZQExtensionKit/event/ZQNotificationSource.h"
#include "dlcom/unknown.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQNotificationService
    : public IZQNotificationService,
      public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IZQNotificationService)

  // The observers of one type and source.
  using NotificationObserverList = ObserverList<ZQNotificationObserver, false>;
  // Source key (ZQNotificationSource::map_key()) -> observer list.
  using NotificationSourceMap =
      std::map<unsigned long, std::unique_ptr<NotificationObserverList>>;
  // Notification type -> its lists by source.
  using NotificationObserverMap = std::map<int, NotificationSourceMap>;

  ZQNotificationService(const ZQNotificationService&) = delete;
  ZQNotificationService& operator=(const ZQNotificationService&) = delete;

  // Creation hook of by::CComObject; always S_OK.
  HRESULT init_class(by::IBaseUnknown* prot, by::IBaseUnknown* punkOuter);

  void Notify(int type,
              const ZQNotificationSource& source,
              const ZQNotificationParameters& params) override;

  // Subscribes `observer` to `type` from `source`. A null observer and a
  // repeated subscription are ignored.
  void AddObserver(ZQNotificationObserver* observer,
                   int type,
                   const ZQNotificationSource& source);
  // Undoes AddObserver(); an unknown subscription is ignored.
  void RemoveObserver(ZQNotificationObserver* observer,
                      int type,
                      const ZQNotificationSource& source);

 protected:
  // Created only through by::CComObject, destroyed only by its last Release.
  ZQNotificationService();
  ~ZQNotificationService() override;

 private:
  // Whether `sourceMap` holds a list for `source`.
  static bool HasKey(const NotificationSourceMap& sourceMap,
                     const ZQNotificationSource& source);

  // Walks the list of (`list_type`, `list_source`), if there is one, calling
  // Observe(type, source, params) on its observers.
  void NotifyList(int list_type,
                  const ZQNotificationSource& list_source,
                  int type,
                  const ZQNotificationSource& source,
                  const ZQNotificationParameters& params);

  NotificationObserverMap observers_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONSERVICE_H_
