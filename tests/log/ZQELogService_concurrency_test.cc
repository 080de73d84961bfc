#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/log/ZQELogService.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

using test::CapturedMessage;

TEST(ZQELogServiceConcurrencyTest, ConcurrentFirstCallsShareOneInstance) {
  constexpr int kThreads = 8;
  std::vector<ZQELogService*> seen(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back(
        [&seen, i] { seen[i] = ZQELogService::GetInstance(); });
  for (std::thread& thread : threads)
    thread.join();
  for (ZQELogService* service : seen)
    EXPECT_EQ(service, ZQELogService::GetInstance());
}

TEST(ZQELogServiceConcurrencyTest, EveryMessageFromManyThreadsArrivesWhole) {
  test::LogCapture capture;
  constexpr int kThreads = 4;
  constexpr int kMessages = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kMessages; ++i)
        ZQELogService::GetInstance()->LogMessage(t, "thread %d message %d", t,
                                                 i);
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  std::set<std::string> texts;
  for (const CapturedMessage& message : capture.messages()) {
    EXPECT_EQ(message.text.find("[ZQExtensionKit] thread " +
                                std::to_string(message.level) + " message "),
              0u)
        << message.text;
    texts.insert(message.text);
  }
  EXPECT_EQ(texts.size(), static_cast<size_t>(kThreads * kMessages));
}

}  // namespace
}  // namespace zqextensionkit
