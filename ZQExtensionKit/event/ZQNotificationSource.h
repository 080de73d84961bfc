// ZQNotificationSource: who posted a notification, as an opaque pointer.
//
// The bus compares sources by address (map_key()) and never looks inside
// them; the source object stays owned by whoever posted. A source holding
// null stands for all sources (IZQNotificationService::AllSources()).
// Values are plain copyable data and safe to use from any thread.
//
//   registrar.Add(this, NOTIFICATION_OPEN_SYNC_MESSAGE, Source<Chat>(chat));
//   ...
//   Chat* chat = Source<Chat>(source).ptr();   // inside Observe()

#ifndef ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONSOURCE_H_
#define ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONSOURCE_H_

#include <cstdint>

namespace zqextensionkit {

class ZQNotificationSource {
 public:
  // Copies refer to the same source.
  ZQNotificationSource(const ZQNotificationSource& other) = default;
  // Refers to the source `other` refers to.
  ZQNotificationSource& operator=(const ZQNotificationSource& other) = default;
  ~ZQNotificationSource() = default;

  // The source's address, the key under which subscriptions are stored.
  uintptr_t map_key() const { return reinterpret_cast<uintptr_t>(ptr_); }

  // Equal when they refer to the same address.
  bool operator==(const ZQNotificationSource& other) const {
    return ptr_ == other.ptr_;
  }
  // Not operator==.
  bool operator!=(const ZQNotificationSource& other) const {
    return ptr_ != other.ptr_;
  }

 protected:
  // Only Source<T> builds sources from pointers, so every source names the
  // type it was made from.
  explicit ZQNotificationSource(const void* ptr) : ptr_(ptr) {}

  const void* ptr_;  // the address, never dereferenced here
};

// A source of type T.
template <class T>
class Source : public ZQNotificationSource {
 public:
  // The source at `ptr`.
  explicit Source(const T* ptr) : ZQNotificationSource(ptr) {}
  // Recovers the typed source from one received in Observe(); the caller
  // asserts that it was posted as a T.
  explicit Source(const ZQNotificationSource& other)
      : ZQNotificationSource(other) {}

  // The typed source.
  T* operator->() const { return ptr(); }
  // The typed source.
  T* ptr() const { return static_cast<T*>(const_cast<void*>(ptr_)); }
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONSOURCE_H_
