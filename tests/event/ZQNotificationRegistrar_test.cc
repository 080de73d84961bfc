#include "ZQExtensionKit/event/ZQNotificationRegistrar.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/event/ZQNotificationService.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "ZQExtensionKit/service/ZQServiceManagerCreator.h"
#include "ZQExtensionKit/service/internal/ZQServiceManagerImpl.h"
#include "dlcom/comsentry.h"

namespace zqextensionkit {
namespace {

constexpr char kServiceName[] = "NotificationService";
constexpr char kServiceClsid[] = "{45ED99D7-00C2-4082-98D8-5507D2AA3A0F}";
constexpr char kServiceIid[] = "{B2F1A919-D15D-4C72-A8C3-2143E2176131}";
constexpr int kType = NOTIFICATION_OPEN_SYNC_MESSAGE;

// Forwards to a real implementation and counts the services handed out.
class CountingServiceManager final : public IZQServiceManager {
 public:
  bool RegisterService(ZQServiceRegisterInfo& info) override {
    return impl_.RegisterService(info);
  }
  void* GetService(const std::string& name) override {
    ++get_calls;
    return impl_.GetService(name);
  }
  int get_calls = 0;

 private:
  ZQServiceManagerImpl impl_;
};

class CountingObserver : public ZQNotificationObserver {
 public:
  void Observe(int,
               const ZQNotificationSource&,
               const ZQNotificationParameters&) override {
    ++calls;
  }
  int calls = 0;
};

// An observer that owns its subscriptions.
class SelfRegisteringObserver : public CountingObserver {
 public:
  explicit SelfRegisteringObserver(const ZQNotificationSource& source) {
    registrar_.Add(this, kType, source);
    registrar_.Add(this, NOTIFICATION_ALL, source);
  }

 private:
  ZQNotificationRegistrar registrar_;
};

// A foreign class registered under the bus's name.
class ForeignBus : public IZQNotificationService, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IZQNotificationService)
  void Notify(int,
              const ZQNotificationSource&,
              const ZQNotificationParameters&) override {}
};

// Each test gets its own service manager implementation with the bus
// registered the way start-up registers it; the creator's is put back after.
class ZQNotificationRegistrarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = std::make_shared<CountingServiceManager>();
    ZQServiceManager::GetInstance()->Initialize(manager_);
    ASSERT_TRUE(
        (ZQServiceManager::GetInstance()
             ->RegisterService<ZQNotificationService, IZQNotificationService>(
                 kServiceName, kServiceClsid, kServiceIid, true)));
    bus_.attach(
        ZQServiceManager::GetInstance()->GetService<IZQNotificationService>(
            kServiceName));
    ASSERT_TRUE(bus_.ptr() != nullptr);
    manager_->get_calls = 0;
  }

  void TearDown() override {
    bus_.dispose();
    ZQServiceManager::GetInstance()->Initialize(
        ZQServiceManagerCreator::Create());
  }

  void Post(const ZQNotificationSource& source) {
    bus_->Notify(kType, source, IZQNotificationService::NoParams());
  }

  ULONG BusRefCount() {
    bus_->AddRef();
    return bus_->Release();
  }

  std::shared_ptr<CountingServiceManager> manager_;
  by::com_ptr<IZQNotificationService> bus_;
  int chat_ = 0;
  Source<int> chat_source_{&chat_};
};

TEST_F(ZQNotificationRegistrarTest, KeepsBookOfItsSubscriptions) {
  CountingObserver observer;
  ZQNotificationRegistrar registrar;
  EXPECT_TRUE(registrar.IsEmpty());

  registrar.Add(&observer, kType, chat_source_);
  registrar.Add(&observer, kType, chat_source_);  // Already recorded.
  EXPECT_FALSE(registrar.IsEmpty());
  EXPECT_TRUE(registrar.IsRegistered(&observer, kType, chat_source_));
  EXPECT_FALSE(registrar.IsRegistered(&observer, kType,
                                      IZQNotificationService::AllSources()));
  Post(chat_source_);
  EXPECT_EQ(observer.calls, 1);

  registrar.Remove(&observer, kType, chat_source_);
  EXPECT_TRUE(registrar.IsEmpty());
  Post(chat_source_);
  EXPECT_EQ(observer.calls, 1);
}

