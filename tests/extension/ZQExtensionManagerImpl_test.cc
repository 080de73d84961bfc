// ZQExtensionManagerImpl: extensions obtained from an installation beside
// the test executable, through both creation routes, with their contexts.

#include "ZQExtensionKit/extension/internal/ZQExtensionManagerImpl.h"

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "dlcom/comobject.h"
#include "dlcom/comsentry.h"
#include "tests/plugins/HandWrittenClasses.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestComponent.h"

namespace zqextensionkit {
namespace {

using Texts = std::vector<std::string>;

constexpr char kUnknownClsid[] = "{00000000-0000-4000-8000-0000000000AA}";
constexpr char kInProcessClsid[] = "{00000000-0000-4000-8000-0000000000BB}";

std::string PluginPath(const char* file) {
  return std::string(ZQ_TEST_PLUGIN_DIR) + "/" + file;
}

// An extension class registered in-process, told apart by its name.
class InProcessProbe : public ITestExtensionProbe, public ZQBaseExtension {
 public:
  BY_INTERFACES(ITestExtensionProbe, IZQBaseExtension)
  HRESULT Initialization() override {
    ++calls_;
    return S_OK;
  }
  const char* ClassName() override { return "InProcessProbe"; }
  long LiveObjects() override { return 0; }
  long InitializationCalls() override { return calls_; }

 private:
  long calls_ = 0;
};

bool CreateInProcessProbe(const std::string& iid,
                          const std::string&,
                          void** ppv) {
  return by::CComObject<InProcessProbe>::CreateInstance2(
             S2GUIDA(iid.c_str(), true), ppv) == S_OK;
}

// An in-process extension whose query for the point's interface stores
// itself with a reference and then fails (or throws), as careless code may.
class StoringQueryFailure : public ITestExtensionProbe, public ZQBaseExtension {
 public:
  static inline std::atomic<int> live{0};
  static inline bool throws = false;

  StoringQueryFailure() { ++live; }
  ~StoringQueryFailure() override { --live; }
  HRESULT QueryInterface(const ZQIID& riid, void** ppv) override {
    if (riid == by::__uuid_s<ITestExtensionProbe>::iid) {
      *ppv = static_cast<ITestExtensionProbe*>(this);
      static_cast<ITestExtensionProbe*>(this)->AddRef();
      if (throws)
        throw std::runtime_error("query failed after storing");
      return E_FAIL;
    }
    return by::QueryInterfaceFromList(static_cast<ZQBaseExtension*>(this),
                                      by_interface_list(), riid, ppv);
  }
  const char* ClassName() override { return "StoringQueryFailure"; }
  long LiveObjects() override { return live; }
  long InitializationCalls() override { return 0; }
};

// One extension object of a manifest.
std::string ExtensionJson(const std::string& id,
                          const std::string& clsid,
                          bool singleton,
                          const std::string& more = "") {
  return R"({"id": ")" + id + R"(", "clsid": ")" + clsid +
         R"(", "isSingleton": )" + (singleton ? "true" : "false") + more + "}";
}

std::string PointJson(const std::string& id,
                      const std::string& iid,
                      const Texts& extensions) {
  std::string list;
  for (const std::string& extension : extensions)
    list += (list.empty() ? "" : ", ") + extension;
  return R"({"id": ")" + id + R"(", "iid": ")" + iid + R"(", "extensions": [)" +
         list + "]}";
}

std::string ManifestJson(const std::string& id,
                         const std::string& main_entry,
                         const Texts& points) {
  std::string list;
  for (const std::string& point : points)
    list += (list.empty() ? "" : ", ") + point;
  return R"({"id": ")" + id + R"(", "mainEntry": ")" + main_entry +
         R"(", "extensionPoints": [)" + list + "]}";
}

