// Broken plug-in libraries, loaded through the whole kit the way a host
// loads them (InitSDK, Load, GetExtensionList) from one installation that
// also holds a working plug-in: every broken library fails with its
// documented message, nothing crashes, and the working plug-in is served as
// if the others were not there. Run with the MD5 switch off and on (then
// each library matches its manifest's digest, and the load goes through the
// descriptor that was hashed). In-process classes whose creator or
// initialisation throws are dropped the same way.

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "dlcom/comobject.h"
#include "dlcom/comsentry.h"
#include "dlcom/guidstring.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/BundleMessages.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

using test::kBundleFailed;
using test::kBundleSucceeded;
using test::kLoadComFailed;

constexpr char kNotCreated[] =
    "extension manager impl - create extension instance from dynamic library "
    "failed, because of create object instance failed";
constexpr char kNotInitialized[] =
    "extension manager impl - create extension instance from dynamic library "
    "failed, because of extension initialization failed";
constexpr char kNoPointInterface[] =
    "extension manager impl - create extension instance from dynamic library "
    "failed, because of query target interface failed";
constexpr char kListEmpty[] =
    "extension manager impl - get extension list by extension point id "
    "failed, because of extension vector empty";
// The point every package also contributes to; only working extensions
// answer it.
constexpr char kSharedPoint[] = "greeting";

std::string ReadPlugin(const std::string& file) {
  std::ifstream in(std::string(ZQ_TEST_PLUGIN_DIR) + "/" + file,
                   std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// `library` (a shared object) cut in the middle of its last loadable
// segment: its headers are intact, code or data the loader maps is missing.
std::string Truncated(const std::string& library) {
  Elf64_Ehdr header;
  std::memcpy(&header, library.data(), sizeof(header));
  size_t cut = 0;
  for (size_t i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr segment;
    std::memcpy(&segment,
                library.data() + header.e_phoff + i * header.e_phentsize,
                sizeof(segment));
    if (segment.p_type == PT_LOAD && segment.p_filesz > 1)
      cut = std::max<size_t>(cut, segment.p_offset + segment.p_filesz / 2);
  }
  return library.substr(0, cut);
}

struct BrokenCase {
  std::string package;
  std::string library;  // The bytes of its entry library.
  std::string bundle_clsid;
  std::string extension_clsid;
  // What loading it ends with, and why its extension is not created (empty
  // when it is).
  const char* load_outcome;
  const char* extension_failure;
};

std::vector<BrokenCase> Cases() {
  const auto broken = [](const char* package, int mode, const char* load,
                         const char* extension) {
    return BrokenCase{package,
                      ReadPlugin(BrokenPluginFile(mode)),
                      BrokenPluginClsidText(mode, true),
                      BrokenPluginClsidText(mode, false),
                      load,
                      extension};
  };
  // Libraries without classes of their own get ids nothing implements.
  const auto classless = [](const char* package, std::string library) {
    return BrokenCase{package,
                      std::move(library),
                      BrokenPluginClsidText(0, true),
                      BrokenPluginClsidText(0, false),
                      kLoadComFailed,
                      kNotCreated};
  };
  const std::string good = ReadPlugin(kGreetingPluginFile);
  return {
      classless("not-a-library", ReadPlugin(kNotALibraryFile)),
      classless("truncated", Truncated(good)),
      classless("empty", ""),
      broken("no-dllgetclassobject", kBrokenNoDllGetClassObject, kLoadComFailed,
             kNotCreated),
      broken("no-dllcanunloadnow", kBrokenNoDllCanUnloadNow, kLoadComFailed,
             kNotCreated),
      broken("no-dllregisterserver", kBrokenNoDllRegisterServer, kLoadComFailed,
             kNotCreated),
      classless("no-dllunregisterserver", ReadPlugin(kNoUnregisterPluginFile)),
      // The working plug-in, among the broken ones.
      {"greeting", good, kGreetingBundleClsidText, kGreeterClsidText,
       kBundleSucceeded, ""},
      classless("class-object-fails", ReadPlugin(kNoFactoryPluginFile)),
      broken("no-framework-factory", kBrokenNoFrameworkFactory, kLoadComFailed,
             kNotCreated),
      broken("load-throws", kBrokenLoadThrows, kLoadComFailed, kNotCreated),
      broken("no-class-factories", kBrokenNoClassFactories, kBundleFailed,
             kNotCreated),
      broken("null-objects", kBrokenNullObjects, kBundleFailed, kNotCreated),
      broken("factories-throw", kBrokenFactoriesThrow, kBundleFailed,
             kNotCreated),
      broken("bundle-initialize-throws", kBrokenBundleInitializeThrows,
             kBundleFailed, ""),
      broken("extension-initialization-throws",
             kBrokenExtensionInitializationThrows, kBundleSucceeded,
             kNotInitialized),
      broken("no-point-interface", kBrokenExtensionWithoutPointInterface,
             kBundleSucceeded, kNoPointInterface),
  };
}

std::string Manifest(const BrokenCase& c) {
  std::string md5;
  ZQEUtility_MD5_String(c.library, md5);
  const auto point = [&c](const std::string& id, const std::string& suffix) {
    return R"({"id": ")" + id + R"(", "iid": ")" + kGreetingIidText +
           R"(", "extensions": [{"id": ")" + c.package + suffix +
           R"(", "clsid": ")" + c.extension_clsid +
           R"(", "isSingleton": false}]})";
  };
  return R"({"id": ")" + c.package +
         R"(", "mainEntry": "lib/plugin.so", "libFileMD5": ")" + md5 +
         R"(", "BundleClassId": ")" + c.bundle_clsid +
         R"(", "extensionPoints": [)" + point("broken." + c.package, ".own") +
         ", " + point(kSharedPoint, ".shared") + "]}";
}

