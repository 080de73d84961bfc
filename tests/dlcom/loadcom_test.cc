#include "dlcom/loadcom.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/ProcessState.h"

namespace {

std::string PluginPath(const char* file) {
  return std::string(ZQ_TEST_PLUGIN_DIR) + "/" + file;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Runs `action` and returns the trace lines it wrote to standard output.
template <class Action>
std::vector<std::string> Traces(Action action) {
  testing::internal::CaptureStdout();
  action();
  return Lines(testing::internal::GetCapturedStdout());
}

const std::vector<std::string> kLoadedTraces = {
    "CComLoader->LoadCom",        "IImpModuleBase->Load",
    "CComLoader->setfuncaddress", "CComLoader->setfuncaddress",
    "CComLoader->setfuncaddress", "CComLoader->setfuncaddress",
};

const std::vector<std::string> kOpenFailedTraces = {
    "CComLoader->LoadCom", "IImpModuleBase->Load", "CComLoader->Load fuc fail"};

using zqextensionkit::test::IsMapped;

// Closing the library must never leave an entry point pointing into it.
void ExpectNoEntryPoints(const CComLoader& loader) {
  EXPECT_EQ(nullptr, loader.DllGetClassObject);
  EXPECT_EQ(nullptr, loader.DllCanUnloadNow);
  EXPECT_EQ(nullptr, loader.DllRegisterServer);
  EXPECT_EQ(nullptr, loader.DllUnregisterServer);
}

by::com_ptr<ITestPluginObject> Create(CComLoader& loader, const ZQGUID& clsid) {
  by::com_ptr<ITestPluginObject> object;
  loader.CreateInstance(clsid, nullptr, nullptr,
                        by::__uuid_s<ITestPluginObject>::iid, object.vpp());
  return object;
}

TEST(CComLoaderTest, LoadsTheGoodPluginAndCreatesBothClasses) {
  CComLoader loader;
  BOOL loaded = FALSE;
  EXPECT_EQ(kLoadedTraces, Traces([&] {
              loaded = loader.LoadCom(PluginPath(kGoodPluginFile).c_str());
            }));
  ASSERT_EQ(TRUE, loaded);
  EXPECT_TRUE(loader.IsLoaded());
  EXPECT_NE(nullptr, loader.DllGetClassObject);
  EXPECT_NE(nullptr, loader.DllCanUnloadNow);
  EXPECT_NE(nullptr, loader.DllRegisterServer);
  EXPECT_NE(nullptr, loader.DllUnregisterServer);
  EXPECT_NE(nullptr, loader.m_pClassFactory.ptr());

  by::com_ptr<ITestPluginObject> a;
  const std::vector<std::string> create_traces = Traces([&] {
    EXPECT_EQ(S_OK, loader.CreateInstance(CLSID_TestObjectA, nullptr, nullptr,
                                          by::__uuid_s<ITestPluginObject>::iid,
                                          a.vpp()));
  });
  EXPECT_EQ(std::vector<std::string>{"pOFClassFactory->CreateInstance"},
            create_traces);
  ASSERT_NE(nullptr, a.ptr());
  EXPECT_STREQ("TestObjectA", a->Name());
  EXPECT_EQ(5, a->Add(2, 3));

  testing::internal::CaptureStdout();
  by::com_ptr<ITestPluginObject> b = Create(loader, CLSID_TestObjectB);
  testing::internal::GetCapturedStdout();
  ASSERT_NE(nullptr, b.ptr());
  EXPECT_STREQ("TestObjectB", b->Name());
  EXPECT_EQ(2, b->LiveObjects());

  // The object comes back holding exactly the caller's reference.
  EXPECT_EQ(2ul, b->AddRef());
  EXPECT_EQ(1ul, b->Release());
  b.dispose();
  EXPECT_EQ(1, a->LiveObjects());
  a.dispose();
}

TEST(CComLoaderTest, CreatingAnUnknownClassOrInterfaceFails) {
  CComLoader loader;
  testing::internal::CaptureStdout();
  ASSERT_EQ(TRUE, loader.LoadCom(PluginPath(kGoodPluginFile).c_str()));
  void* ppv = nullptr;
  EXPECT_NE(S_OK,
            loader.CreateInstance(CLSID_FailingObject, nullptr, nullptr,
                                  by::__uuid_s<ITestPluginObject>::iid, &ppv));
  EXPECT_EQ(nullptr, ppv);
  EXPECT_EQ(E_NOINTERFACE,
            loader.CreateInstance(CLSID_TestObjectA, nullptr, nullptr,
                                  by::__uuid_s<by::IPlugin>::iid, &ppv));
  EXPECT_EQ(nullptr, ppv);
  const std::vector<std::string> traces =
      Lines(testing::internal::GetCapturedStdout());
  // Only the call that reached a framework factory traced its creation.
  EXPECT_EQ("pOFClassFactory->CreateInstance", traces.back());
  EXPECT_EQ(kLoadedTraces.size() + 1, traces.size());
}

TEST(CComLoaderTest, UnloadComReleasesTheFactoryAndClosesTheLibrary) {
  const std::string path = PluginPath(kGoodPluginFile);
  {
    CComLoader loader;
    testing::internal::CaptureStdout();
    ASSERT_EQ(TRUE, loader.LoadCom(path.c_str()));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(IsMapped(path));
    loader.UnloadCom();
    EXPECT_FALSE(loader.IsLoaded());
    EXPECT_EQ(nullptr, loader.m_pClassFactory.ptr());
    ExpectNoEntryPoints(loader);
    EXPECT_FALSE(IsMapped(path));
    void* ppv = nullptr;
    EXPECT_NE(S_OK, loader.CreateInstance(CLSID_TestObjectA, nullptr, nullptr,
                                          by::__uuid_s<ITestPluginObject>::iid,
                                          &ppv));
  }
  {
    auto loader = std::make_unique<CComLoader>();
    testing::internal::CaptureStdout();
    ASSERT_EQ(TRUE, loader->LoadCom(path.c_str()));
    testing::internal::GetCapturedStdout();
    loader.reset();  // destruction does the same
    EXPECT_FALSE(IsMapped(path));
  }
}

TEST(CComLoaderTest, LibraryWithoutDllUnregisterServerIsRefusedButStaysOpen) {
  const std::string path = PluginPath(kNoUnregisterPluginFile);
  CComLoader loader;
  BOOL loaded = TRUE;
  const std::vector<std::string> traces =
      Traces([&] { loaded = loader.LoadCom(path.c_str()); });
  EXPECT_EQ(FALSE, loaded);
  ASSERT_EQ(9u, traces.size());
  EXPECT_EQ(
      std::vector<std::string>(kLoadedTraces.begin(), kLoadedTraces.end() - 1),
      std::vector<std::string>(traces.begin(), traces.begin() + 5));
  EXPECT_NE(std::string::npos, traces[5].find("DllUnregisterServer"))
      << "the loader's error text: " << traces[5];
  EXPECT_EQ("CComLoader->setfuncaddress", traces[6]);
  EXPECT_EQ("IImpModuleBase->Exception", traces[7]);
  EXPECT_EQ("CComLoader->Load fuc fail", traces[8]);
  EXPECT_TRUE(loader.IsLoaded());
  EXPECT_TRUE(IsMapped(path));
  EXPECT_EQ(nullptr, loader.DllUnregisterServer);
  EXPECT_EQ(nullptr, loader.m_pClassFactory.ptr());
}

TEST(CComLoaderTest, LibraryWithoutFrameworkFactoryIsUnloadedAgain) {
  const std::string path = PluginPath(kNoFactoryPluginFile);
  CComLoader loader;
  BOOL loaded = TRUE;
  EXPECT_EQ(kLoadedTraces,
            Traces([&] { loaded = loader.LoadCom(path.c_str()); }));
  EXPECT_EQ(FALSE, loaded);
  EXPECT_FALSE(loader.IsLoaded());
  ExpectNoEntryPoints(loader);
  EXPECT_FALSE(IsMapped(path));
}

TEST(CComLoaderTest, FilesThatCannotBeOpenedFailWithoutAHandle) {
  for (const std::string& path :
       {PluginPath(kNotALibraryFile), PluginPath("no_such_plugin.so")}) {
    SCOPED_TRACE(path);
    CComLoader loader;
    BOOL loaded = TRUE;
    EXPECT_EQ(kOpenFailedTraces,
              Traces([&] { loaded = loader.LoadCom(path.c_str()); }));
    EXPECT_EQ(FALSE, loaded);
    EXPECT_FALSE(loader.IsLoaded());
  }
}

TEST(CComLoaderTest, ClassWhoseCreationFailsReportsTheFailure) {
  CComLoader loader;
  testing::internal::CaptureStdout();
  ASSERT_EQ(TRUE, loader.LoadCom(PluginPath(kCreateFailsPluginFile).c_str()));
  void* ppv = nullptr;
  EXPECT_EQ(E_FAIL,
            loader.CreateInstance(CLSID_FailingObject, nullptr, nullptr,
                                  by::__uuid_s<ITestPluginObject>::iid, &ppv));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(nullptr, ppv);
}

TEST(CComLoaderTest, NeverLoadedLoaderCreatesNothingAndWritesNothing) {
  CComLoader loader;
  EXPECT_FALSE(loader.IsLoaded());
  EXPECT_EQ(nullptr, loader.DllGetClassObject);
  void* ppv = nullptr;
  EXPECT_EQ(std::vector<std::string>{}, Traces([&] {
              EXPECT_NE(S_OK, loader.CreateInstance(
                                  CLSID_TestObjectA, nullptr, nullptr,
                                  by::__uuid_s<ITestPluginObject>::iid, &ppv));
            }));
  EXPECT_EQ(nullptr, ppv);
}

TEST(CComLoaderTest, OpenLibraryWithoutClassObjectEntryIsNeverCalled) {
  // A library that exists but exports none of the entry points: the first
  // lookup fails, the library stays open, and DllGetClassObject stays null.
  CComLoader loader;
  testing::internal::CaptureStdout();
  EXPECT_EQ(FALSE, loader.LoadCom("libm.so.6"));
  const std::vector<std::string> traces =
      Lines(testing::internal::GetCapturedStdout());
  ASSERT_TRUE(loader.IsLoaded());
  EXPECT_EQ(nullptr, loader.DllGetClassObject);
  EXPECT_EQ("CComLoader->Load fuc fail", traces.back());
  void* ppv = nullptr;
  EXPECT_NE(S_OK,
            loader.CreateInstance(CLSID_TestObjectA, nullptr, nullptr,
                                  by::__uuid_s<ITestPluginObject>::iid, &ppv));
}

// Tolerates missing entry points, to reach the null-DllGetClassObject check
// of LoadCom itself.
class TolerantLoader : public CComLoader {
 public:
  bool Exception(void*, const char*) override { return false; }
};

TEST(CComLoaderTest, TolerantLoaderStopsAtAMissingClassObjectEntry) {
  TolerantLoader loader;
  testing::internal::CaptureStdout();
  EXPECT_EQ(FALSE, loader.LoadCom("libm.so.6"));
  const std::vector<std::string> traces =
      Lines(testing::internal::GetCapturedStdout());
  EXPECT_EQ("CComLoader->DllGetClassObject error", traces.back());
  EXPECT_TRUE(loader.IsLoaded());
}

TEST(CComLoaderTest, PathOf259CharactersLoadsAndLongerPathsAreRefused) {
  std::string dir = ZQ_TEST_PLUGIN_DIR;
  const std::string name = kGoodPluginFile;
  // Repeated slashes keep the path naming the same file.
  const std::string fits =
      dir + std::string(259 - dir.size() - name.size(), '/') + name;
  ASSERT_EQ(259u, fits.size());
  {
    CComLoader loader;
    testing::internal::CaptureStdout();
    EXPECT_EQ(TRUE, loader.LoadCom(fits.c_str()));
    testing::internal::GetCapturedStdout();
  }
  for (size_t extra : {0u, 1u, 200u}) {  // 260, 261 and 460 characters
    const std::string too_long = "/" + std::string(extra, '/') + fits;
    SCOPED_TRACE(too_long.size());
    CComLoader loader;
    BOOL loaded = TRUE;
    EXPECT_EQ((std::vector<std::string>{"CComLoader->LoadCom",
                                        "CComLoader->Load fuc fail"}),
              Traces([&] { loaded = loader.LoadCom(too_long.c_str()); }));
    EXPECT_EQ(FALSE, loaded);
    EXPECT_FALSE(loader.IsLoaded());
  }
}

TEST(CComLoaderTest, EmptyOrNullPathIsRefusedRatherThanOpeningTheHost) {
  // dlopen("") would hand back the running program itself.
  for (const char* path : {"", static_cast<const char*>(nullptr)}) {
    CComLoader loader;
    BOOL loaded = TRUE;
    EXPECT_EQ((std::vector<std::string>{"CComLoader->LoadCom",
                                        "CComLoader->Load fuc fail"}),
              Traces([&] { loaded = loader.LoadCom(path); }));
    EXPECT_EQ(FALSE, loaded);
    EXPECT_FALSE(loader.IsLoaded());
  }
}

TEST(CComLoaderTest, LoadingAgainKeepsObjectsOfTheSameLibraryAlive) {
  const std::string path = PluginPath(kGoodPluginFile);
  CComLoader loader;
  testing::internal::CaptureStdout();
  ASSERT_EQ(TRUE, loader.LoadCom(path.c_str()));
  by::com_ptr<ITestPluginObject> object = Create(loader, CLSID_TestObjectA);
  ASSERT_EQ(TRUE, loader.LoadCom(path.c_str()));
  testing::internal::GetCapturedStdout();
  ASSERT_NE(nullptr, object.ptr());
  EXPECT_STREQ("TestObjectA", object->Name());  // code still mapped
  EXPECT_EQ(1, object->LiveObjects());
  object.dispose();
  loader.UnloadCom();
  EXPECT_FALSE(IsMapped(path));
}

// A module with its own table, to check how the table is walked.
class TableModule : public IImpModuleBase {
 public:
  explicit TableModule(const STFunDesc* defs) : defs_(defs) {}
  void SetPath(const std::string& path) {
    snprintf(m_szModuleName, sizeof(m_szModuleName), "%s", path.c_str());
  }
  const STFunDesc* GetFunDefs() override { return defs_; }
  bool setfuncaddress(size_t i, void* p) override {
    stored.push_back({i, p});
    return true;
  }
  std::vector<std::pair<size_t, void*>> stored;

 private:
  const STFunDesc* defs_;
};

TEST(IImpModuleBaseTest, TableEndsAtNullInAnyCase) {
  const STFunDesc defs[] = {{"DllGetClassObject", 7}, {"NULL", 8}, {"x", 9}};
  TableModule module(defs);
  module.SetPath(PluginPath(kGoodPluginFile));
  testing::internal::CaptureStdout();
  EXPECT_EQ(1, module.Load());
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(1u, module.stored.size());
  EXPECT_EQ(7u, module.stored[0].first);
  EXPECT_NE(nullptr, module.stored[0].second);
  EXPECT_EQ(0, module.UnLoad());
  EXPECT_FALSE(module.IsLoaded());
}

TEST(IImpModuleBaseTest, LoadingAgainClosesTheLibraryItHeld) {
  const std::string path = PluginPath(kGoodPluginFile);
  const STFunDesc defs[] = {{"null", 0}};
  TableModule module(defs);
  module.SetPath(path);
  testing::internal::CaptureStdout();
  EXPECT_EQ(1, module.Load());
  EXPECT_EQ(1, module.Load());  // same file: still mapped in between
  EXPECT_TRUE(IsMapped(path));
  module.SetPath(PluginPath("no_such_plugin.so"));
  EXPECT_EQ(-1, module.Load());  // the old handle goes even when this fails
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(module.IsLoaded());
  EXPECT_FALSE(IsMapped(path));
}

TEST(CComLoaderTest, LoadingAgainDirectlyReplacesLibraryAndEntryPoints) {
  const std::string path = PluginPath(kGoodPluginFile);
  CComLoader loader;
  testing::internal::CaptureStdout();
  ASSERT_EQ(TRUE, loader.LoadCom(path.c_str()));
  EXPECT_EQ(1, loader.Load());  // the same file through the generic path
  EXPECT_NE(nullptr, loader.DllGetClassObject);
  EXPECT_EQ(0, loader.UnLoad());
  testing::internal::GetCapturedStdout();
  ExpectNoEntryPoints(loader);
  EXPECT_EQ(nullptr, loader.m_pClassFactory.ptr());
  EXPECT_FALSE(IsMapped(path));
}

TEST(IImpModuleBaseTest, EntryPointNamesAreLookedUpExactly) {
  const STFunDesc defs[] = {{"dllgetclassobject", 0}, {"null", 1}};
  TableModule module(defs);
  module.SetPath(PluginPath(kGoodPluginFile));
  testing::internal::CaptureStdout();
  EXPECT_EQ(-1, module.Load());
  const std::vector<std::string> traces =
      Lines(testing::internal::GetCapturedStdout());
  EXPECT_EQ("IImpModuleBase->Exception", traces.back());
  ASSERT_EQ(1u, module.stored.size());
  EXPECT_EQ(nullptr, module.stored[0].second);
  EXPECT_TRUE(module.IsLoaded());  // a failed lookup leaves the library open
}

// What LastLoadComFailure() says after each kind of LoadCom(), on the calling
// thread: the kind, and the dynamic loader's own reason where it has one.
TEST(CComLoaderTest, LastLoadComFailureSaysWhyALoadFailed) {
  const std::string too_long = "/" + std::string(300, 'x');
  const std::string missing = PluginPath("no_such_plugin.so");
  struct Case {
    std::string path;
    by::LoadComFailure failure;
    std::string fragment;  // Of the failure's text.
  };
  const Case cases[] = {
      {"", by::LoadComFailure::kPath, "the path is empty"},
      {too_long, by::LoadComFailure::kPath, "260 characters or longer"},
      {missing, by::LoadComFailure::kOpen, missing},
      {PluginPath(kNotALibraryFile), by::LoadComFailure::kOpen,
       "invalid ELF header"},
      {PluginPath(kNoUnregisterPluginFile), by::LoadComFailure::kEntryPoint,
       "DllUnregisterServer"},
      {PluginPath(kNoFactoryPluginFile), by::LoadComFailure::kClassFactory,
       "no framework class factory"},
      // A success clears what the failure before it left.
      {PluginPath(kGoodPluginFile), by::LoadComFailure::kNone, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    CComLoader loader;
    testing::internal::CaptureStdout();
    const BOOL loaded = loader.LoadCom(c.path.c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(c.failure == by::LoadComFailure::kNone ? TRUE : FALSE, loaded);
    const by::LoadComError& error = by::LastLoadComFailure();
    EXPECT_EQ(c.failure, error.failure);
    EXPECT_NE(nullptr, std::strstr(error.text, c.fragment.c_str()))
        << error.text;
  }
}

}  // namespace