// The installation every test below loads:
// - "probe": the extension probe plug-in (lib/probe.so) with
//   "ep.probe": "full" (every context field), "missing" (a class the
//     library lacks), "single" (a singleton whose settings have no host);
//   "ep.many": three plain extensions;
//   "ep.badiid": an interface id that is no braced GUID;
//   "ep.shadow": the probe class, also registered in-process by the tests.
// - "good": the good plug-in, whose class is no extension ("ep.object").
// - "web": no library; "ep.web" holds an in-process class and one that no
//   one registered.
void WriteInstallation(test::InstallationSandbox& sandbox) {
  const std::string probe = kProbeExtensionClsidText;
  const std::string probe_iid = kTestExtensionProbeIidText;
  sandbox.WriteAdapterMapping("{}");
  sandbox.WriteConfig(R"({"artifacts": ["probe", "good", "web"]})");
  sandbox.CopyFile(PluginPath(kExtensionProbePluginFile),
                   "extensions/probe/lib/probe.so");
  sandbox.CopyFile(PluginPath(kGoodPluginFile), "extensions/good/good.so");
  const std::string full_extras =
      R"(, "unifiedId": "u.full", "payloads": {"title": "Send"},
          "constraints": [{"key": "platform", "value": ["linux", "mac"]}],
          "settingMap": {"modalPosition": "center", "modalSize": "400x300",
                         "host": "https://h5.example.com", "uri": "/app",
                         "openType": "modal"})";
  const std::string no_host_settings =
      R"(, "settingMap": {"modalPosition": "left", "modalSize": "1x1",
                          "host": "", "uri": "/x", "openType": "modal"})";
  sandbox.WriteManifest(
      "probe",
      ManifestJson(
          "probe", "lib/probe.so",
          {PointJson("ep.probe", probe_iid,
                     {ExtensionJson("full", probe, false, full_extras),
                      ExtensionJson("missing", kUnknownClsid, false),
                      ExtensionJson("single", probe, true, no_host_settings)}),
           PointJson("ep.many", probe_iid,
                     {ExtensionJson("m1", probe, false),
                      ExtensionJson("m2", probe, false),
                      ExtensionJson("m3", probe, false)}),
           PointJson("ep.badiid", "ITestExtensionProbe",
                     {ExtensionJson("bad", probe, false)}),
           PointJson("ep.shadow", probe_iid,
                     {ExtensionJson("shadow", probe, false)})}));
  sandbox.WriteManifest(
      "good",
      ManifestJson("good", "good.so",
                   {PointJson("ep.object", kTestPluginObjectIidText,
                              {ExtensionJson("object", kTestObjectAClsidText,
                                             false)})}));
  sandbox.WriteManifest(
      "web", ManifestJson(
                 "web", "",
                 {PointJson("ep.web", probe_iid,
                            {ExtensionJson("inproc", kInProcessClsid, false,
                                           R"(, "payloads": {"k": "v"},
                                                 "settingMap": {
                                                   "modalPosition": "c",
                                                   "modalSize": "s",
                                                   "host": "https://h",
                                                   "uri": "/u",
                                                   "openType": "modal"})"),
                             ExtensionJson("nobody", kUnknownClsid, false)})}));
}

class ZQExtensionManagerImplTest : public test::LogCaptureTest {
 protected:
  // Fresh implementations behind the facades the extension manager uses;
  // the object container is process-wide and registrations are undone by
  // each test.
  void InstallKit() {
    bundles_ = std::make_shared<ZQEBundleManagerImpl>();
    ZQEBundleManager::GetInstance()->Initialize(bundles_);
    ZQEConfigurationManager::GetInstance()->Initialize(
        std::make_shared<ZQEConfigurationManagerImpl>());
    impl_ = std::make_shared<ZQExtensionManagerImpl>();
    ZQExtensionManager::GetInstance()->Initialize(impl_);
  }

  // Installs the kit and loads the installation; the tests read only the
  // extension manager's own messages after this.
  void Load() {
    InstallKit();
    ASSERT_TRUE(manager()->Load()) << capture().Dump();
    ClearLog();
  }

  static ZQExtensionManager* manager() {
    return ZQExtensionManager::GetInstance();
  }

  // The messages of the extension manager implementation, in order.
  Texts ManagerTexts() {
    Texts texts;
    for (const std::string& text : capture().texts()) {
      if (text.rfind("extension manager impl - ", 0) == 0)
        texts.push_back(text.substr(sizeof("extension manager impl - ") - 1));
    }
    return texts;
  }

  std::shared_ptr<ZQEBundleManagerImpl> bundles_;
  std::shared_ptr<ZQExtensionManagerImpl> impl_;
};

ITestExtensionProbe* AsProbe(void* instance) {
  return static_cast<ITestExtensionProbe*>(instance);
}

// The context of an instance handed out as ITestExtensionProbe.
ZQExtensionContext* ContextOf(void* instance) {
  by::com_ptr<IZQBaseExtension> base(
      static_cast<by::IBaseUnknown*>(AsProbe(instance)));
  return base ? base->GetContext() : nullptr;
}

void ReleaseAll(std::vector<void*>& instances) {
  for (void* instance : instances)
    static_cast<by::IBaseUnknown*>(instance)->Release();
  instances.clear();
}

