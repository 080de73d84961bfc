// The start-up trace of a host's load and requests (InitSDK, the
// installation directory set, an encrypted config.json, the MD5 check on,
// Load, GetExtensionList): Load and its phases in order, one span per
// package with the outcome and reason the load report gives it, each
// library's verification, load, bundle and Initialize, each instance's
// creation, context and Initialization; written at UnInitialize; and
// tracing changes neither the log nor the results.

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/extension/internal/ZQExtensionManagerImpl.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "dlcom/comsentry.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/ConfigCipher.h"
#include "tests/support/GreetingPackages.h"
#include "tests/support/Installation.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TraceReader.h"

namespace zqextensionkit {
namespace {

std::string ReadPlugin(const std::string& file) {
  std::ifstream in(std::string(ZQ_TEST_PLUGIN_DIR) + "/" + file,
                   std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Four packages: "greeting" loads and serves the point "greeting";
// "tampered" has a library whose MD5 its manifest does not give; "absent"
// is listed but missing; "newer" needs a newer foundation version.
// config.json is encrypted with the test key.
void WriteInstallation(test::Installation* installation) {
  const std::string library = ReadPlugin(kGreetingPluginFile);
  std::string md5;
  ZQEUtility_MD5_String(library, md5);
  const auto manifest = [](const std::string& id, const std::string& md5) {
    return R"({"id": ")" + id +
           R"(", "mainEntry": "lib/plugin.so", "libFileMD5": ")" + md5 +
           R"(", "BundleClassId": ")" + kGreetingBundleClsidText +
           R"(", "extensionPoints": [{"id": ")" + id + R"(", "iid": ")" +
           kGreetingIidText + R"(", "extensions": [{"id": ")" + id +
           R"(.hello", "clsid": ")" + kGreeterClsidText +
           R"(", "isSingleton": false}]}]})";
  };
  installation->WriteAdapterMapping("{}");
  installation->WriteFile("extensions/greeting/lib/plugin.so", library);
  installation->WriteManifest("greeting", manifest("greeting", md5));
  installation->WriteFile("extensions/tampered/lib/plugin.so", library + "x");
  installation->WriteManifest("tampered", manifest("tampered", md5));
  installation->WriteManifest("newer",
                              R"({"id": "newer", "foundationVersion": "9.0"})");
  installation->WriteConfig(test::EncryptedConfig(
      R"({"artifacts": ["greeting", "tampered", "absent", "newer"]})"));
}

class StartupTraceTest : public test::LogCaptureTest {
 protected:
  void SetUp() override {
    test::LogCaptureTest::SetUp();
    ASSERT_TRUE(installation_.ok()) << installation_.error();
    WriteInstallation(&installation_);
    ZQExtensionKit::InitSDK();
  }
  void TearDown() override {
    ZQExtensionKit::SetTraceFile("");
    // The kit's own managers again, for the tests that follow.
    ZQExtensionKit::InitSDK();
    test::LogCaptureTest::TearDown();
  }

  // What a host does with fresh managers: the installation, the key, the
  // MD5 check, Load() and the greetings of the point "greeting"; and what
  // the kit logged meanwhile.
  struct Results {
    bool loaded = false;
    std::vector<std::string> greetings;
    std::string report;
    std::vector<test::CapturedMessage> log;
  };
  Results LoadAndGreet() {
    ZQEBundleManager::GetInstance()->Initialize(
        std::make_shared<ZQEBundleManagerImpl>());
    ZQEConfigurationManager::GetInstance()->Initialize(
        std::make_shared<ZQEConfigurationManagerImpl>());
    ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
    manager->Initialize(std::make_shared<ZQExtensionManagerImpl>());
    ClearLog();
    EXPECT_TRUE(manager->SetInstallationDir(dir()));
    manager->SetFoundationVersion("3.2");
    EXPECT_TRUE(manager->SetSecKey(test::kTestSecKey));
    manager->SetLibFileVerifyEnable(true);
    Results results;
    results.loaded = manager->Load();
    results.greetings = test::Greetings("greeting");
    results.report = manager->GetLoadReport();
    results.log = messages();
    return results;
  }

