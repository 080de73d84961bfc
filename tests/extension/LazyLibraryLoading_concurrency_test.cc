// After a lazy Load(), threads that ask for a package's extensions at the
// same time load its library once, between them: one verifies, maps it and
// creates its bundle object while the others wait, and all are served. A
// library refused at that first use is read once, however many threads
// asked.

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "tests/support/BundleMessages.h"
#include "tests/support/GreetingPackages.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

class LazyLibraryLoadingConcurrencyTest : public test::LogCaptureTest {
 protected:
  void TearDown() override {
    ZQExtensionKit::InitSDK();
    LogCaptureTest::TearDown();
  }
};

TEST_F(LazyLibraryLoadingConcurrencyTest, ThreadsAskingFirstLoadItOnce) {
  constexpr int kThreads = 4;
  // What each thread receives, and how often each message is logged: the
  // digest matched, the digest refused, the bundle object made.
  struct Case {
    bool tampered;
    std::vector<std::string> greetings;
    std::vector<long> logged;
  } cases[] = {
      {false, {"Hello, Ann!"}, {1, 0, 1}},
      {true, {}, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tampered ? "library changed after its digest" : "intact");
    test::Installation installation;
    ASSERT_TRUE(
        test::WriteGreetingPackages(installation, {{"pkg", c.tampered}}))
        << installation.error();
    ZQExtensionManager* manager = test::StartKit(installation, true, true);
    ASSERT_TRUE(manager->Load());
    ClearLog();

    std::atomic<int> ready{0};
    std::vector<std::vector<std::string>> greetings(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        for (++ready; ready.load() < kThreads;)
          std::this_thread::yield();
        greetings[i] = test::Greetings("pkg");
      });
    }
    for (std::thread& thread : threads)
      thread.join();

    for (const std::vector<std::string>& received : greetings)
      EXPECT_EQ(c.greetings, received);
    const std::vector<std::string> log = capture().texts();
    std::vector<long> logged;
    for (const char* text :
         {test::kMd5Matched, test::kVerifyFailed, test::kBundleSucceeded}) {
      logged.push_back(std::count(log.begin(), log.end(), text));
    }
    EXPECT_EQ(c.logged, logged);
    EXPECT_EQ(1,
              std::count(log.begin(), log.end(),
                         "extension manager impl - load deferred library "
                         "of " +
                             (installation.extensions_dir() / "pkg").string() +
                             " on first use"));
    ZQEBundleManager::GetInstance()->UnInitialize();
  }
}

}  // namespace
}  // namespace zqextensionkit
