#include "base/memory/singleton.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/synchronization/lock.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::atomic<int> g_constructions{0};

// A facade-style class: private constructor, befriended traits.
class Counted {
 public:
  static Counted* GetInstance() {
    return Singleton<Counted, LeakySingletonTraits<Counted>>::get();
  }
  int value() const { return value_; }

 private:
  friend struct DefaultSingletonTraits<Counted>;
  Counted() : value_(++g_constructions) {
    // Widen the window in which other threads find creation in progress.
    std::this_thread::yield();
  }
  int value_;
};

TEST(SingletonConcurrencyTest, ConcurrentFirstCallsCreateOneInstance) {
  std::atomic<bool> go{false};
  std::vector<Counted*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] {
      while (!go.load())
        std::this_thread::yield();
      seen[i] = Counted::GetInstance();
    });
  }
  go = true;
  for (auto& thread : threads)
    thread.join();
  for (Counted* instance : seen) {
    ASSERT_NE(nullptr, instance);
    EXPECT_EQ(seen[0], instance);
  }
  EXPECT_EQ(1, g_constructions.load());
  EXPECT_EQ(1, Counted::GetInstance()->value());
}

std::atomic<int> g_flaky_attempts{0};

// Its first construction throws, as an allocation failure would.
class FailsOnce {
 public:
  static FailsOnce* GetInstance() {
    return Singleton<FailsOnce, LeakySingletonTraits<FailsOnce>>::get();
  }

 private:
  friend struct DefaultSingletonTraits<FailsOnce>;
  FailsOnce() {
    std::this_thread::yield();
    if (g_flaky_attempts.fetch_add(1) == 0)
      throw std::runtime_error("first construction fails");
  }
};

TEST(SingletonConcurrencyTest, FailedCreationLetsWaitingCallersRetry) {
  std::atomic<bool> go{false};
  std::atomic<int> exceptions{0};
  std::vector<FailsOnce*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] {
      while (!go.load())
        std::this_thread::yield();
      try {
        seen[i] = FailsOnce::GetInstance();
      } catch (const std::runtime_error&) {
        ++exceptions;
      }
    });
  }
  go = true;
  for (auto& thread : threads)
    thread.join();
  // Only the caller whose construction threw sees the failure; every other
  // caller, waiting or not, gets the one instance made on the retry.
  EXPECT_EQ(1, exceptions.load());
  FailsOnce* instance = FailsOnce::GetInstance();
  ASSERT_NE(nullptr, instance);
  EXPECT_EQ(2, g_flaky_attempts.load());
  for (FailsOnce* each : seen) {
    if (each) {
      EXPECT_EQ(instance, each);
    }
  }
  EXPECT_EQ(static_cast<long>(seen.size()) - 1,
            std::count(seen.begin(), seen.end(), instance));
}

TEST(LockConcurrencyTest, AutoLockSerialisesIncrements) {
  Lock lock;
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        AutoLock auto_lock(lock);
        ++counter;
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(40000, counter);

  ASSERT_TRUE(lock.Try());
  std::thread([&] { EXPECT_FALSE(lock.Try()); }).join();
  lock.Release();
}

}  // namespace
}  // namespace base
