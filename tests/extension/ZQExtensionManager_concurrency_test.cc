// Calls through the extension manager facade are serialised: the
// implementation never runs two forwarded calls at once.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "tests/support/FakeExtensionManager.h"

namespace zqextensionkit {
namespace {

TEST(ZQExtensionManagerConcurrencyTest, ForwardedCallsNeverOverlap) {
  test::ScopedFakeExtensionManager fake;
  std::atomic<int> in_flight{0};
  std::atomic<int> overlaps{0};
  // Runs at the start of every forwarded call; a second call entering while
  // one is in flight would see the counter above zero.
  fake->on_call = [&](const std::string&) {
    if (in_flight.fetch_add(1) != 0)
      overlaps.fetch_add(1);
    std::this_thread::yield();
    in_flight.fetch_sub(1);
  };

  constexpr int kThreads = 4;
  constexpr int kCallsPerThread = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([] {
      ZQExtensionManager* facade = ZQExtensionManager::GetInstance();
      for (int i = 0; i < kCallsPerThread; ++i) {
        facade->GetLibFileVerifyEnable();
        std::vector<void*> list;
        facade->GetExtensionList("ep", list);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  EXPECT_EQ(0, overlaps.load());
  EXPECT_EQ(static_cast<size_t>(kThreads * kCallsPerThread * 2),
            fake->calls().size());
}

}  // namespace
}  // namespace zqextensionkit
