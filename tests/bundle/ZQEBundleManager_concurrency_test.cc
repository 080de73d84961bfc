// Threads that create extension instances look loaders up at the same time:
// each library file has one loader whoever asks first. The host's logger
// runs under no lock of the bundle manager's: a logger that waits for
// another thread asking the manager does not deadlock.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "dlcom/loadcom.h"
#include "tests/support/Deadlock.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

TEST(ZQEBundleManagerConcurrencyTest, ConcurrentLookupsShareOneLoaderPerKey) {
  ZQEBundleManagerImpl manager;
  constexpr int kThreads = 4;
  constexpr int kKeys = 16;
  std::vector<std::vector<CComLoader*>> seen(
      kThreads, std::vector<CComLoader*>(kKeys, nullptr));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&manager, &seen, t] {
      for (int round = 0; round < 50; ++round) {
        for (int k = 0; k < kKeys; ++k) {
          const std::string key = "/pkg" + std::to_string(k) + "/lib.so";
          CComLoader* loader = nullptr;
          ASSERT_TRUE(manager.GetComLoader(key, &loader));
          if (seen[t][k] == nullptr)
            seen[t][k] = loader;
          ASSERT_EQ(seen[t][k], loader);
          ASSERT_TRUE(manager.ComLoaderIsExist(key));
        }
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int t = 1; t < kThreads; ++t)
    EXPECT_EQ(seen[0], seen[t]);
}

// On each of the manager's messages, asks the manager from another thread
// and waits for the answer.
class AskingLogger : public IZQELogger {
 public:
  explicit AskingLogger(ZQEBundleManagerImpl* manager) : manager_(manager) {}
  void LogMessage(int, std::string message) override {
    if (message.find("Bundle Loader") == std::string::npos || asking_)
      return;
    asking_ = true;
    std::thread([this] {
      CComLoader* loader = nullptr;
      manager_->GetComLoader("/other/lib.so", &loader);
      manager_->ComLoaderIsExist("/other/lib.so");
      void* bundle = nullptr;
      manager_->GetBundleObject("{C0C0C0C0-0000-4000-8000-0000000000C1}",
                                &bundle);
    }).join();
    asking_ = false;
  }

 private:
  ZQEBundleManagerImpl* const manager_;
  // Only the logging thread's own messages start a question; the asking
  // thread's are logged while it is set.
  std::atomic<bool> asking_{false};
};

TEST(ZQEBundleManagerConcurrencyTest, LoggerRunsUnderNoLockOfTheManager) {
  ZQEBundleManagerImpl manager;
  ZQELogService::GetInstance()->RegisterLogger(new AskingLogger(&manager));
  test::RunOrFailOnDeadlock([&] {
    CComLoader* loader = nullptr;
    EXPECT_TRUE(manager.GetComLoader("/pkg/lib.so", &loader));
    EXPECT_TRUE(manager.ComLoaderIsExist("/pkg/lib.so"));
    void* bundle = nullptr;
    EXPECT_FALSE(manager.GetBundleObject(
        "{C0C0C0C0-0000-4000-8000-0000000000C2}", &bundle));
  });
  // A logger of the tests' own again, before `manager` goes.
  test::LogCapture capture;
}

}  // namespace
}  // namespace zqextensionkit
