#include "ZQExtensionKit/service/ZQServiceManager.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ZQExtensionKit/service/ZQServiceManagerCreator.h"
#include "ZQExtensionKit/service/internal/ZQServiceManagerImpl.h"
#include "tests/service/ServiceTestComponents.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace test {
namespace {

// Each test gets a fresh implementation in the facade; the creator's is put
// back afterwards.
class ZQServiceManagerTest : public LogCaptureTest {
 protected:
  void SetUp() override {
    LogCaptureTest::SetUp();
    Greeter::counter().Reset();
    Farewell::counter().Reset();
    impl_ = std::make_shared<ZQServiceManagerImpl>();
    manager()->Initialize(impl_);
  }

  void TearDown() override {
    manager()->Initialize(ZQServiceManagerCreator::Create());
    impl_.reset();
    LogCaptureTest::TearDown();
  }

  static ZQServiceManager* manager() { return ZQServiceManager::GetInstance(); }

  bool RegisterGreeter(const std::string& name, bool singleton) {
    return manager()->RegisterService<Greeter, IGreeter>(
        name, kGreeterClsid, kGreeterIid, singleton);
  }

  std::shared_ptr<ZQServiceManagerImpl> impl_;
};

TEST_F(ZQServiceManagerTest, RegistrationChecksClassIdThenInterfaceIdThenName) {
  ZQServiceRegisterInfo info;
  EXPECT_FALSE(impl_->RegisterService(info));
  info.clsid = kGreeterClsid;
  EXPECT_FALSE(impl_->RegisterService(info));
  info.iid = kGreeterIid;
  EXPECT_FALSE(impl_->RegisterService(info));
  EXPECT_EQ(capture().texts(),
            (std::vector<std::string>{
                "service manager impl - register failed, because of class id "
                "is empty",
                "service manager impl - register failed, because of interface "
                "id is empty",
                "service manager impl - register failed, because of service "
                "name is empty"}));
  for (const CapturedMessage& message : capture().messages())
    EXPECT_EQ(message.level, 0) << message.text;
}

TEST_F(ZQServiceManagerTest, SecondRegistrationOfANameFailsAndKeepsTheFirst) {
  ASSERT_TRUE(RegisterGreeter("Greeter", false));
  EXPECT_FALSE((manager()->RegisterService<Farewell, IFarewell>(
      "Greeter", kFarewellClsid, kFarewellIid, true)));
  EXPECT_EQ(capture().texts(),
            (std::vector<std::string>{
                "service manager impl - register failed, because of the "
                "service name (Greeter) is registered"}));

  IGreeter* greeter = manager()->GetService<IGreeter>("Greeter");
  ASSERT_NE(greeter, nullptr);
  EXPECT_EQ(greeter->Greet(), 42);
  greeter->Release();
  EXPECT_EQ(Farewell::counter().constructed, 0);
}

TEST_F(ZQServiceManagerTest, SecondNameForAClassIdServesTheFirstRegistration) {
  ASSERT_TRUE(RegisterGreeter("Greeter", false));
  // Same class id, other class, interface and flag: the name maps to the
  // first record, whose constructor and interface are used.
  EXPECT_TRUE((manager()->RegisterService<Farewell, IFarewell>(
      "Alias", kGreeterClsid, kFarewellIid, true)));

  IGreeter* first = manager()->GetService<IGreeter>("Alias");
  IGreeter* second = manager()->GetService<IGreeter>("Alias");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);  // Not a singleton: the first record's flag.
  EXPECT_EQ(first->Greet(), 42);
  EXPECT_EQ(Greeter::counter().constructed, 2);
  EXPECT_EQ(Farewell::counter().constructed, 0);
  first->Release();
  second->Release();
  EXPECT_EQ(Greeter::counter().alive(), 0);
}

TEST_F(ZQServiceManagerTest, SingletonIsBuiltOnceAndEachCallerGetsAReference) {
  ASSERT_TRUE(RegisterGreeter("Greeter", true));
  IGreeter* first = manager()->GetService<IGreeter>("Greeter");
  ASSERT_NE(first, nullptr);
  // The cache's reference and the caller's.
  EXPECT_EQ(RefCount(first), 2u);
  EXPECT_TRUE(capture().Contains(
      std::string("service manager imp - class id:") + kGreeterClsid +
      ", get singleton object failed, because of object "
      "didn't founded"));

  ClearLog();
  IGreeter* second = manager()->GetService<IGreeter>("Greeter");
  EXPECT_EQ(second, first);
  EXPECT_EQ(RefCount(first), 3u);
  EXPECT_EQ(Greeter::counter().constructed, 1);
  EXPECT_TRUE(capture().texts().empty()) << capture().Dump();

  first->Release();
  second->Release();
  EXPECT_EQ(Greeter::counter().alive(), 1);  // Kept by the cache.
  manager()->UnInitialize();
  impl_.reset();  // Destroying the implementation releases the cache.
  EXPECT_EQ(Greeter::counter().alive(), 0);
}

TEST_F(ZQServiceManagerTest, NonSingletonIsBuiltForEveryCall) {
  ASSERT_TRUE(RegisterGreeter("Greeter", false));
  IGreeter* first = manager()->GetService<IGreeter>("Greeter");
  IGreeter* second = manager()->GetService<IGreeter>("Greeter");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(RefCount(first), 1u);
  EXPECT_EQ(RefCount(second), 1u);
  first->Release();
  second->Release();
  EXPECT_EQ(Greeter::counter().constructed, 2);
  EXPECT_EQ(Greeter::counter().alive(), 0);
}