// The messages that end each library's load, in load order.
std::vector<std::string> LoadOutcomes(const test::LogCapture& log) {
  std::vector<std::string> outcomes;
  for (const std::string& text : log.texts()) {
    if (text.rfind("Bundle Loader - load bundle failed", 0) == 0 ||
        text.rfind("Bundle Loader - initialze bundle entry", 0) == 0) {
      outcomes.push_back(text);
    }
  }
  return outcomes;
}

class BrokenPluginsTest : public test::LogCaptureTest {};

TEST_F(BrokenPluginsTest, EachFailsAloneWithItsMessage) {
  const std::vector<BrokenCase> cases = Cases();
  for (bool verify : {false, true}) {
    test::InstallationSandbox sandbox;
    std::string artifacts;
    for (const BrokenCase& c : cases) {
      sandbox.WriteFile("extensions/" + c.package + "/lib/plugin.so",
                        c.library);
      sandbox.WriteManifest(c.package, Manifest(c));
      artifacts += (artifacts.empty() ? "\"" : ", \"") + c.package + "\"";
    }
    sandbox.WriteAdapterMapping("{}");
    sandbox.WriteConfig(R"({"artifacts": [)" + artifacts + "]}");

    sandbox.Run([&] {
      ZQExtensionKit::InitSDK();
      ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
      manager->SetLibFileVerifyEnable(verify);
      ASSERT_TRUE(manager->Load()) << capture().Dump();

      std::vector<std::string> expected_outcomes;
      size_t working = 0;
      for (const BrokenCase& c : cases) {
        expected_outcomes.push_back(c.load_outcome);
        working += std::string(c.extension_failure).empty();
      }
      EXPECT_EQ(expected_outcomes, LoadOutcomes(capture()));
      EXPECT_EQ(verify ? cases.size() : 0u,
                capture().Count("[SignVerify] Verify lib file md5 success."));

      for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.package);
        ClearLog();
        std::vector<void*> extensions;
        const bool listed =
            manager->GetExtensionList("broken." + c.package, extensions);
        if (std::string(c.extension_failure).empty()) {
          ASSERT_TRUE(listed) << capture().Dump();
          ASSERT_EQ(1u, extensions.size());
          static_cast<IGreeting*>(extensions[0])->Release();
        } else {
          EXPECT_FALSE(listed);
          EXPECT_TRUE(extensions.empty());
          EXPECT_TRUE(LogContains(c.extension_failure));
          EXPECT_TRUE(LogContains(kListEmpty));
        }
      }

      // The shared point lists the working extensions, in package order,
      // the good plug-in's among them, set up by its bundle.
      std::vector<void*> shared;
      ASSERT_TRUE(manager->GetExtensionList(kSharedPoint, shared));
      ASSERT_EQ(working, shared.size());
      std::vector<std::string> greetings;
      for (void* extension : shared) {
        by::com_ptr<IGreeting> greeting;
        greeting.attach(static_cast<IGreeting*>(extension));
        greetings.push_back(greeting->Greet("host"));
      }
      EXPECT_EQ((std::vector<std::string>{"Hello, host!", "Broken, host!"}),
                greetings);
    });
  }
}

