#include "ZQExtensionKit/container/ZQEObjectContainer.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dlcom/loadcom.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestComponent.h"

namespace zqextensionkit {
namespace {

using test::ITestComponent;
using test::kITestComponentIid;
using test::RefCountOf;
using test::TestComponentCreator;

class ZQEObjectContainerTest : public test::LogCaptureTest {
 protected:
  void TearDown() override {
    for (const std::string& clsid : used_class_ids_)
      container()->UnRegister(clsid);
    test::LogCaptureTest::TearDown();
  }

  ZQEObjectContainer* container() { return ZQEObjectContainer::GetInstance(); }

  // A class id no other test uses; unregistered after the test.
  std::string NewClassId() {
    static int next = 0;
    char text[64];
    std::snprintf(text, sizeof(text), "{C0417A1E-0000-4000-8000-%012X}",
                  ++next);
    used_class_ids_.push_back(text);
    return text;
  }

  static void Release(void* object) {
    static_cast<by::IBaseUnknown*>(object)->Release();
  }

 private:
  std::vector<std::string> used_class_ids_;
};

TEST_F(ZQEObjectContainerTest, RegisteringTwiceKeepsTheFirstCreatorAndFlag) {
  const std::string clsid = NewClassId();
  TestComponentCreator first;
  TestComponentCreator second;
  EXPECT_TRUE(container()->Register(first.Function(), clsid, false));
  EXPECT_TRUE(LogContains("object container impl - class id:" + clsid +
                          ", is singletion;false, register success"));
  ClearLog();

  EXPECT_TRUE(container()->Register(second.Function(), clsid, true));
  EXPECT_TRUE(LogContains("object container impl - class id:" + clsid +
                          ", class is registered"));
  EXPECT_FALSE(capture().ContainsSubstring("register success"));

  // Still the first creator, still not a singleton: two distinct objects.
  void* a = nullptr;
  void* b = nullptr;
  ASSERT_TRUE(container()->CreateObjectInstance(kITestComponentIid, clsid, &a));
  ASSERT_TRUE(container()->CreateObjectInstance(kITestComponentIid, clsid, &b));
  EXPECT_NE(a, b);
  EXPECT_EQ(first.calls(), 2);
  EXPECT_EQ(second.calls(), 0);
  Release(a);
  Release(b);
  EXPECT_EQ(first.counters().alive(), 0);
}

TEST_F(ZQEObjectContainerTest, ClassIsRegisteredAnswersAndLogs) {
  const std::string clsid = NewClassId();
  EXPECT_FALSE(container()->ClassIsRegistered(clsid));
  EXPECT_TRUE(LogContains("object container impl - class id:" + clsid +
                          ", class is not registered"));
  TestComponentCreator creator;
  container()->Register(creator.Function(), clsid, false);
  EXPECT_TRUE(container()->ClassIsRegistered(clsid));
  EXPECT_TRUE(LogContains("object container impl - class id:" + clsid +
                          ", class is registered"));
}

TEST_F(ZQEObjectContainerTest, EmptyIdsAreRefusedWithTheirMessages) {
  TestComponentCreator creator;
  void* object = nullptr;
  EXPECT_FALSE(container()->Register(creator.Function(), "", true));
  EXPECT_FALSE(container()->UnRegister(""));
  EXPECT_FALSE(container()->ClassIsRegistered(""));
  EXPECT_FALSE(container()->CreateObjectInstance("", NewClassId(), &object));
  EXPECT_FALSE(
      container()->CreateObjectInstance(kITestComponentIid, "", &object));
  EXPECT_FALSE(container()->CreateObjectInstance("", NewClassId(), true,
                                                 nullptr, &object));
  EXPECT_FALSE(container()->CreateObjectInstance(kITestComponentIid, "", true,
                                                 nullptr, &object));
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(creator.calls(), 0);
  EXPECT_EQ(
      capture().texts(),
      (std::vector<std::string>{
          "object container impl - register failed, because of class id is "
          "empty",
          "object container impl - unregister failed, because of class id is "
          "empty",
          "object container impl - query class is registered failed, because "
          "of class id is empty",
          "object container impl - create object instance by creator failed, "
          "because of iid is empty",
          "object container impl - create object instance by creator failed, "
          "because of class id is empty",
          "object container impl - create object instance failed by library, "
          "because of iid is empty",
          "object container impl - create object instance failed by library, "
          "because of class id is empty"}));
}

TEST_F(ZQEObjectContainerTest, UnRegisterOfUnknownClassFails) {
  const std::string clsid = NewClassId();
  EXPECT_FALSE(container()->UnRegister(clsid));
  EXPECT_TRUE(LogContains("object container impl - class id:" + clsid +
                          ", unregister failed, because of not found register "
                          "info"));
}

TEST_F(ZQEObjectContainerTest, CreatingAnUnregisteredClassFails) {
  const std::string clsid = NewClassId();
  void* object = nullptr;
  EXPECT_FALSE(
      container()->CreateObjectInstance(kITestComponentIid, clsid, &object));
  EXPECT_EQ(object, nullptr);
  EXPECT_TRUE(LogContains(
      "object container impl - create object instance by creator failed, "
      "because of class is not registered"));
}

TEST_F(ZQEObjectContainerTest, NonSingletonCallsTheCreatorEveryTime) {
  const std::string clsid = NewClassId();
  TestComponentCreator creator;
  container()->Register(creator.Function(), clsid, false);
  ClearLog();

  // The iid text reaches the creator unchanged, whatever its length.
  void* a = nullptr;
  void* b = nullptr;
  ASSERT_TRUE(container()->CreateObjectInstance("short", clsid, &a));
  ASSERT_TRUE(container()->CreateObjectInstance(kITestComponentIid, clsid, &b));
  EXPECT_EQ(creator.iids(),
            (std::vector<std::string>{"short", kITestComponentIid}));
  EXPECT_NE(a, b);
  EXPECT_EQ(RefCountOf(a), 1u);
  EXPECT_EQ(RefCountOf(b), 1u);
  EXPECT_TRUE(LogContains(
      "object container impl - create object instance by creator, iid:short, "
      "class id:" +
      clsid + ", singleton:false"));
  EXPECT_EQ(LogCount("object container impl - create object instance by "
                     "creator success"),
            2u);
  EXPECT_TRUE(
      LogContains("object container impl - get object register info "
                  "success"));

  Release(a);
  Release(b);
  EXPECT_EQ(creator.counters().destroyed.load(), 2);
}

TEST_F(ZQEObjectContainerTest, SingletonIsCreatedOnceAndSharedWithAReference) {
  const std::string clsid = NewClassId();
  TestComponentCreator creator;
  container()->Register(creator.Function(), clsid, true);
  ClearLog();

  void* first = nullptr;
  ASSERT_TRUE(
      container()->CreateObjectInstance(kITestComponentIid, clsid, &first));
  EXPECT_EQ(RefCountOf(first), 2u);  // The caller's and the cache's.
  EXPECT_EQ(
      capture().texts(),
      (std::vector<std::string>{
          "object container impl - class id:" + clsid + ", class is registered",
          "object container impl - class id:" + clsid + ", class is registered",
          "object container impl - get object register info success",
          "object container impl - create object instance by creator, "
          "iid:" +
              std::string(kITestComponentIid) + ", class id:" + clsid +
              ", singleton:true",
          "object container impl - class id:" + clsid +
              ", get singleton object failed, because of object didn't "
              "founded",
          "object container impl - class id:" + clsid +
              ", set singleton object success"}));
  ClearLog();

  void* second = nullptr;
  ASSERT_TRUE(
      container()->CreateObjectInstance(kITestComponentIid, clsid, &second));
  EXPECT_EQ(second, first);
  EXPECT_EQ(RefCountOf(first), 3u);
  EXPECT_EQ(creator.calls(), 1);
  EXPECT_TRUE(LogContains("object container impl - class id:" + clsid +
                          ", get singleton object success"));
  EXPECT_TRUE(LogContains(
      "object container impl - create object instance by creator success"));

  Release(first);
  Release(second);
  EXPECT_EQ(RefCountOf(first), 1u);  // The cache keeps its own.
  EXPECT_EQ(creator.counters().alive(), 1);
}

TEST_F(ZQEObjectContainerTest, UnRegisterReleasesTheCachedSingleton) {
  const std::string clsid = NewClassId();
  TestComponentCreator creator;
  container()->Register(creator.Function(), clsid, true);
  void* object = nullptr;
  ASSERT_TRUE(
      container()->CreateObjectInstance(kITestComponentIid, clsid, &object));
  Release(object);
  EXPECT_EQ(creator.counters().destroyed.load(), 0);

  EXPECT_TRUE(container()->UnRegister(clsid));
  EXPECT_EQ(creator.counters().destroyed.load(), 1);
  EXPECT_TRUE(LogContains("object container impl - class id:" + clsid +
                          ", unregister success"));
  EXPECT_FALSE(container()->ClassIsRegistered(clsid));

  // Registered again, the class starts with an empty cache.
  container()->Register(creator.Function(), clsid, true);
  ASSERT_TRUE(
      container()->CreateObjectInstance(kITestComponentIid, clsid, &object));
  EXPECT_EQ(creator.calls(), 2);
  Release(object);
  container()->UnRegister(clsid);
  EXPECT_EQ(creator.counters().alive(), 0);
}

TEST_F(ZQEObjectContainerTest, FailingCreatorReportsFailureAndCachesNothing) {
  // A creator that throws has failed like one that answers false.
  for (int variant = 0; variant < 4; ++variant) {
    const bool singleton = variant % 2 == 1;
    const bool throws = variant >= 2;
    SCOPED_TRACE(std::string(singleton ? "singleton" : "not singleton") +
                 (throws ? ", throwing" : ""));
    const std::string clsid = NewClassId();
    TestComponentCreator creator;
    creator.set_mode(throws ? TestComponentCreator::Mode::kThrow
                            : TestComponentCreator::Mode::kFail);
    container()->Register(creator.Function(), clsid, singleton);
    ClearLog();

    void* object = nullptr;
    EXPECT_FALSE(
        container()->CreateObjectInstance(kITestComponentIid, clsid, &object));
    EXPECT_TRUE(LogContains(
        "object container impl - create object instance by creator failed, "
        "because of instance creator execute failed"));

    creator.set_mode(TestComponentCreator::Mode::kCreate);
    ASSERT_TRUE(
        container()->CreateObjectInstance(kITestComponentIid, clsid, &object));
    EXPECT_EQ(creator.calls(), 2);
    Release(object);
  }
}

TEST_F(ZQEObjectContainerTest, SingletonCreatorHandingBackNullFails) {
  const std::string clsid = NewClassId();
  TestComponentCreator creator;
  creator.set_mode(TestComponentCreator::Mode::kSucceedWithNull);
  container()->Register(creator.Function(), clsid, true);
  void* object = nullptr;
  EXPECT_FALSE(
      container()->CreateObjectInstance(kITestComponentIid, clsid, &object));
  EXPECT_TRUE(LogContains("object container impl - class id:" + clsid +
                          ", set singleton object failed, because of object "
                          "pointer is nullptr"));
  EXPECT_TRUE(LogContains(
      "object container impl - create object instance by creator failed, "
      "because of set singleton object failed"));
}

// Two creations of one singleton class overlap: the inner one caches its
// object while the outer creator runs (creators run with no lock held).
TEST_F(ZQEObjectContainerTest, CreatorLosingTheRaceKeepsItsOwnInstance) {
  const std::string clsid = NewClassId();
  TestComponentCreator inner_creator;
  void* inner = nullptr;
  bool nested = false;
  auto counters = std::make_shared<test::TestComponentCounters>();
  InstanceCreateFunction inner_function = inner_creator.Function();
  container()->Register(
      [&](const std::string& iid, const std::string& id, void** ppv) {
        if (!nested) {
          nested = true;
          EXPECT_TRUE(container()->CreateObjectInstance(iid, id, &inner));
          *ppv = test::TestComponent::New(counters, 100);
          return true;
        }
        return inner_function(iid, id, ppv);
      },
      clsid, true);

  void* outer = nullptr;
  ASSERT_TRUE(
      container()->CreateObjectInstance(kITestComponentIid, clsid, &outer));
  ASSERT_NE(inner, nullptr);
  EXPECT_NE(outer, inner);
  EXPECT_EQ(RefCountOf(outer), 1u);  // Not cached: the caller's only.
  EXPECT_EQ(RefCountOf(inner), 2u);  // The inner caller's and the cache's.

  void* cached = nullptr;
  ASSERT_TRUE(
      container()->CreateObjectInstance(kITestComponentIid, clsid, &cached));
  EXPECT_EQ(cached, inner);

  Release(outer);
  EXPECT_EQ(counters->alive(), 0);
  Release(cached);
  Release(inner);
  container()->UnRegister(clsid);
  EXPECT_EQ(inner_creator.counters().alive(), 0);
}

// The registration record (and the creator inside it) stays alive while the
// creator runs, even when the class is unregistered meanwhile.
TEST_F(ZQEObjectContainerTest, UnRegisterWhileTheCreatorRunsIsSafe) {
  const std::string clsid = NewClassId();
  auto counters = std::make_shared<test::TestComponentCounters>();
  const std::string captured(64, 'c');  // Heap state owned by the creator.
  container()->Register(
      [this, counters, captured](const std::string&, const std::string& id,
                                 void** ppv) {
        EXPECT_TRUE(container()->UnRegister(id));
        *ppv = test::TestComponent::New(counters,
                                        static_cast<int>(captured.size()));
        return true;
      },
      clsid, false);

  void* object = nullptr;
  ASSERT_TRUE(
      container()->CreateObjectInstance(kITestComponentIid, clsid, &object));
  EXPECT_EQ(static_cast<ITestComponent*>(object)->Serial(), 64);
  EXPECT_FALSE(container()->ClassIsRegistered(clsid));
  Release(object);
  EXPECT_EQ(counters->alive(), 0);
}

// A singleton whose class is unregistered while its creator runs must not
// land in the cache: UnRegister could no longer release it, and the next
// registration of the id would be served the old creator's object.
TEST_F(ZQEObjectContainerTest,
       SingletonOfAClassUnregisteredMeanwhileIsNotCached) {
  const std::string clsid = NewClassId();
  auto counters = std::make_shared<test::TestComponentCounters>();
  container()->Register(
      [this, counters](const std::string&, const std::string& id, void** ppv) {
        EXPECT_TRUE(container()->UnRegister(id));
        *ppv = test::TestComponent::New(counters, 1);
        return true;
      },
      clsid, true);

  void* object = nullptr;
  ASSERT_TRUE(
      container()->CreateObjectInstance(kITestComponentIid, clsid, &object));
  EXPECT_EQ(RefCountOf(object), 1u);  // The caller's only.
  Release(object);
  EXPECT_EQ(counters->alive(), 0);

  // A new registration of the id starts from an empty cache.
  TestComponentCreator next;
  container()->Register(next.Function(), clsid, true);
  ASSERT_TRUE(
      container()->CreateObjectInstance(kITestComponentIid, clsid, &object));
  EXPECT_EQ(next.calls(), 1);
  Release(object);
}

TEST_F(ZQEObjectContainerTest, CreationByLibraryFailsWithoutALoadedLibrary) {
  const std::string clsid = NewClassId();
  CComLoader never_loaded;
  for (CComLoader* loader :
       {static_cast<CComLoader*>(nullptr), &never_loaded}) {
    for (bool singleton : {false, true}) {
      ClearLog();
      void* object = nullptr;
      EXPECT_FALSE(container()->CreateObjectInstance(
          kITestComponentIid, clsid, singleton, loader, &object));
      EXPECT_EQ(object, nullptr);
      EXPECT_TRUE(LogContains(
          "object container impl - create object instance by library, iid:" +
          std::string(kITestComponentIid) + ", class id:" + clsid +
          ", is singleton:" + (singleton ? "true" : "false")));
      EXPECT_TRUE(LogContains(
          "object container impl - create object instance failed, because of "
          "com loader create instance failed"));
    }
  }
}

}  // namespace
}  // namespace zqextensionkit
