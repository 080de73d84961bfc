#include "ZQExtensionKit/event/ZQNotificationService.h"

#include "ZQExtensionKit/defines/internal/ZQEForeignCall.h"
#include "ZQExtensionKit/log/ZQELogService.h"

namespace zqextensionkit {

ZQNotificationService::ZQNotificationService() = default;

ZQNotificationService::~ZQNotificationService() = default;

HRESULT ZQNotificationService::init_class(by::IBaseUnknown* /*prot*/,
                                          by::IBaseUnknown* /*punkOuter*/) {
  return S_OK;
}

// static
bool ZQNotificationService::HasKey(const NotificationSourceMap& sourceMap,
                                   const ZQNotificationSource& source) {
  return sourceMap.find(source.map_key()) != sourceMap.end();
}

void ZQNotificationService::AddObserver(ZQNotificationObserver* observer,
                                        int type,
                                        const ZQNotificationSource& source) {
  if (!observer)
    return;
  std::unique_ptr<NotificationObserverList>& list =
      observers_[type][source.map_key()];
  if (!list)
    list = std::make_unique<NotificationObserverList>();
  list->AddObserver(observer);
}

void ZQNotificationService::RemoveObserver(ZQNotificationObserver* observer,
                                           int type,
                                           const ZQNotificationSource& source) {
  auto type_it = observers_.find(type);
  if (type_it == observers_.end() || !HasKey(type_it->second, source))
    return;
  NotificationSourceMap& sources = type_it->second;
  auto list_it = sources.find(source.map_key());
  list_it->second->RemoveObserver(observer);
  // A list being walked keeps its length until the walk ends, so it is never
  // deleted here under a walk.
  if (!list_it->second->might_have_observers())
    sources.erase(list_it);
}

void ZQNotificationService::Notify(int type,
                                   const ZQNotificationSource& source,
                                   const ZQNotificationParameters& params) {
  const ZQNotificationSource all_sources = AllSources();
  const bool from_all_sources = source == all_sources;
  // Each list is looked up only when its turn comes: an observer called by
  // an earlier walk may have removed (and so deleted) a later list.
  if (!from_all_sources)
    NotifyList(NOTIFICATION_ALL, all_sources, type, source, params);
  NotifyList(NOTIFICATION_ALL, source, type, source, params);
  if (!from_all_sources)
    NotifyList(type, all_sources, type, source, params);
  NotifyList(type, source, type, source, params);
}

void ZQNotificationService::NotifyList(int list_type,
                                       const ZQNotificationSource& list_source,
                                       int type,
                                       const ZQNotificationSource& source,
                                       const ZQNotificationParameters& params) {
  auto type_it = observers_.find(list_type);
  if (type_it == observers_.end() || !HasKey(type_it->second, list_source))
    return;
  NotificationObserverList* list =
      type_it->second.find(list_source.map_key())->second.get();
  if (!list->might_have_observers())
    return;
  {
    NotificationObserverList::Iterator it(list);
    // One observer that throws does not keep the notification from the
    // others, nor its exception from the code that posted it.
    while (ZQNotificationObserver* observer = it.GetNext()) {
      if (!CallForeignCode([&] { observer->Observe(type, source, params); })) {
        ZQELogService::GetInstance()->LogMessage(
            0,
            "notification service - notify observer failed, because of "
            "observe execute failed, type:%d",
            type);
      }
    }
  }
  // The list keeps its length while any walk over it is in progress, so an
  // empty list here has no walk left over it: its observers all removed
  // themselves during the walk. Drop it, as a removal outside a walk would,
  // so that lists of one-shot subscriptions do not pile up.
  if (!list->might_have_observers()) {
    NotificationSourceMap& sources = observers_[list_type];
    auto list_it = sources.find(list_source.map_key());
    if (list_it != sources.end() && list_it->second.get() == list)
      sources.erase(list_it);
  }
}

}  // namespace zqextensionkit
