#include "ZQExtensionKit/event/ZQNotificationRegistrar.h"

#include <algorithm>

#include "ZQExtensionKit/event/IZQNotificationService.h"
#include "ZQExtensionKit/event/ZQNotificationService.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "dlcom/comsentry.h"

namespace zqextensionkit {

namespace {

constexpr char kNotificationServiceName[] = "NotificationService";

// The bus as the service manager hands it out, holding the reference that
// came with it until the end of the scope.
class ScopedNotificationService {
 public:
  ScopedNotificationService() {
    service_.attach(
        ZQServiceManager::GetInstance()->GetService<IZQNotificationService>(
            kNotificationServiceName));
  }

  ScopedNotificationService(const ScopedNotificationService&) = delete;
  ScopedNotificationService& operator=(const ScopedNotificationService&) =
      delete;

  // The kit's own bus class, or null when no bus could be obtained or the
  // service registered under the name is some other class (which has no
  // AddObserver/RemoveObserver to call).
  ZQNotificationService* get() const {
    return dynamic_cast<ZQNotificationService*>(service_.ptr());
  }

 private:
  by::com_ptr<IZQNotificationService> service_;
};

}  // namespace

bool ZQNotificationRegistrar::Record::operator==(const Record& other) const {
  return observer == other.observer && type == other.type &&
         source == other.source;
}

ZQNotificationRegistrar::ZQNotificationRegistrar() {
  // Makes sure the singleton bus exists before the first subscription.
  ScopedNotificationService service;
}

ZQNotificationRegistrar::~ZQNotificationRegistrar() {
  RemoveAll();
}

void ZQNotificationRegistrar::Add(ZQNotificationObserver* observer,
                                  int type,
                                  const ZQNotificationSource& source) {
  if (IsRegistered(observer, type, source))
    return;
  registered_.push_back(Record{observer, type, source});
  ScopedNotificationService service;
  if (ZQNotificationService* bus = service.get())
    bus->AddObserver(observer, type, source);
}

void ZQNotificationRegistrar::Remove(ZQNotificationObserver* observer,
                                     int type,
                                     const ZQNotificationSource& source) {
  auto it = std::find(registered_.begin(), registered_.end(),
                      Record{observer, type, source});
  if (it == registered_.end())
    return;
  registered_.erase(it);
  ScopedNotificationService service;
  if (ZQNotificationService* bus = service.get())
    bus->RemoveObserver(observer, type, source);
}

void ZQNotificationRegistrar::RemoveAll() {
  if (registered_.empty())
    return;
  {
    ScopedNotificationService service;
    if (ZQNotificationService* bus = service.get()) {
      for (const Record& record : registered_)
        bus->RemoveObserver(record.observer, record.type, record.source);
    }
  }
  registered_.clear();
}

bool ZQNotificationRegistrar::IsEmpty() const {
  return registered_.empty();
}

bool ZQNotificationRegistrar::IsRegistered(
    ZQNotificationObserver* observer,
    int type,
    const ZQNotificationSource& source) const {
  return std::find(registered_.begin(), registered_.end(),
                   Record{observer, type, source}) != registered_.end();
}

}  // namespace zqextensionkit