// In-process classes, registered by the host.
class InProcessGreeter : public IGreeting, public ZQBaseExtension {
 public:
  BY_INTERFACES(IGreeting, IZQBaseExtension)
  HRESULT Initialization() override {
    if (throws_)
      throw std::runtime_error("initialisation failed");
    return S_OK;
  }
  std::string Greet(const std::string& name) override {
    return "Hi, " + name + "!";
  }
  bool throws_ = false;
};

InstanceCreateFunction InProcessCreator(bool initialization_throws) {
  return [initialization_throws](const std::string& iid, const std::string&,
                                 void** ppv) {
    by::CComObjectScopedPtr<InProcessGreeter> object;
    if (by::CComObject<InProcessGreeter>::CreateInstance(object.pp()) != S_OK)
      return false;
    object->throws_ = initialization_throws;
    return object->QueryInterface(S2GUIDA(iid.c_str(), true), ppv) == S_OK;
  };
}

TEST_F(BrokenPluginsTest, InProcessClassesThatThrowAreDroppedAlone) {
  constexpr char kThrowingCreator[] = "{C0C0C0C0-0000-4000-8000-000000000001}";
  constexpr char kThrowingInit[] = "{C0C0C0C0-0000-4000-8000-000000000002}";
  constexpr char kGood[] = "{C0C0C0C0-0000-4000-8000-000000000003}";
  test::InstallationSandbox sandbox;
  sandbox.WriteAdapterMapping("{}");
  sandbox.WriteConfig(R"({"artifacts": ["in-process"]})");
  std::string extensions;
  for (const char* clsid : {kThrowingCreator, kThrowingInit, kGood}) {
    extensions += std::string(extensions.empty() ? "" : ", ") + R"({"id": ")" +
                  clsid + R"(", "clsid": ")" + clsid +
                  R"(", "isSingleton": false})";
  }
  sandbox.WriteManifest("in-process",
                        R"({"id": "in-process", "extensionPoints": [
                             {"id": "in-process", "iid": ")" +
                            std::string(kGreetingIidText) +
                            R"(", "extensions": [)" + extensions + "]}]}");
  sandbox.Run([&] {
    ZQExtensionKit::InitSDK();
    ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
    ASSERT_TRUE(manager->RegisterExtension(
        [](const std::string&, const std::string&, void**) -> bool {
          throw std::runtime_error("creator failed");
        },
        kThrowingCreator, false));
    ASSERT_TRUE(manager->RegisterExtension(InProcessCreator(true),
                                           kThrowingInit, false));
    ASSERT_TRUE(
        manager->RegisterExtension(InProcessCreator(false), kGood, false));
    ASSERT_TRUE(manager->Load());

    std::vector<void*> extensions;
    ASSERT_TRUE(manager->GetExtensionList("in-process", extensions));
    ASSERT_EQ(1u, extensions.size());
    by::com_ptr<IGreeting> greeting;
    greeting.attach(static_cast<IGreeting*>(extensions[0]));
    EXPECT_EQ("Hi, host!", greeting->Greet("host"));
    EXPECT_TRUE(
        LogContains("object container impl - create object instance by "
                    "creator failed, because of instance creator execute "
                    "failed"));
    EXPECT_TRUE(
        LogContains("extension manager impl - create extension instance from "
                    "registry failed, because of create object instance "
                    "failed"));
    EXPECT_TRUE(
        LogContains("extension manager impl - create extension instance from "
                    "registry failed, because of extension initialization "
                    "failed"));
  });
}

}  // namespace
}  // namespace zqextensionkit