TEST_F(ZQNotificationRegistrarTest, ObtainsTheBusOnlyWhenItHasWorkToDo) {
  CountingObserver observer;
  ZQNotificationRegistrar registrar;  // Makes sure the bus exists.
  EXPECT_EQ(manager_->get_calls, 1);

  registrar.Remove(&observer, kType, chat_source_);  // Never added.
  registrar.RemoveAll();                             // Nothing recorded.
  EXPECT_EQ(manager_->get_calls, 1);

  registrar.Add(&observer, kType, chat_source_);
  registrar.Add(&observer, kType, chat_source_);
  EXPECT_EQ(manager_->get_calls, 2);
  registrar.RemoveAll();
  EXPECT_EQ(manager_->get_calls, 3);
  EXPECT_TRUE(registrar.IsEmpty());
}

TEST_F(ZQNotificationRegistrarTest, GivesBackEveryBusReferenceItTakes) {
  const ULONG before = BusRefCount();
  {
    CountingObserver observer;
    ZQNotificationRegistrar registrar;
    registrar.Add(&observer, kType, chat_source_);
    registrar.Add(&observer, NOTIFICATION_ALL, chat_source_);
    registrar.Remove(&observer, kType, chat_source_);
    registrar.RemoveAll();
    registrar.Add(&observer, kType, chat_source_);
  }
  EXPECT_EQ(BusRefCount(), before);
}

TEST_F(ZQNotificationRegistrarTest, DestructionUnsubscribesEveryRecord) {
  CountingObserver survivor;
  ZQNotificationRegistrar survivor_registrar;
  survivor_registrar.Add(&survivor, kType, chat_source_);
  {
    SelfRegisteringObserver doomed(chat_source_);
    Post(chat_source_);
    EXPECT_EQ(doomed.calls, 2);  // As the type and as all types.
  }
  // The destroyed observer's subscriptions are gone; posting reaches only
  // the survivor (a dangling observer would be caught by ASan).
  Post(chat_source_);
  EXPECT_EQ(survivor.calls, 2);
}

TEST_F(ZQNotificationRegistrarTest, WithoutABusRecordsButSubscribesNothing) {
  CountingObserver observer;
  ZQServiceManager::GetInstance()->UnInitialize();
  {
    ZQNotificationRegistrar registrar;
    registrar.Add(&observer, kType, chat_source_);
    EXPECT_TRUE(registrar.IsRegistered(&observer, kType, chat_source_));
    ZQServiceManager::GetInstance()->Initialize(manager_);
    Post(chat_source_);
    EXPECT_EQ(observer.calls, 0);
    // Removing what the bus never had is harmless.
  }
  Post(chat_source_);
  EXPECT_EQ(observer.calls, 0);
}

TEST_F(ZQNotificationRegistrarTest,
       ForeignClassUnderTheBusNameIsNotSubscribed) {
  ZQServiceManager::GetInstance()->Initialize(
      std::make_shared<ZQServiceManagerImpl>());
  ASSERT_TRUE((ZQServiceManager::GetInstance()
                   ->RegisterService<ForeignBus, IZQNotificationService>(
                       kServiceName, kServiceClsid, kServiceIid, true)));
  CountingObserver observer;
  ZQNotificationRegistrar registrar;
  registrar.Add(&observer, kType, chat_source_);
  EXPECT_TRUE(registrar.IsRegistered(&observer, kType, chat_source_));
  registrar.RemoveAll();
  EXPECT_TRUE(registrar.IsEmpty());
}

}  // namespace
}  // namespace zqextensionkit
