// The notification types the host and extensions exchange over the
// notification bus (see ZQNotificationService.h).
//
// Types travel as plain `int` values; any value may be posted. Subscribing to
// NOTIFICATION_ALL (0) means every type, so a posting of type 0 reaches the
// all-types subscribers only.

#ifndef ZQEXTENSIONKIT_EVENT_NOTIFICATIONTYPE_H_
#define ZQEXTENSIONKIT_EVENT_NOTIFICATIONTYPE_H_

#include <cstdint>

namespace zqextensionkit {

// The notification types the kit and its hosts post.
enum NotificationType : uint32_t {
  NOTIFICATION_CONTENT_START = 0,
  // Subscribing to this type means subscribing to every type.
  NOTIFICATION_ALL = 0,
  NOTIFICATION_OPEN_SYNC_MESSAGE = 1,
  NOTIFICATION_FETCH_REMOTE_EXTENSION_SUCCESS = 2,
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EVENT_NOTIFICATIONTYPE_H_