TEST_F(ZQExtensionManagerImplTest, LibraryRouteFillsTheWholeContext) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    Load();
    std::vector<void*> instances;
    // "missing" fails between two that work; the list keeps the others.
    ASSERT_TRUE(manager()->GetExtensionList("ep.probe", instances));
    ASSERT_EQ(instances.size(), 2u);
    EXPECT_EQ(
        ManagerTexts(),
        (Texts{"get extension list by extension point id:ep.probe",
               "create extension instance from dynamic library, class id:" +
                   std::string(kProbeExtensionClsidText) +
                   ", iid:" + kTestExtensionProbeIidText + ", singleton:false",
               "create extension instance from dynamic library success",
               "create extension instance from dynamic library, class id:" +
                   std::string(kUnknownClsid) +
                   ", iid:" + kTestExtensionProbeIidText + ", singleton:false",
               "create extension instance from dynamic library failed, because "
               "of create object instance failed",
               "create extension instance from dynamic library, class id:" +
                   std::string(kProbeExtensionClsidText) +
                   ", iid:" + kTestExtensionProbeIidText + ", singleton:true",
               "create extension instance from dynamic library success",
               "get extension list by extension point id success"}));

    ZQExtensionContext* full = ContextOf(instances[0]);
    ASSERT_NE(full, nullptr);
    const std::string root = (sandbox.extensions_dir() / "probe").string();
    std::string title;
    EXPECT_TRUE(full->ValueForKey("title", title));
    EXPECT_EQ(title, "Send");
    std::vector<std::string> platforms;
    EXPECT_TRUE(full->ConstraintForKey("platform", platforms));
    EXPECT_EQ(platforms, (Texts{"linux", "mac"}));
    EXPECT_EQ(full->GetResourcesPath(), root + "/resources");
    EXPECT_EQ(full->GetBinDirPath(), root + "/bin");
    const LaunchParams launch = full->GetLaunchParams();
    EXPECT_EQ(launch.modal_position_, "center");
    EXPECT_EQ(launch.modal_size_, "400x300");
    EXPECT_EQ(launch.url_, "https://h5.example.com/app");
    EXPECT_EQ(launch.open_type_, "modal");
    EXPECT_EQ(full->GetExtensionId(), "full");
    EXPECT_EQ(full->GetUnifiedId(), "u.full");
    EXPECT_EQ(AsProbe(instances[0])->InitializationCalls(), 1);

    // Settings without a host leave the launch parameters unset.
    ZQExtensionContext* single = ContextOf(instances[1]);
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->GetLaunchParams().open_type_, "");
    EXPECT_EQ(single->GetExtensionId(), "single");
    ReleaseAll(instances);
  });
}

TEST_F(ZQExtensionManagerImplTest,
       SingletonsAreFilledAndInitialisedOnEachRequest) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    Load();
    void* first = nullptr;
    void* second = nullptr;
    ASSERT_TRUE(manager()->GetExtensionById("single", &first));
    ZQExtensionContext* context = ContextOf(first);
    ASSERT_NE(context, nullptr);
    context->SetExtensionId("changed by the extension");
    ASSERT_TRUE(manager()->GetExtensionById("single", &second));
    EXPECT_EQ(first, second);
    EXPECT_EQ(AsProbe(second)->InitializationCalls(), 2);
    EXPECT_EQ(ContextOf(second)->GetExtensionId(), "single");
    AsProbe(first)->Release();
    AsProbe(second)->Release();

    void* none = &first;
    EXPECT_FALSE(manager()->GetExtensionById("no.such.extension", &none));
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(ManagerTexts().back(),
              "get extension by extension id failed, because of extension "
              "info is not founded");
  });
}

