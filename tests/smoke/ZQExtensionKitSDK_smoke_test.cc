// Links ZQExtensionKit.so the way a host does and includes only the umbrella
// header, so a declaration the kit forgets to export fails here at link time,
// and a type whose identity differs across the library boundary fails at run
// time.
#include "ZQExtensionKit/ZQExtensionKitSDK.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/plugins/TestPlugin.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/ScopedTempDir.h"

namespace {

using zqextensionkit::IZQELogger;
using zqextensionkit::ZQELogService;

class VectorLogger : public IZQELogger {
 public:
  explicit VectorLogger(std::vector<std::string>* sink) : sink_(sink) {}
  void LogMessage(int /*level*/, std::string message) override {
    sink_->push_back(std::move(message));
  }

 private:
  std::vector<std::string>* sink_;
};

class CountingObserver : public zqextensionkit::ZQNotificationObserver {
 public:
  void Observe(
      int /*type*/,
      const zqextensionkit::ZQNotificationSource& /*source*/,
      const zqextensionkit::ZQNotificationParameters& /*params*/) override {
    ++count;
  }
  int count = 0;
};

// A host's remote configuration source, delivering one access key.
class HostConfigSource : public zqextensionkit::IZQERemoteConfigDataSource {
 public:
  void FetchData(const FetchDataSuccess& onSuccess,
                 const FetchDataFailure& /*onFailure*/) override {
    onSuccess();
  }
  bool GetData(
      std::map<std::string,
               std::vector<std::shared_ptr<zqextensionkit::Extension>>>*
      /*config*/,
      std::vector<std::shared_ptr<zqextensionkit::ZQExtensionAuthInfo>>*
          authInfos) override {
    authInfos->push_back(std::make_shared<zqextensionkit::ZQExtensionAuthInfo>(
        "", "com.example.bundle", "key"));
    return true;
  }
  bool HasCache() override { return true; }
  bool LoadData() override { return true; }
};

constexpr char kNotificationClsid[] = "{45ED99D7-00C2-4082-98D8-5507D2AA3A0F}";
constexpr char kNotificationIid[] = "{B2F1A919-D15D-4C72-A8C3-2143E2176131}";

TEST(ZQExtensionKitSDKSmokeTest, HostUsesTheKitThroughTheSharedLibrary) {
  // The log service owns the logger for the rest of the process, so the sink
  // must outlive this test.
  static std::vector<std::string> messages;
  ASSERT_TRUE(ZQELogService::GetInstance()->RegisterLogger(
      new VectorLogger(&messages)));

  // Object container: a failure is reported through the host's logger.
  void* object = nullptr;
  EXPECT_FALSE(
      zqextensionkit::ZQEObjectContainer::GetInstance()->CreateObjectInstance(
          kNotificationIid, "", &object));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(0u, messages.back().rfind("[ZQExtensionKit] ", 0));

  // Services and the notification bus.
  auto* services = zqextensionkit::ZQServiceManager::GetInstance();
  services->Initialize(zqextensionkit::ZQServiceManagerCreator::Create());
  ASSERT_TRUE((services->RegisterService<zqextensionkit::ZQNotificationService,
                                         IZQNotificationService>(
      "NotificationService", kNotificationClsid, kNotificationIid, true)));
  CountingObserver observer;
  {
    zqextensionkit::ZQNotificationRegistrar registrar;
    registrar.Add(&observer, 7, IZQNotificationService::AllSources());
    IZQNotificationService* bus =
        services->GetService<IZQNotificationService>("NotificationService");
    ASSERT_NE(nullptr, bus);
    bus->Notify(7, IZQNotificationService::AllSources(),
                IZQNotificationService::NoParams());
    bus->Release();
  }
  EXPECT_EQ(1, observer.count);

  // Metadata, URL parsing, digests and base types.
  zqextensionkit::ZQEUrlParser* url =
      zqextensionkit::ZQEUrlParser::parseUrl("https://example.com/a?b=c#d");
  ASSERT_NE(nullptr, url);
  EXPECT_EQ("example.com", url->hostName);
  zqextensionkit::ZQEUrlParser::destroy(&url);
  std::string md5;
  ASSERT_TRUE(zqextensionkit::ZQEUtility_MD5_String("abc", md5));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", md5);
  auto root = base::JSONReader::Read(R"({"a": {"b": "1.2"}})");
  ASSERT_TRUE(root);
  std::string version;
  ASSERT_TRUE(static_cast<base::DictionaryValue*>(root.get())
                  ->GetString("a.b", &version));
  EXPECT_TRUE(base::Version("1.2.0") == base::Version(version));

  // Configuration manager: the facade, its creator and a host data source.
  auto* config = zqextensionkit::ZQEConfigurationManager::GetInstance();
  config->Initialize(zqextensionkit::ZQEConfigurationManagerCreator::Create());
  EXPECT_FALSE(config->SetSecKey("short"));
  EXPECT_NE(std::string::npos, messages.back().find("set sec key failed"));
  bool enabled = true;
  EXPECT_TRUE(
      config->IsModuleEnabled(zqextensionkit::kModuleCodeTalk, enabled));
  EXPECT_FALSE(enabled);
  config->SetRemoteConfigDataSource(std::make_shared<HostConfigSource>());
  bool fetched = false;
  config->FetchRemoteConfig(
      true, [&] { fetched = true; }, nullptr);
  EXPECT_TRUE(fetched);
  EXPECT_EQ("key", config->GetExtensionAccessKey("com.example.bundle"));
}

TEST(ZQExtensionKitSDKSmokeTest, PluginWrittenAgainstTheComponentModelLoads) {
  CComLoader loader;
  ASSERT_TRUE(loader.LoadCom(ZQ_TEST_PLUGIN_DIR "/zq_test_plugin_good.so"));
  by::com_ptr<ITestPluginObject> object;
  ASSERT_EQ(S_OK, loader.CreateInstance(CLSID_TestObjectA, nullptr, nullptr,
                                        by::__uuid_s<ITestPluginObject>::iid,
                                        object.vpp()));
  EXPECT_EQ(5, object->Add(2, 3));
  EXPECT_EQ(S2GUIDA("{5B0E2A71-3C4D-4E5F-8A9B-1C2D3E4F5A61}", true),
            CLSID_TestObjectA);
}

TEST(ZQExtensionKitSDKSmokeTest, BundleManagerLoadsAPluginBuiltOnTheBases) {
  // The plug-in links nothing of the kit: its bundle and extension bases are
  // compiled into it from the kit's headers.
  zqextensionkit::test::ScopedTempDir temp;
  const std::filesystem::path root = temp.path() / "greeting";
  std::filesystem::create_directories(root / "lib");
  std::filesystem::copy_file(ZQ_TEST_PLUGIN_DIR "/zq_test_plugin_greeting.so",
                             root / "lib" / "greeting.so");
  zqextensionkit::Artifact artifact(base::FilePath(root.string()));
  artifact.SetBinFilePath("lib/greeting.so");
  artifact.SetBundleClassId("{264C8F68-AA7E-471D-AF3C-B53234E1C93B}");

  // No extension manager is installed: both switches read off.
  EXPECT_FALSE(zqextensionkit::ZQExtensionManager::GetInstance()
                   ->GetLibFileVerifyEnable());

  auto* bundles = zqextensionkit::ZQEBundleManager::GetInstance();
  bundles->Initialize(zqextensionkit::ZQEBundleManagerCreator::Create());
  ASSERT_TRUE(bundles->LoadBundle(&artifact));
  CComLoader* loader = nullptr;
  ASSERT_TRUE(bundles->GetComLoader(
      artifact.GetRootPath().Append(artifact.GetBinFilePath()).value(),
      &loader));
  by::com_ptr<IGreeting> greeting;
  ASSERT_EQ(S_OK, loader->CreateInstance(CLSID_Greeter, nullptr, nullptr,
                                         by::__uuid_s<IGreeting>::iid,
                                         greeting.vpp()));
  EXPECT_EQ("Hello, Ann!", greeting->Greet("Ann")) << "the bundle ran";
}

// What a host does: start the kit, configure it, load the installation
// beside its executable (here the test executable, placed in a fresh
// installation) and get live extensions of a point.
TEST(ZQExtensionKitSDKSmokeTest, HostStartsTheKitAndGetsExtensions) {
  const std::string library = ZQ_TEST_PLUGIN_DIR "/zq_test_plugin_greeting.so";
  std::string md5;
  ASSERT_TRUE(zqextensionkit::ZQEUtility_MD5_File_String(library, md5));
  zqextensionkit::test::InstallationSandbox sandbox;
  sandbox.WriteAdapterMapping("{}");
  sandbox.WriteConfig(R"({"artifacts": ["greeting"]})");
  sandbox.CopyFile(library, "extensions/greeting/lib/greeting.so");
  sandbox.WriteManifest("greeting", R"({
    "id": "greeting", "foundationVersion": "1.0",
    "mainEntry": "lib/greeting.so", "libFileMD5": ")" +
                                        md5 + R"(",
    "BundleClassId": "{264C8F68-AA7E-471D-AF3C-B53234E1C93B}",
    "extensionPoints": [{
      "id": "com.example.greeting",
      "iid": "{20978722-4375-4D5E-A6F5-A872BF7CC9F2}",
      "extensions": [
        {"id": "hey", "clsid": "{44C202A8-30DD-46E4-A034-0EFA4B460408}",
         "payloads": {"salutation": "Hey"}},
        {"id": "plain", "clsid": "{44C202A8-30DD-46E4-A034-0EFA4B460408}",
         "isSingleton": false}]}]})");
  sandbox.Run([] {
    zqextensionkit::ZQExtensionKit::InitSDK();
    auto* extensions = zqextensionkit::ZQExtensionManager::GetInstance();
    extensions->SetFoundationVersion("1.2");
    extensions->SetLibFileVerifyEnable(true);
    ASSERT_TRUE(extensions->Load());

    std::vector<void*> greeters;
    ASSERT_TRUE(extensions->GetExtensionList("com.example.greeting", greeters));
    ASSERT_EQ(2u, greeters.size());
    EXPECT_EQ("Hey, Ann!", static_cast<IGreeting*>(greeters[0])->Greet("Ann"));
    EXPECT_EQ("Hello, Ann!",
              static_cast<IGreeting*>(greeters[1])->Greet("Ann"));
    for (void* greeter : greeters)
      static_cast<by::IBaseUnknown*>(greeter)->Release();

    IZQNotificationService* bus =
        zqextensionkit::ZQServiceManager::GetInstance()
            ->GetService<IZQNotificationService>("NotificationService");
    ASSERT_NE(nullptr, bus);
    bus->Release();
  });
}

