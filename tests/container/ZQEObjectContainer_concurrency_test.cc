#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestComponent.h"

namespace zqextensionkit {
namespace {

using test::kITestComponentIid;
using test::TestComponentCreator;

// Several threads register, create (singleton and not), release and
// unregister an overlapping set of class ids. Once every reference is gone
// and every class unregistered, every instance ever created has been
// destroyed exactly once.
TEST(ZQEObjectContainerConcurrencyTest,
     OverlappingRegisterCreateUnregisterLosesNoInstance) {
  test::LogCapture capture;  // Exercise the logging path as well.
  ZQEObjectContainer* container = ZQEObjectContainer::GetInstance();
  constexpr int kThreads = 4;
  constexpr int kRounds = 300;
  constexpr int kClasses = 4;

  std::vector<std::string> clsids;
  for (int i = 0; i < kClasses; ++i) {
    char text[64];
    std::snprintf(text, sizeof(text), "{C0C0C0C0-0000-4000-8000-%012X}", i);
    clsids.push_back(text);
  }
  // Each class id has one creator and a fixed singleton flag, shared by
  // every thread that registers it.
  std::vector<TestComponentCreator> creators(kClasses);

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const int index = (t + round) % kClasses;
        const std::string& clsid = clsids[index];
        const bool singleton = index % 2 == 0;
        container->Register(creators[index].Function(), clsid, singleton);
        for (int i = 0; i < 3; ++i) {
          void* object = nullptr;
          if (container->CreateObjectInstance(kITestComponentIid, clsid,
                                              &object)) {
            ASSERT_NE(object, nullptr);
            static_cast<test::ITestComponent*>(object)->Serial();
            static_cast<by::IBaseUnknown*>(object)->Release();
          }
        }
        container->ClassIsRegistered(clsid);
        if ((round + t) % 3 == 0)
          container->UnRegister(clsid);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  for (const std::string& clsid : clsids)
    container->UnRegister(clsid);
  int created = 0;
  for (const TestComponentCreator& creator : creators) {
    created += creator.counters().created.load();
    EXPECT_EQ(creator.counters().alive(), 0);
  }
  EXPECT_GT(created, 0);
  EXPECT_FALSE(capture.messages().empty());
}

}  // namespace
}  // namespace zqextensionkit