TEST_F(ZQExtensionManagerImplTest, RoutesAreChosenByTheRecordsPackage) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    Load();
    ZQEObjectContainer* container = ZQEObjectContainer::GetInstance();
    ASSERT_TRUE(manager()->RegisterExtension(&CreateInProcessProbe,
                                             kInProcessClsid, false));
    ASSERT_TRUE(manager()->RegisterExtension(&CreateInProcessProbe,
                                             kProbeExtensionClsidText, false));

    // A native record takes the library route though its class is
    // registered in-process too.
    void* shadow = nullptr;
    ASSERT_TRUE(manager()->GetExtension("ep.shadow", &shadow));
    EXPECT_STREQ(AsProbe(shadow)->ClassName(), "ProbeExtension");
    AsProbe(shadow)->Release();

    // The registry route fills payloads and paths, never launch parameters
    // or ids; an unregistered class without a library fails.
    ClearLog();
    std::vector<void*> web;
    ASSERT_TRUE(manager()->GetExtensionList("ep.web", web));
    ASSERT_EQ(web.size(), 1u);
    EXPECT_STREQ(AsProbe(web[0])->ClassName(), "InProcessProbe");
    EXPECT_EQ(AsProbe(web[0])->InitializationCalls(), 1);
    ZQExtensionContext* context = ContextOf(web[0]);
    std::string value;
    EXPECT_TRUE(context->ValueForKey("k", value));
    EXPECT_EQ(context->GetBinDirPath(),
              (sandbox.extensions_dir() / "web" / "bin").string());
    EXPECT_EQ(context->GetLaunchParams().open_type_, "");
    EXPECT_EQ(context->GetExtensionId(), "");
    EXPECT_EQ(ManagerTexts(),
              (Texts{"get extension list by extension point id:ep.web",
                     "create extension instance from registry, class id:" +
                         std::string(kInProcessClsid) +
                         ", iid:" + kTestExtensionProbeIidText,
                     "create extension instance from registry success",
                     "create extension instance failed",
                     "get extension list by extension point id success"}));
    ReleaseAll(web);

    EXPECT_TRUE(manager()->unRegisterExtension(kInProcessClsid));
    EXPECT_TRUE(manager()->unRegisterExtension(kProbeExtensionClsidText));
    EXPECT_FALSE(container->ClassIsRegistered(kInProcessClsid));
  });
}

TEST_F(ZQExtensionManagerImplTest, FailuresLeaveTheCallersListAsItWas) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    Load();
    struct Case {
      const char* point;
      Texts last_messages;
    };
    const Case cases[] = {
        {"ep.badiid",  // queried as the all-zero id
         {"create extension instance from dynamic library failed, because of "
          "query target interface failed",
          "get extension list by extension point id failed, because of "
          "extension vector empty"}},
        {"ep.object",  // a library class that is no extension
         {"create extension instance from dynamic library failed, because of "
          "create object instance failed",
          "get extension list by extension point id failed, because of "
          "extension vector empty"}},
        {"ep.web",  // an in-process class that is no extension
         {"create extension instance from registry failed, because of query "
          "base interface failed",
          "get extension list by extension point id failed, because of "
          "extension vector empty"}},
        {"ep.unknown",
         {"get extension list by extension point id:ep.unknown",
          "get extension list by extension point id failed, because of "
          "extension infos are not founded"}},
    };
    test::TestComponentCreator components;
    ASSERT_TRUE(manager()->RegisterExtension(components.Function(),
                                             kUnknownClsid, false));
    for (const Case& c : cases) {
      SCOPED_TRACE(c.point);
      ClearLog();
      // Only what this call appends counts as success.
      std::vector<void*> instances = {this};
      EXPECT_FALSE(manager()->GetExtensionList(c.point, instances));
      EXPECT_EQ(instances, std::vector<void*>{this});
      const Texts texts = ManagerTexts();
      ASSERT_GE(texts.size(), 2u);
      EXPECT_EQ(Texts(texts.end() - 2, texts.end()), c.last_messages);

      void* instance = this;
      EXPECT_FALSE(manager()->GetExtension(c.point, &instance));
      EXPECT_EQ(instance, nullptr);
      EXPECT_EQ(ManagerTexts().back(),
                "get extension by extension point id failed, because of get "
                "extension list failed");
    }
    EXPECT_TRUE(manager()->unRegisterExtension(kUnknownClsid));
    EXPECT_EQ(components.counters().alive(), 0);
  });
}

TEST_F(ZQExtensionManagerImplTest, AFailedTargetQueryLeaksNothingItStored) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    Load();
    ASSERT_TRUE(manager()->RegisterExtension(
        [](const std::string&, const std::string&, void** ppv) {
          return by::CComObject<StoringQueryFailure>::CreateInstance2(
                     by::__uuid_s<IZQBaseExtension>::iid, ppv) == S_OK;
        },
        kInProcessClsid, false));
    for (bool throws : {false, true}) {
      SCOPED_TRACE(throws ? "throws" : "fails");
      StoringQueryFailure::throws = throws;
      ClearLog();
      std::vector<void*> instances;
      EXPECT_FALSE(manager()->GetExtensionList("ep.web", instances));
      EXPECT_TRUE(
          LogContains("extension manager impl - create extension "
                      "instance from registry failed, because of "
                      "query target interface failed"));
      EXPECT_EQ(StoringQueryFailure::live.load(), 0);
    }
    EXPECT_TRUE(manager()->unRegisterExtension(kInProcessClsid));
  });
}

