// base::Lock: a non-recursive mutual-exclusion lock, and AutoLock, which
// holds one for a scope.
//
// A thread must not acquire a Lock it already holds (that deadlocks), nor
// release one it does not hold. Lock is neither copyable nor movable.
//
//   base::Lock lock_;
//   void Foo() {
//     base::AutoLock auto_lock(lock_);
//     ...  // |lock_| is held until the end of the scope.
//   }
#ifndef BASE_SYNCHRONIZATION_LOCK_H_
#define BASE_SYNCHRONIZATION_LOCK_H_

#include <mutex>

namespace base {
inline namespace zqe {

// A mutual-exclusion lock (not recursive): use it through AutoLock.
class Lock {
 public:
  Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  // Waits for the lock and takes it.
  void Acquire() { lock_.lock(); }
  // Gives the lock up; the calling thread holds it.
  void Release() { lock_.unlock(); }
  // Acquires the lock if it is free and returns true; otherwise returns false
  // at once.
  bool Try() { return lock_.try_lock(); }

 private:
  std::mutex lock_;
};

// Acquires |lock| on construction and releases it on destruction.
class AutoLock {
 public:
  // Acquires `lock`, which must outlive this object.
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;
  ~AutoLock() { lock_.Release(); }

 private:
  Lock& lock_;
};

}  // namespace zqe
}  // namespace base

#endif  // BASE_SYNCHRONIZATION_LOCK_H_
