// Creation by library: instances of classes that live in a plug-in library,
// made through the library's CComLoader.

#include <string>

#include <gtest/gtest.h>

#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "dlcom/loadcom.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

constexpr char kComLoaderFailed[] =
    "object container impl - create object instance failed, because of com "
    "loader create instance failed";

std::string PluginPath(const char* file) {
  return std::string(ZQ_TEST_PLUGIN_DIR) + "/" + file;
}

class ZQEObjectContainerLibraryTest : public test::LogCaptureTest {
 protected:
  void SetUp() override {
    test::LogCaptureTest::SetUp();
    ASSERT_TRUE(loader_.LoadCom(PluginPath(kGoodPluginFile).c_str()));
  }

  void TearDown() override {
    // A singleton from the library is cached under its class id until that
    // id is unregistered; release it while the library is still open.
    for (const char* clsid : {kTestObjectAClsidText, kTestObjectBClsidText}) {
      container()->Register(
          [](const std::string&, const std::string&, void**) { return false; },
          clsid, true);
      container()->UnRegister(clsid);
    }
    test::LogCaptureTest::TearDown();
  }

  ZQEObjectContainer* container() { return ZQEObjectContainer::GetInstance(); }

  ITestPluginObject* Create(const std::string& iid,
                            const std::string& clsid,
                            bool singleton,
                            CComLoader* loader) {
    void* object = nullptr;
    if (!container()->CreateObjectInstance(iid, clsid, singleton, loader,
                                           &object)) {
      return nullptr;
    }
    return static_cast<ITestPluginObject*>(object);
  }

  CComLoader loader_;
};

TEST_F(ZQEObjectContainerLibraryTest, NonSingletonIsCreatedAnewEachTime) {
  ITestPluginObject* a =
      Create(kTestPluginObjectIidText, kTestObjectAClsidText, false, &loader_);
  ASSERT_NE(a, nullptr);
  ITestPluginObject* b =
      Create(kTestPluginObjectIidText, kTestObjectBClsidText, false, &loader_);
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(a->Name(), "TestObjectA");
  EXPECT_STREQ(b->Name(), "TestObjectB");
  EXPECT_EQ(a->Add(2, 3), 5);
  EXPECT_EQ(a->LiveObjects(), 2);

  EXPECT_EQ(
      capture().texts(),
      (std::vector<std::string>{
          "object container impl - create object instance by library, iid:" +
              std::string(kTestPluginObjectIidText) +
              ", class id:" + kTestObjectAClsidText + ", is singleton:false",
          "object container impl - com loader create instance success",
          "object container impl - create object instance success",
          "object container impl - create object instance by library, iid:" +
              std::string(kTestPluginObjectIidText) +
              ", class id:" + kTestObjectBClsidText + ", is singleton:false",
          "object container impl - com loader create instance success",
          "object container impl - create object instance success"}));

  b->Release();
  EXPECT_EQ(a->LiveObjects(), 1);  // Nothing cached.
  a->Release();
}

TEST_F(ZQEObjectContainerLibraryTest, SingletonIsCachedUnderItsClassId) {
  ITestPluginObject* first =
      Create(kTestPluginObjectIidText, kTestObjectAClsidText, true, &loader_);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(LogContains(
      "object container impl - class id:" + std::string(kTestObjectAClsidText) +
      ", set singleton object success"));
  ClearLog();

  // Answered from the cache: the library is not asked again, so even a
  // null loader is enough.
  ITestPluginObject* second =
      Create(kTestPluginObjectIidText, kTestObjectAClsidText, true, nullptr);
  EXPECT_EQ(second, first);
  EXPECT_FALSE(LogContains(
      "object container impl - com loader create instance success"));
  EXPECT_TRUE(
      LogContains("object container impl - create object instance success"));
  EXPECT_EQ(first->LiveObjects(), 1);

  second->Release();
  first->Release();
  EXPECT_EQ(first->LiveObjects(), 1);  // The cache keeps it.

  // Unregistering the class id releases it (see TearDown).
  container()->Register(
      [](const std::string&, const std::string&, void**) { return false; },
      kTestObjectAClsidText, true);
  ITestPluginObject* probe =
      Create(kTestPluginObjectIidText, kTestObjectBClsidText, false, &loader_);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->LiveObjects(), 2);
  container()->UnRegister(kTestObjectAClsidText);
  EXPECT_EQ(probe->LiveObjects(), 1);
  probe->Release();
}

TEST_F(ZQEObjectContainerLibraryTest, FailedCreationsReportTheLoaderFailure) {
  struct Case {
    const char* what;
    std::string iid;
    std::string clsid;
  };
  const Case cases[] = {
      // Not 38 characters: the zero record, which no interface answers.
      {"short iid", "{7A3C1F52}", kTestObjectAClsidText},
      {"unknown interface", "{00000000-0000-0000-0000-0000000000AB}",
       kTestObjectAClsidText},
      {"class not in the library", kTestPluginObjectIidText,
       "{00000000-0000-0000-0000-0000000000CD}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (bool singleton : {false, true}) {
      ClearLog();
      EXPECT_EQ(Create(c.iid, c.clsid, singleton, &loader_), nullptr);
      EXPECT_TRUE(LogContains(kComLoaderFailed));
    }
  }
  // Nothing was cached by the failures.
  ITestPluginObject* probe =
      Create(kTestPluginObjectIidText, kTestObjectAClsidText, false, &loader_);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->LiveObjects(), 1);
  probe->Release();
}

TEST_F(ZQEObjectContainerLibraryTest, ObjectThatRefusesCreationFails) {
  CComLoader failing;
  ASSERT_TRUE(failing.LoadCom(PluginPath(kCreateFailsPluginFile).c_str()));
  EXPECT_EQ(
      Create(kTestPluginObjectIidText, kFailingObjectClsidText, true, &failing),
      nullptr);
  EXPECT_TRUE(LogContains(kComLoaderFailed));
}

// A library opened without the component entry points stays open (the load
// failed after dlopen), yet has no class-object entry to call.
TEST_F(ZQEObjectContainerLibraryTest, LibraryWithoutClassObjectEntryFails) {
  CComLoader half_loaded;
  EXPECT_FALSE(half_loaded.LoadCom("libm.so.6"));
  ASSERT_TRUE(half_loaded.IsLoaded());
  EXPECT_EQ(Create(kTestPluginObjectIidText, kTestObjectAClsidText, false,
                   &half_loaded),
            nullptr);
  EXPECT_TRUE(LogContains(kComLoaderFailed));
}

}  // namespace
}  // namespace zqextensionkit
