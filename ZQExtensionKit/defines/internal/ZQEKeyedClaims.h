// ZQEKeyedClaims: at most one thread at a time works on a key (builds a
// singleton, loads a library), and no lock is held while it works, so the
// work may run host or plug-in code that calls back into the kit.
//
//   ZQEKeyedClaims::Claim claim = claims_.Acquire(key);
//   if (claim.waited() && <the other thread's result is there>)
//     return <it>;
//   <do the work>  // the claim is given up when `claim` goes
//
// Acquire() waits while another thread holds the key; a thread that already
// holds the key (its work reached the kit again and asks for the same key)
// gets a claim that does not own it and does not wait, so a thread never
// waits for itself. Wait() only waits for another thread's claim to end.
//
// Threads: every operation may be called from any thread. Waiting threads
// hold no lock of their callers'; two threads whose work waits for each
// other's keys wait for ever, as they would for any two locks taken in
// opposite orders.
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
  // it.
  Claim Acquire(const std::string& key) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::thread::id self = std::this_thread::get_id();
    bool waited = false;
    for (auto it = owners_.find(key); it != owners_.end();
         it = owners_.find(key)) {
      if (it->second == self)
        return Claim(nullptr, key, false);
      waited = true;
      released_.wait(lock);
    }
    owners_.emplace(key, self);
    return Claim(this, key, waited);
  }

  // Waits while another thread holds `key`.
  void Wait(const std::string& key) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::thread::id self = std::this_thread::get_id();
    released_.wait(lock, [&] {
      auto it = owners_.find(key);
      return it == owners_.end() || it->second == self;
    });
  }

 private:
  void Release(const std::string& key) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      owners_.erase(key);
    }
    released_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable released_;
  // Guarded by mutex_. The thread holding each key.
  std::map<std::string, std::thread::id> owners_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEKEYEDCLAIMS_H_