  std::string dir() const { return installation_.dir().string(); }
  std::string Package(const std::string& name) const {
    return (installation_.extensions_dir() / name).string();
  }

  test::Installation installation_;
  test::ScopedTempDir trace_dir_;
};

// The names of the spans `parent` holds directly, in order of start; hashes
// aside, which run on the pool's threads or, when the loading thread gets
// to a library first, on the loading thread.
std::vector<std::string> Children(const test::Trace& trace,
                                  const test::TraceSpan& parent) {
  std::vector<const test::TraceSpan*> children;
  for (const test::TraceSpan& span : trace.spans) {
    if (span.name != "hash" && trace.Parent(span) == &parent)
      children.push_back(&span);
  }
  std::stable_sort(children.begin(), children.end(),
                   [](const test::TraceSpan* a, const test::TraceSpan* b) {
                     return a->ts < b->ts;
                   });
  std::vector<std::string> names;
  for (const test::TraceSpan* child : children)
    names.push_back(child->name);
  return names;
}

// The one span named `name` whose argument `key` is `value`, or null.
const test::TraceSpan* Find(const test::Trace& trace,
                            const std::string& name,
                            const std::string& key,
                            const std::string& value) {
  const test::TraceSpan* found = nullptr;
  for (const test::TraceSpan* span : trace.Named(name)) {
    if (span->Arg(key) == value) {
      EXPECT_EQ(nullptr, found) << "two " << name << " spans of " << value;
      found = span;
    }
  }
  return found;
}

TEST_F(StartupTraceTest, LoadAndRequestsAreTracedStepByStep) {
  const std::string path = (trace_dir_.path() / "trace.json").string();
  ZQExtensionKit::SetTraceFile(path);
  const Results results = LoadAndGreet();
  ASSERT_TRUE(results.loaded) << capture().Dump();
  ASSERT_EQ(std::vector<std::string>{"Hello, Ann!"}, results.greetings);
  // UnInitialize writes what is buffered.
  ZQExtensionManager::GetInstance()->UnInitialize();

  const test::Trace trace = test::ReadTrace(path);
  ASSERT_TRUE(trace.parsed) << trace.error;
  EXPECT_EQ(std::vector<std::string>{}, test::TraceProblems(trace));

  ASSERT_EQ(1u, trace.Named("Load").size());
  const test::TraceSpan& load = *trace.Named("Load")[0];
  EXPECT_EQ("done", load.Arg("outcome"));
  EXPECT_EQ(dir(), load.Arg("installation"));
  EXPECT_EQ("1", load.Arg("loaded"));
  EXPECT_EQ("1", load.Arg("refused"));
  EXPECT_EQ("2", load.Arg("skipped"));
  EXPECT_EQ((std::vector<std::string>{"configuration", "libraries"}),
            Children(trace, load));
  const test::TraceSpan& configuration = *trace.Named("configuration").at(0);
  EXPECT_EQ(
      (std::vector<std::string>{"adapter mapping", "config.json", "manifests",
                                "version filter", "extensions and adapters"}),
      Children(trace, configuration));
  const test::TraceSpan& decryption = *trace.Named("decryption").at(0);
  EXPECT_EQ("config.json", trace.Parent(decryption)->name);
  EXPECT_EQ("encrypted", decryption.Arg("config"));
  EXPECT_EQ("1", trace.Named("version filter").at(0)->Arg("skipped"));

  // One manifest span per listed package, and one library span per package
  // the configuration kept, each with the report's outcome and reason.
  const struct {
    const char* package;
    const char* manifest_outcome;
    const char* manifest_reason;
    const char* library_outcome;
    const char* library_reason;
  } packages[] = {
      {"greeting", "done", "", "loaded", ""},
      {"tampered", "done", "", "refused", "md5"},
      {"absent", "skipped", "package-missing", nullptr, nullptr},
      {"newer", "done", "", "", ""},
  };
  for (const auto& p : packages) {
    SCOPED_TRACE(p.package);
    const test::TraceSpan* manifest =
        Find(trace, "manifest", "package", Package(p.package));
    ASSERT_NE(nullptr, manifest);
    EXPECT_EQ("manifests", trace.Parent(*manifest)->name);
    EXPECT_EQ(p.manifest_outcome, manifest->Arg("outcome"));
    EXPECT_EQ(p.manifest_reason, manifest->Arg("reason"));
    const test::TraceSpan* library =
        Find(trace, "library", "package", Package(p.package));
    if (!p.library_outcome) {
      EXPECT_EQ(nullptr, library);
      continue;
    }
    ASSERT_NE(nullptr, library);
    EXPECT_EQ("libraries", trace.Parent(*library)->name);
    EXPECT_EQ(p.library_outcome, library->Arg("outcome"));
    EXPECT_EQ(p.library_reason, library->Arg("reason"));
  }

  // The library that loads: verified, loaded, its bundle made and
  // initialised; each library was hashed once.
  const test::TraceSpan& greeting =
      *Find(trace, "library", "package", Package("greeting"));
  EXPECT_EQ((std::vector<std::string>{"verification", "LoadCom", "bundle"}),
            Children(trace, greeting));
  const test::TraceSpan& bundle = *trace.Named("bundle").at(0);
  EXPECT_EQ(kGreetingBundleClsidText, bundle.Arg("class"));
  EXPECT_EQ(std::vector<std::string>{"Initialize"}, Children(trace, bundle));
  EXPECT_EQ(2u, trace.Named("hash").size());
  const test::TraceSpan* hash =
      Find(trace, "hash", "library", Package("greeting") + "/lib/plugin.so");
  ASSERT_NE(nullptr, hash);
  EXPECT_EQ("done", hash->Arg("outcome"));

  // The request: one instance, created, filled and initialised.
  const test::TraceSpan* list =
      Find(trace, "GetExtensionList", "point", "greeting");
  ASSERT_NE(nullptr, list);
  EXPECT_EQ("1", list->Arg("instances"));
  EXPECT_EQ("done", list->Arg("outcome"));
  const test::TraceSpan* create =
      Find(trace, "create", "extension", "greeting.hello");
  ASSERT_NE(nullptr, create);
  EXPECT_EQ(list, trace.Parent(*create));
  EXPECT_EQ(kGreeterClsidText, create->Arg("class"));
  EXPECT_EQ("library", create->Arg("route"));
  EXPECT_EQ("done", create->Arg("outcome"));
  // Its context and Initialization() follow it back to back.
  EXPECT_EQ((std::vector<std::string>{"create", "context", "Initialization"}),
            Children(trace, *list));
  const test::TraceSpan& context = *trace.Named("context").at(0);
  const test::TraceSpan& initialization = *trace.Named("Initialization").at(0);
  EXPECT_EQ(create->ts + create->dur, context.ts);
  EXPECT_EQ(context.ts + context.dur, initialization.ts);
}

TEST_F(StartupTraceTest, TracingChangesNeitherLogNorResults) {
  const Results untraced = LoadAndGreet();
  ZQExtensionKit::SetTraceFile((trace_dir_.path() / "trace.json").string());
  const Results traced = LoadAndGreet();
  ZQExtensionKit::SetTraceFile("");

  ASSERT_FALSE(untraced.log.empty());
  EXPECT_EQ(untraced.log, traced.log);
  EXPECT_EQ(untraced.loaded, traced.loaded);
  EXPECT_EQ(untraced.greetings, traced.greetings);
  EXPECT_EQ(untraced.report, traced.report);
  EXPECT_FALSE(test::ReadTrace((trace_dir_.path() / "trace.json").string())
                   .spans.empty());
}

}  // namespace
}  // namespace zqextensionkit
