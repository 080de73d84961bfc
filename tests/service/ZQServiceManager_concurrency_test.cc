#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "ZQExtensionKit/service/ZQServiceManagerCreator.h"
#include "ZQExtensionKit/service/internal/ZQServiceManagerImpl.h"
#include "tests/service/ServiceTestComponents.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace test {
namespace {

constexpr int kThreads = 16;

// Runs `body(i)` on kThreads threads released together.
template <typename Body>
void RunTogether(Body body) {
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (!go.load(std::memory_order_acquire))
        std::this_thread::yield();
      body(i);
    });
  }
  while (ready.load() != kThreads)
    std::this_thread::yield();
  go.store(true, std::memory_order_release);
  for (std::thread& thread : threads)
    thread.join();
}

class ZQServiceManagerConcurrencyTest : public LogCaptureTest {
 protected:
  void SetUp() override {
    LogCaptureTest::SetUp();
    Greeter::counter().Reset();
    impl_ = std::make_shared<ZQServiceManagerImpl>();
    ZQServiceManager::GetInstance()->Initialize(impl_);
    ASSERT_TRUE(
        (ZQServiceManager::GetInstance()->RegisterService<Greeter, IGreeter>(
            "Greeter", kGreeterClsid, kGreeterIid, true)));
  }

  void TearDown() override {
    ZQServiceManager::GetInstance()->Initialize(
        ZQServiceManagerCreator::Create());
    impl_.reset();
    // Destroying the implementation released the cached instance: every
    // instance built has been destroyed.
    EXPECT_EQ(Greeter::counter().alive(), 0);
    LogCaptureTest::TearDown();
  }

  std::shared_ptr<ZQServiceManagerImpl> impl_;
};

TEST_F(ZQServiceManagerConcurrencyTest,
       ConcurrentFirstGetsThroughTheFacadeBuildOneSingleton) {
  std::vector<IGreeter*> results(kThreads, nullptr);
  RunTogether([&](int i) {
    results[i] =
        ZQServiceManager::GetInstance()->GetService<IGreeter>("Greeter");
    if (results[i]) {
      EXPECT_EQ(results[i]->Greet(), 42);
    }
  });

  // One thread built the singleton while the others waited, so one
  // instance was built and every caller holds a reference to it besides the
  // cache's.
  EXPECT_EQ(Greeter::counter().constructed, 1);
  for (IGreeter* result : results) {
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result, results[0]);
  }
  EXPECT_EQ(RefCount(results[0]), static_cast<ULONG>(kThreads + 1));
  for (IGreeter* result : results)
    result->Release();
  EXPECT_EQ(Greeter::counter().alive(), 1);
}

TEST_F(ZQServiceManagerConcurrencyTest,
       ConcurrentFirstGetsThroughTheImplementationCacheOneInstance) {
  std::vector<IGreeter*> results(kThreads, nullptr);
  RunTogether([&](int i) {
    results[i] = static_cast<IGreeter*>(impl_->GetService("Greeter"));
    if (results[i]) {
      EXPECT_EQ(results[i]->Greet(), 42);
    }
  });
  for (IGreeter* result : results) {
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result, results[0]);
  }

  // Racing first callers wait for the one that builds it: one instance,
  // served from the cache from then on.
  IGreeter* cached = static_cast<IGreeter*>(impl_->GetService("Greeter"));
  ASSERT_EQ(cached, results[0]);
  EXPECT_EQ(Greeter::counter().constructed, 1);
  for (IGreeter* result : results)
    result->Release();
  EXPECT_EQ(Greeter::counter().alive(), 1);
  EXPECT_EQ(RefCount(cached), 2u);  // The cache's and ours.
  cached->Release();
}

TEST_F(ZQServiceManagerConcurrencyTest,
       ConcurrentRegistrationsOfOneNameOneWins) {
  std::atomic<int> successes{0};
  RunTogether([&](int i) {
    const std::string clsid =
        "{0D5E7A11-94C3-4F2B-8E61-2A7B3C4D5E" + std::to_string(10 + i) + "}";
    if (ZQServiceManager::GetInstance()->RegisterService<Greeter, IGreeter>(
            "Contested", clsid, kGreeterIid, false)) {
      ++successes;
    }
    // Through the implementation as well.
    ZQServiceRegisterInfo info;
    info.name = "ContestedDirect";
    info.clsid = clsid;
    info.iid = kGreeterIid;
    if (impl_->RegisterService(info))
      ++successes;
  });
  EXPECT_EQ(successes, 2);
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