TEST_F(ZQServiceManagerTest, SingletonWithMalformedIidFailsFromTheSecondCall) {
  ASSERT_TRUE((manager()->RegisterService<Greeter, IGreeter>(
      "Greeter", kGreeterClsid, "{not an interface id}", true)));
  // The first call builds it, querying the interface compiled into IGreeter.
  IGreeter* first = manager()->GetService<IGreeter>("Greeter");
  ASSERT_NE(first, nullptr);
  const ULONG count = RefCount(first);

  ClearLog();
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(manager()->GetService<IGreeter>("Greeter"), nullptr);
  EXPECT_EQ(
      capture().Count("service manager impl - get service failed(singleton), "
                      "because of query target service interface failed"),
      2u);
  // The reference taken from the cache for the failed query was given back.
  EXPECT_EQ(RefCount(first), count);
  first->Release();
  EXPECT_EQ(Greeter::counter().constructed, 1);
}

TEST_F(ZQServiceManagerTest, GettingFailsForEmptyAndUnknownNames) {
  EXPECT_EQ(manager()->GetService<IGreeter>(""), nullptr);
  EXPECT_EQ(manager()->GetService<IGreeter>("Nobody"), nullptr);
  EXPECT_EQ(capture().texts(),
            (std::vector<std::string>{
                "service manager impl - get service failed, because of service "
                "name is empty",
                "service manager impl - get service failed, because of service "
                "is not registered"}));
}

TEST_F(ZQServiceManagerTest, FailedConstructionLeavesNoTraceAndIsRetried) {
  ASSERT_TRUE((manager()->RegisterService<Broken, IGreeter>(
      "Broken", "{0D5E7A11-94C3-4F2B-8E61-2A7B3C4D5E03}", kGreeterIid, false)));
  ASSERT_TRUE((manager()->RegisterService<Broken, IGreeter>(
      "BrokenSingleton", "{0D5E7A11-94C3-4F2B-8E61-2A7B3C4D5E04}", kGreeterIid,
      true)));
  // Greeter does not implement IFarewell: the query in the constructor fails
  // and the new object is released again.
  ASSERT_TRUE((manager()->RegisterService<Greeter, IFarewell>(
      "Mismatch", kGreeterClsid, kFarewellIid, true)));

  EXPECT_EQ(manager()->GetService<IGreeter>("Broken"), nullptr);
  EXPECT_TRUE(LogContains(
      "service manager impl - get service failed, because of construct "
      "service failed"));
  ClearLog();
  for (const char* name : {"BrokenSingleton", "Mismatch", "Mismatch"}) {
    EXPECT_EQ(manager()->GetService<IFarewell>(name), nullptr);
  }
  EXPECT_EQ(
      capture().Count("service manager impl - get service failed(singleton), "
                      "because of construct service failed"),
      3u);
  // Nothing was cached: each call tried again, and nothing leaked.
  EXPECT_EQ(Greeter::counter().constructed, 2);
  EXPECT_EQ(Greeter::counter().alive(), 0);

  // A service whose init_class throws fails the same way, and the object
  // built for it is destroyed.
  Throwing::counter().Reset();
  ASSERT_TRUE((manager()->RegisterService<Throwing, IGreeter>(
      "Throwing", "{0D5E7A11-94C3-4F2B-8E61-2A7B3C4D5E05}", kGreeterIid,
      true)));
  ClearLog();
  EXPECT_EQ(manager()->GetService<IGreeter>("Throwing"), nullptr);
  EXPECT_TRUE(
      LogContains("service manager impl - get service failed(singleton), "
                  "because of construct service failed"));
  EXPECT_EQ(Throwing::counter().constructed, 1);
  EXPECT_EQ(Throwing::counter().alive(), 0);
}

TEST_F(ZQServiceManagerTest, RecordWithoutConstructorFailsToConstruct) {
  ZQServiceRegisterInfo info;
  info.name = "Empty";
  info.clsid = kGreeterClsid;
  info.iid = kGreeterIid;
  ASSERT_TRUE(impl_->RegisterService(info));
  EXPECT_EQ(impl_->GetService("Empty"), nullptr);
  EXPECT_TRUE(LogContains(
      "service manager impl - get service failed, because of construct "
      "service failed"));
}

TEST_F(ZQServiceManagerTest, FacadeWithoutImplementationDoesNothing) {
  manager()->UnInitialize();
  EXPECT_FALSE(RegisterGreeter("Greeter", true));
  EXPECT_EQ(manager()->GetService<IGreeter>("Greeter"), nullptr);
  EXPECT_TRUE(capture().texts().empty()) << capture().Dump();

  // Installing the implementation again restores it with its state.
  manager()->Initialize(impl_);
  ASSERT_TRUE(RegisterGreeter("Greeter", false));
  manager()->UnInitialize();
  manager()->Initialize(impl_);
  IGreeter* greeter = manager()->GetService<IGreeter>("Greeter");
  ASSERT_NE(greeter, nullptr);
  greeter->Release();
}

TEST_F(ZQServiceManagerTest, CreatorAlwaysReturnsTheSameImplementation) {
  std::shared_ptr<IZQServiceManager> first = ZQServiceManagerCreator::Create();
  std::shared_ptr<IZQServiceManager> second = ZQServiceManagerCreator::Create();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_NE(first.get(), impl_.get());
}

TEST_F(ZQServiceManagerTest, FacadeIsOneProcessWideObject) {
  EXPECT_EQ(ZQServiceManager::GetInstance(), ZQServiceManager::GetInstance());
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
