// After a lazy Load(), threads that ask for a package's extensions at the
// same time load its library once, between them: one verifies, maps it and
// creates its bundle object while the others wait, and all are served. A
// library refused at that first use is read once, however many threads
// asked.

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/extension/internal/ZQExtensionManagerImpl.h"
#include "tests/plugins/TestPlugin.h"
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

  size_t Logged(const std::string& text) {
    size_t count = 0;
    for (const std::string& logged : capture().texts())
      count += logged == text;
    return count;
  }
};

TEST_F(LazyLibraryLoadingConcurrencyTest, ThreadsAskingFirstLoadItOnce) {
  constexpr int kThreads = 4;
  struct Case {
    const char* name;
    bool tampered;
    // What each thread receives, and how often each message is logged.
    std::vector<std::string> greetings;
    size_t digests_matched;
    size_t digests_refused;
    size_t bundles_made;
  };
  const Case cases[] = {
      {"a library that verifies", false, {"Hello, Ann!"}, 1, 0, 1},
      {"a library changed after its digest", true, {}, 0, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::Installation installation;
    ASSERT_TRUE(
        test::WriteGreetingPackages(installation, {{"pkg", c.tampered}}))
        << installation.error();
    ZQExtensionKit::InitSDK();
    ZQEBundleManager::GetInstance()->Initialize(
        std::make_shared<ZQEBundleManagerImpl>());
    ZQEConfigurationManager::GetInstance()->Initialize(
        std::make_shared<ZQEConfigurationManagerImpl>());
    ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
    manager->Initialize(std::make_shared<ZQExtensionManagerImpl>());
    ASSERT_TRUE(manager->SetInstallationDir(installation.dir().string()));
    manager->SetLibFileVerifyEnable(true);
    manager->SetLazyLibraryLoading(true);
    ASSERT_TRUE(manager->Load());
    ClearLog();

    std::atomic<int> ready{0};
    std::vector<std::vector<std::string>> greetings(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        ++ready;
        while (ready.load() < kThreads) {
          std::this_thread::yield();
        }
        std::vector<void*> instances;
        manager->GetExtensionList("pkg", instances);
        for (void* instance : instances) {
          by::com_ptr<IGreeting> greeting;
          greeting.attach(static_cast<IGreeting*>(instance));
          greetings[i].push_back(greeting->Greet("Ann"));
        }
      });
    }
    for (std::thread& thread : threads)
      thread.join();

    for (const std::vector<std::string>& received : greetings)
      EXPECT_EQ(c.greetings, received);
    EXPECT_EQ(1u, Logged("extension manager impl - load deferred library of " +
                         (installation.extensions_dir() / "pkg").string() +
                         " on first use"));
    EXPECT_EQ(c.digests_matched, Logged(test::kMd5Matched));
    EXPECT_EQ(c.digests_refused, Logged(test::kVerifyFailed));
    EXPECT_EQ(c.bundles_made, Logged(test::kBundleSucceeded));
    manager->Unload();
    ZQEBundleManager::GetInstance()->UnInitialize();
  }
}

}  // namespace
}  // namespace zqextensionkit
