#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "ZQExtensionKit/event/IZQNotificationService.h"
#include "ZQExtensionKit/event/ZQNotificationObserver.h"
#include "ZQExtensionKit/event/ZQNotificationRegistrar.h"
#include "ZQExtensionKit/event/ZQNotificationService.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "ZQExtensionKit/service/ZQServiceManagerCreator.h"
#include "ZQExtensionKit/service/internal/ZQServiceManagerImpl.h"
#include "dlcom/comobject.h"
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

// A cached singleton whose destructor reaches the service manager (through a
// registrar) and a service whose creation hook asks the container: the two
// take the facade's lock and the container's in opposite orders unless the
// container releases a removed singleton only after dropping its own locks.
// ThreadSanitizer reports the inversion; without the mend two threads could
// hang here.
struct IContainerAsker : public by::IBaseUnknown {
  virtual int Ask() = 0;
};
BY_DECLARE_IID(IContainerAsker, "{3E1B5C77-0D2A-4F6E-9B18-7C4D2E9A1F01}")
constexpr char kContainerAskerIid[] = "{3E1B5C77-0D2A-4F6E-9B18-7C4D2E9A1F01}";
constexpr char kContainerAskerClsid[] =
    "{3E1B5C77-0D2A-4F6E-9B18-7C4D2E9A1F02}";
constexpr char kSubscriberClsid[] = "{3E1B5C77-0D2A-4F6E-9B18-7C4D2E9A1F03}";

class ContainerAsker : public IContainerAsker, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IContainerAsker)
  HRESULT init_class(by::IBaseUnknown*, by::IBaseUnknown*) {
    ZQEObjectContainer::GetInstance()->ClassIsRegistered(kSubscriberClsid);
    return S_OK;
  }
  int Ask() override { return 1; }
};

class Subscriber : public test::ITestComponent,
                   public ZQNotificationObserver,
                   public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(test::ITestComponent)
  Subscriber() {
    registrar_.Add(this, NOTIFICATION_OPEN_SYNC_MESSAGE,
                   IZQNotificationService::AllSources());
  }
  int Serial() override { return 0; }
  void Observe(int,
               const ZQNotificationSource&,
               const ZQNotificationParameters&) override {}

 private:
  ZQNotificationRegistrar registrar_;  // unsubscribes in the destructor
};

TEST(ZQEObjectContainerConcurrencyTest,
     SingletonDestructorRunsOutsideTheContainerLocks) {
  ZQServiceManager* services = ZQServiceManager::GetInstance();
  services->Initialize(std::make_shared<ZQServiceManagerImpl>());
  ASSERT_TRUE(
      (services->RegisterService<ZQNotificationService, IZQNotificationService>(
          "NotificationService", "{45ED99D7-00C2-4082-98D8-5507D2AA3A0F}",
          "{B2F1A919-D15D-4C72-A8C3-2143E2176131}", true)));
  ASSERT_TRUE((services->RegisterService<ContainerAsker, IContainerAsker>(
      "ContainerAsker", kContainerAskerClsid, kContainerAskerIid, false)));

  ZQEObjectContainer* container = ZQEObjectContainer::GetInstance();
  const InstanceCreateFunction create_subscriber =
      [](const std::string&, const std::string&, void** ppv) {
        return by::CComObject<Subscriber>::CreateInstance2(
                   by::__uuid_s<test::ITestComponent>::iid, ppv) == S_OK;
      };
  constexpr int kRounds = 200;
  std::thread asker([&] {
    for (int i = 0; i < kRounds; ++i) {
      by::com_ptr<IContainerAsker> service;
      service.attach(services->GetService<IContainerAsker>("ContainerAsker"));
      ASSERT_NE(service.ptr(), nullptr);
    }
  });
  std::thread owner([&] {
    for (int i = 0; i < kRounds; ++i) {
      ASSERT_TRUE(container->Register(create_subscriber, kSubscriberClsid,
                                      /*isSingleton=*/true));
      void* object = nullptr;
      ASSERT_TRUE(container->CreateObjectInstance(test::kITestComponentIid,
                                                  kSubscriberClsid, &object));
      static_cast<by::IBaseUnknown*>(object)->Release();
      ASSERT_TRUE(container->UnRegister(kSubscriberClsid));  // last release
    }
  });
  asker.join();
  owner.join();
  services->Initialize(ZQServiceManagerCreator::Create());
}

}  // namespace
}  // namespace zqextensionkit
