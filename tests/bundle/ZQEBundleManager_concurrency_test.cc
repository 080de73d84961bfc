// Threads that create extension instances look loaders up at the same time:
// each library file has one loader whoever asks first.

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "dlcom/loadcom.h"

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

}  // namespace
}  // namespace zqextensionkit