TEST_F(ZQExtensionManagerImplTest, GetExtensionReleasesTheInstancesItKeeps) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    Load();
    void* instance = nullptr;
    ASSERT_TRUE(manager()->GetExtension("ep.many", &instance));
    EXPECT_EQ(AsProbe(instance)->LiveObjects(), 1);  // the other two are gone
    EXPECT_EQ(ContextOf(instance)->GetExtensionId(), "m1");
    AsProbe(instance)->Release();
    const Texts texts = ManagerTexts();
    EXPECT_EQ(Texts(texts.end() - 2, texts.end()),
              (Texts{"get extension list first item",
                     "get extension by extension point id success"}));
  });
}

// Classes that write QueryInterface, AddRef and Release themselves keep
// them under by::CComObject<T>, whichever route creates them, and a bundle
// keeps the interfaces its own QueryInterface answers.
TEST_F(ZQExtensionManagerImplTest, ClassesWritingTheirOwnQueryInterfaceWork) {
  const std::string iid = kTestExtensionProbeIidText;
  test::InstallationSandbox sandbox;
  sandbox.WriteAdapterMapping("{}");
  sandbox.WriteConfig(R"({"artifacts": ["hand", "handweb"]})");
  sandbox.CopyFile(PluginPath(kHandWrittenPluginFile),
                   "extensions/hand/lib/hand.so");
  sandbox.WriteManifest(
      "hand",
      R"({"id": "hand", "mainEntry": "lib/hand.so", "BundleClassId": ")" +
          std::string(kHandWrittenBundleClsidText) +
          R"(", "extensionPoints": [)" +
          PointJson(
              "ep.hand", iid,
              {ExtensionJson("lib", kHandWrittenExtensionClsidText, false),
               ExtensionJson("libsingle", kHandWrittenExtensionClsidText,
                             true)}) +
          "]}");
  sandbox.WriteManifest(
      "handweb",
      ManifestJson(
          "handweb", "",
          {PointJson("ep.handweb", iid,
                     {ExtensionJson("inproc", kInProcessClsid, false)})}));
  sandbox.Run([&] {
    Load();
    ASSERT_TRUE(manager()->RegisterExtension(
        [](const std::string& riid, const std::string&, void** ppv) {
          return by::CComObject<hand_written::HandWrittenExtension>::
                     CreateInstance2(S2GUIDA(riid.c_str(), true), ppv) == S_OK;
        },
        kInProcessClsid, false));
    for (const char* point : {"ep.hand", "ep.handweb"}) {
      SCOPED_TRACE(point);
      std::vector<void*> instances;
      ASSERT_TRUE(manager()->GetExtensionList(point, instances))
          << capture().Dump();
      for (void* instance : instances) {
        EXPECT_STREQ(AsProbe(instance)->ClassName(), "HandWrittenExtension");
        EXPECT_EQ(AsProbe(instance)->InitializationCalls(), 1);
      }
      EXPECT_EQ(instances.size(), point == std::string("ep.hand") ? 2u : 1u);
      ReleaseAll(instances);
    }
    EXPECT_TRUE(manager()->unRegisterExtension(kInProcessClsid));

    void* bundle = nullptr;
    ASSERT_TRUE(
        bundles_->GetBundleObject(kHandWrittenBundleClsidText, &bundle));
    by::com_ptr<ITestBundleProbe> probe(static_cast<by::IBaseUnknown*>(bundle));
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->InitializeCalls(), 1);
  });
}

TEST_F(ZQExtensionManagerImplTest, LoadReportsTheConfigurationsResult) {
  // Every library is broken, yet the configuration loads: true.
  test::InstallationSandbox broken;
  broken.WriteAdapterMapping("{}");
  broken.WriteConfig(R"({"artifacts": ["probe"]})");
  broken.CopyFile(PluginPath(kNotALibraryFile), "extensions/probe/lib.so");
  broken.WriteManifest("probe", ManifestJson("probe", "lib.so", {}));
  broken.Run([&] {
    InstallKit();
    EXPECT_TRUE(manager()->Load());
    EXPECT_TRUE(LogContains(
        "Bundle Loader - load bundle failed, because of load com failed"));
  });
  // Without the mapping the configuration fails: false.
  test::InstallationSandbox unmapped;
  unmapped.WriteConfig(R"({"artifacts": []})");
  unmapped.Run([&] {
    InstallKit();
    EXPECT_FALSE(manager()->Load());
    EXPECT_TRUE(manager()->Unload());
  });
}

}  // namespace
}  // namespace zqextensionkit