// The loaded library, the header a host compiles against and the build (the
// project version CMake took from that header) name one version, and the
// number the header derives orders releases.
TEST(ZQExtensionKitSDKSmokeTest, LibraryHeaderAndBuildNameOneVersion) {
  const std::string from_parts =
      std::to_string(ZQEXTENSIONKIT_VERSION_MAJOR) + "." +
      std::to_string(ZQEXTENSIONKIT_VERSION_MINOR) + "." +
      std::to_string(ZQEXTENSIONKIT_VERSION_PATCH);
  EXPECT_EQ(from_parts, ZQEXTENSIONKIT_VERSION_STRING);
  EXPECT_EQ(std::string(zqextensionkit::ZQExtensionKit::GetSDKVersion()),
            ZQEXTENSIONKIT_VERSION_STRING);
  EXPECT_EQ(std::string(ZQ_PROJECT_VERSION), ZQEXTENSIONKIT_VERSION_STRING);
  static_assert(ZQEXTENSIONKIT_MAKE_VERSION(1, 2, 3) <
                    ZQEXTENSIONKIT_MAKE_VERSION(1, 10, 0) &&
                ZQEXTENSIONKIT_MAKE_VERSION(1, 999, 999) <
                    ZQEXTENSIONKIT_MAKE_VERSION(2, 0, 0));
  EXPECT_EQ(ZQEXTENSIONKIT_VERSION,
            ZQEXTENSIONKIT_MAKE_VERSION(ZQEXTENSIONKIT_VERSION_MAJOR,
                                        ZQEXTENSIONKIT_VERSION_MINOR,
                                        ZQEXTENSIONKIT_VERSION_PATCH));
}

}  // namespace
