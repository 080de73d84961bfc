// ZQEKeyedClaims: at most one thread at a time works on a key (builds a
// singleton, loads a library), and no lock is held while it works, so the
// work may run host or plug-in code that calls back into the kit.
//
//   ZQEKeyedClaims::Claim claim = claims_.Acquire(key);
//   if (<the work's result is there>)  // another thread's, done just now
//     return <it>;
//   <do the work>  // the claim is given up when `claim` goes
//
// Look for the result once the claim is held, whether or not it waited():
// another thread may have finished the work between an earlier look and
// the Acquire().
//
// Acquire() waits while another thread holds the key; a thread that already
// holds the key (its work reached the kit again and asks for the same key)
// gets a claim that does not own it and does not wait, so a thread never
// waits for itself. The same holds for a wait that would close a cycle:
// when the key's holder waits, directly or through other threads, for a key
// this thread holds (two plug-ins whose start-up asks for each other, each
// started on its own thread), the asking thread does not wait and gets a
// claim that does not own the key, as if it held the key itself. Cycles
// through claims of different ZQEKeyedClaims objects count too: the waits
// of all of them are known in one place. Wait() only waits for another
// thread's claim to end, and never where that would close a cycle.
//
// Threads: every operation may be called from any thread. Waiting threads
// hold no lock of their callers'.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEKEYEDCLAIMS_H_
#define ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEKEYEDCLAIMS_H_

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace zqextensionkit {

class ZQEKeyedClaims {
 public:
  // A thread's hold on a key, given up when the object goes.
  class Claim {
   public:
    Claim(Claim&& other) noexcept
        : claims_(std::exchange(other.claims_, nullptr)),
          key_(std::move(other.key_)),
          waited_(other.waited_) {}
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;
    Claim& operator=(Claim&&) = delete;
    ~Claim() {
      if (claims_)
        claims_->Release(key_);
    }

    // Whether this claim holds the key. False only for a thread that held
    // it already.
    bool owned() const { return claims_ != nullptr; }
    // Whether another thread held the key when this one asked: its work is
    // done now, successful or not.
    bool waited() const { return waited_; }

   private:
    friend class ZQEKeyedClaims;
    Claim(ZQEKeyedClaims* claims, std::string key, bool waited)
        : claims_(claims), key_(std::move(key)), waited_(waited) {}

    ZQEKeyedClaims* claims_;  // null: nothing to give up
    std::string key_;
    bool waited_;
  };

  ZQEKeyedClaims() = default;
  ZQEKeyedClaims(const ZQEKeyedClaims&) = delete;
  ZQEKeyedClaims& operator=(const ZQEKeyedClaims&) = delete;

  // Holds `key` for this thread, first waiting while another thread holds
  // it (see the top of this file for when it does not wait).
  Claim Acquire(const std::string& key) {
    Registry& registry = TheRegistry();
    std::unique_lock<std::mutex> lock(registry.mutex);
    const std::thread::id self = std::this_thread::get_id();
    bool waited = false;
    for (auto it = owners_.find(key); it != owners_.end();
         it = owners_.find(key)) {
      if (it->second == self || ClosesCycle(key, self))
        return Claim(nullptr, key, waited);
      waited = true;
      WaitForRelease(&lock, key, self);
    }
    owners_.emplace(key, self);
    return Claim(this, key, waited);
  }

  // Waits while another thread holds `key`, unless that would close a cycle.
  void Wait(const std::string& key) {
    Registry& registry = TheRegistry();
    std::unique_lock<std::mutex> lock(registry.mutex);
    const std::thread::id self = std::this_thread::get_id();
    for (auto it = owners_.find(key); it != owners_.end();
         it = owners_.find(key)) {
      if (it->second == self || ClosesCycle(key, self))
        return;
      WaitForRelease(&lock, key, self);
    }
  }

 private:
  // What every ZQEKeyedClaims object shares: one lock over all their
  // holders, and which claim each waiting thread waits for.
  struct Registry {
    std::mutex mutex;
    std::condition_variable released;
    // Guarded by mutex.
    std::map<std::thread::id, std::pair<const ZQEKeyedClaims*, std::string>>
        waiting;
  };
  // Leaked: threads still running at exit find it intact.
  static Registry& TheRegistry() {
    static Registry* const registry = new Registry;
    return *registry;
  }

  // Whether `self` waiting for `key` would close a cycle: following each
  // holder to the claim it waits for leads back to `self`. Under the
  // registry's lock.
  bool ClosesCycle(const std::string& key, std::thread::id self) const {
    const Registry& registry = TheRegistry();
    const ZQEKeyedClaims* claims = this;
    std::string wanted = key;
    // Each step moves to another waiting thread: a chain longer than there
    // are waiting threads has no end.
    for (size_t step = 0; step <= registry.waiting.size(); ++step) {
      auto owner = claims->owners_.find(wanted);
      if (owner == claims->owners_.end())
        return false;
      if (owner->second == self)
        return true;
      auto next = registry.waiting.find(owner->second);
      if (next == registry.waiting.end())
        return false;
      claims = next->second.first;
      wanted = next->second.second;
    }
    return false;
  }

  // Waits, noted as waiting for `key`, until some claim is given up.
  void WaitForRelease(std::unique_lock<std::mutex>* lock,
                      const std::string& key,
                      std::thread::id self) {
    Registry& registry = TheRegistry();
    registry.waiting[self] = {this, key};
    registry.released.wait(*lock);
    registry.waiting.erase(self);
  }

  void Release(const std::string& key) {
    Registry& registry = TheRegistry();
    {
      std::lock_guard<std::mutex> lock(registry.mutex);
      owners_.erase(key);
    }
    registry.released.notify_all();
  }

  // Guarded by the registry's mutex. The thread holding each key.
  std::map<std::string, std::thread::id> owners_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEKEYEDCLAIMS_H_
