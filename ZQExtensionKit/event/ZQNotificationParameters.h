// ZQNotificationParameters: what a notification carries, as an opaque pointer.
//
// The bus passes parameters through to observers untouched; the pointed-to
// object stays owned by whoever posted and must outlive the Notify() call.
// A default-constructed value holds null (IZQNotificationService::NoParams()).
// Values are plain copyable data and safe to use from any thread.
//
//   SyncMessage message = ...;
//   service->Notify(NOTIFICATION_OPEN_SYNC_MESSAGE, Source<Chat>(chat),
//                   Params<SyncMessage>(&message));

#ifndef ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONPARAMETERS_H_
#define ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONPARAMETERS_H_

#include <cstdint>

namespace zqextensionkit {

class ZQNotificationParameters {
 public:
  // No parameters.
  ZQNotificationParameters() : ptr_(nullptr) {}
  // Copies refer to the same parameters.
  ZQNotificationParameters(const ZQNotificationParameters& other) = default;
  // Refers to the parameters `other` refers to.
  ZQNotificationParameters& operator=(const ZQNotificationParameters& other) =
      default;
  ~ZQNotificationParameters() = default;

  // The parameters' address.
  uintptr_t map_key() const { return reinterpret_cast<uintptr_t>(ptr_); }

  // Equal when they refer to the same address.
  bool operator==(const ZQNotificationParameters& other) const {
    return ptr_ == other.ptr_;
  }
  // Not operator==.
  bool operator!=(const ZQNotificationParameters& other) const {
    return ptr_ != other.ptr_;
  }

 protected:
  // Parameters at `ptr` (Params<T> makes them).
  explicit ZQNotificationParameters(const void* ptr) : ptr_(ptr) {}

  const void* ptr_;  // the address, never dereferenced here
};

// Parameters of type T.
template <class T>
class Params : public ZQNotificationParameters {
 public:
  // Parameters at `ptr`, which must outlive the posting.
  explicit Params(const T* ptr) : ZQNotificationParameters(ptr) {}
  // Recovers the typed parameters received in Observe(); the caller asserts
  // that they were posted as a T.
  explicit Params(const ZQNotificationParameters& other)
      : ZQNotificationParameters(other) {}

  // The typed parameters.
  T* operator->() const { return ptr(); }
  // The typed parameters.
  T* ptr() const { return static_cast<T*>(const_cast<void*>(ptr_)); }
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EVENT_ZQNOTIFICATIONPARAMETERS_H_
