// Broken installations loaded the way a host loads them (InitSDK, the
// installation directory set, Load): for each, one message at the
// explanation level names the file by its full path and the reason, the
// load report says the same, and the packages that are not broken load and
// serve. Also: the summary that ends every load, and the report before any
// load.

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/extension/internal/ZQExtensionManagerImpl.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/ConfigCipher.h"
#include "tests/support/GreetingPackages.h"
#include "tests/support/Installation.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

constexpr int kExplanationLevel = 3;
constexpr char kOtherKey[] = "fedcba9876543210FEDCBA9876543210";
constexpr char kNoBundleClass[] = "{0BADC0DE-0000-4000-8000-000000000001}";

std::string ReadPlugin(const std::string& file) {
  std::ifstream in(std::string(ZQ_TEST_PLUGIN_DIR) + "/" + file,
                   std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Md5Of(const std::string& bytes) {
  std::string md5;
  ZQEUtility_MD5_String(bytes, md5);
  return md5;
}

// A package whose library is `library` at lib/plugin.so; its extension of
// point `point` is created by the greeting plug-in's class.
std::string Manifest(const std::string& id,
                     const std::string& point,
                     const std::string& top_level) {
  return R"({"id": ")" + id + R"(", "mainEntry": "lib/plugin.so")" + top_level +
         R"(, "extensionPoints": [{"id": ")" + point + R"(", "iid": ")" +
         kGreetingIidText + R"(", "extensions": [{"id": ")" + id +
         R"(.hello", "clsid": ")" + kGreeterClsidText +
         R"(", "isSingleton": false}]}]})";
}

// The installation every case starts from: one working package,
// "greeting", listed in a plain config.json.
class CaseInstallation {
 public:
  CaseInstallation() : greeting_(ReadPlugin(kGreetingPluginFile)) {
    EXPECT_TRUE(installation.ok()) << installation.error();
    installation.WriteAdapterMapping("{}");
    AddPackage("greeting", "greeting", greeting_,
               R"(, "foundationVersion": "1.0", "BundleClassId": ")" +
                   std::string(kGreetingBundleClsidText) + "\"");
  }

  // Adds package `name` to the installation and to config.json, with the
  // library bytes and manifest keys given; its point is "broken.<name>".
  void AddBroken(const std::string& name,
                 const std::string& library,
                 const std::string& top_level = "") {
    AddPackage(name, "broken." + name, library, top_level);
  }
  void AddPackage(const std::string& name,
                  const std::string& point,
                  const std::string& library,
                  const std::string& top_level) {
    installation.WriteFile("extensions/" + name + "/lib/plugin.so", library);
    installation.WriteManifest(
        name,
        Manifest(name, point,
                 R"(, "libFileMD5": ")" + Md5Of(library) + "\"" + top_level));
    List("\"" + name + "\"");
  }
  // Appends `entry` (JSON) to the "artifacts" list of config.json.
  void List(const std::string& entry) {
    artifacts_ += (artifacts_.empty() ? "" : ", ") + entry;
  }
  std::string ConfigText() const {
    return R"({"artifacts": [)" + artifacts_ + "]}";
  }
  const std::string& greeting_library() const { return greeting_; }
  std::string Path(const std::string& relative) const {
    return (installation.dir() / relative).string();
  }

  test::Installation installation;
  // What the case's host does: set no foundation version, set the key,
  // switch the MD5 check on. The config.json the case writes, if not the
  // plain list (null: leave it to the case).
  bool host_sets_version = true;
  bool key = false;
  bool verify = false;
  bool write_config = true;

 private:
  std::string greeting_;
  std::string artifacts_;
};

struct Case {
  const char* name;
  std::function<void(CaseInstallation&)> breaks;
  // What the explanation names: a file (relative to the installation) and a
  // fragment of its reason; the JSON position when the file does not parse.
  std::string file;
  std::string reason;
  int line;
  // The package the report marks (relative directory), with its outcome
  // and reason token; null for a step that concerns no package.
  const char* package;
  const char* outcome;
  const char* reason_token;
  // Whether the load succeeds, and the working package is served.
  bool loads;
};

// `library` (a shared object) cut in the middle of its last loadable
// segment.
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

std::vector<Case> Cases() {
  return {
      {"mapping missing",
       [](CaseInstallation& s) {
         std::filesystem::remove(s.installation.dir() /
                                 "extension_adapter_mapping.json");
       },
       "extension_adapter_mapping.json", " does not exist", 0, nullptr, "", "",
       false},
      {"mapping not JSON",
       [](CaseInstallation& s) {
         s.installation.WriteAdapterMapping("{\n  \"a\": 1,\n}");
       },
       "extension_adapter_mapping.json",
       " is not valid JSON: line 3, column 1, Trailing comma not allowed.", 3,
       nullptr, "", "", false},
      {"config.json missing",
       [](CaseInstallation& s) { s.write_config = false; },
       "extensions/config.json", " does not exist", 0, nullptr, "", "", false},
      {"config.json not JSON",
       [](CaseInstallation& s) {
         s.write_config = false;
         s.installation.WriteConfig("{\"artifacts\": [\"greeting\",\n]}");
       },
       "extensions/config.json",
       " is not valid JSON: line 2, column 1, Trailing comma not allowed.", 2,
       nullptr, "", "", false},
      {"plain config.json with a key set",
       [](CaseInstallation& s) { s.key = true; }, "extensions/config.json",
       " is not Base64 text: the file is plain JSON but a key is set", 0,
       nullptr, "", "", false},
      {"config.json encrypted with another key",
       [](CaseInstallation& s) {
         s.key = true;
         s.write_config = false;
         s.installation.WriteConfig(
             test::EncryptedConfig(s.ConfigText(), kOtherKey));
       },
       "extensions/config.json", "(wrong key?)", 0, nullptr, "", "", false},
      {"an entry that is no package name",
       [](CaseInstallation& s) { s.List("7"); }, "extensions/config.json",
       "artifacts[1] in ", 0, nullptr, "", "", true},
      {"listed package missing",
       [](CaseInstallation& s) { s.List("\"absent\""); }, "extensions/absent",
       " does not exist", 0, "extensions/absent", "skipped", "package-missing",
       true},
      {"manifest with a trailing comma",
       [](CaseInstallation& s) {
         s.List("\"comma\"");
         s.installation.WriteManifest("comma", "{\n  \"id\": \"comma\",\n}");
       },
       "extensions/comma/manifest.json",
       " is not valid JSON: line 3, column 1, Trailing comma not allowed.", 3,
       "extensions/comma", "skipped", "manifest-invalid", true},
      {"package needs a newer foundation version",
       [](CaseInstallation& s) {
         s.AddBroken("future", s.greeting_library(),
                     R"(, "foundationVersion": "9.1")");
       },
       "extensions/future/manifest.json",
       " needs foundation version 9.1, the host's is 3.2", 0,
       "extensions/future", "skipped", "foundation-version", true},
      {"host set no foundation version",
       [](CaseInstallation& s) {
         s.host_sets_version = false;
         // The working package needs none; this one needs 1.0.
         s.installation.WriteManifest(
             "greeting",
             Manifest("greeting", "greeting",
                      R"(, "libFileMD5": ")" + Md5Of(s.greeting_library()) +
                          R"(", "BundleClassId": ")" +
                          kGreetingBundleClsidText + "\""));
         s.AddBroken("versioned", s.greeting_library(),
                     R"(, "foundationVersion": "1.0")");
       },
       "extensions/versioned/manifest.json",
       " needs foundation version 1.0, the host's is not set", 0,
       "extensions/versioned", "skipped", "foundation-version", true},
      {"library MD5 differs",
       [](CaseInstallation& s) {
         s.verify = true;
         s.AddBroken("tampered", s.greeting_library() + "tail");
         s.installation.WriteFile("extensions/tampered/lib/plugin.so",
                                  s.greeting_library() + "other");
       },
       "extensions/tampered/lib/plugin.so",
       ", its manifest gives " +
           Md5Of(ReadPlugin(kGreetingPluginFile) + "tail"),
       0, "extensions/tampered", "refused", "md5", true},
      {"library cut short",
       [](CaseInstallation& s) {
         s.AddBroken("cut", Truncated(s.greeting_library()));
       },
       "extensions/cut/lib/plugin.so", " is not a loadable library", 0,
       "extensions/cut", "refused", "not-a-library", true},
      {"library that is no shared object",
       [](CaseInstallation& s) {
         s.AddBroken("text", ReadPlugin(kNotALibraryFile));
       },
       "extensions/text/lib/plugin.so", "invalid ELF header", 0,
       "extensions/text", "refused", "dynamic-loader", true},
      {"library without an entry point",
       [](CaseInstallation& s) {
         s.AddBroken("no-entry", ReadPlugin(kNoUnregisterPluginFile));
       },
       "extensions/no-entry/lib/plugin.so", " lacks an entry point: ", 0,
       "extensions/no-entry", "refused", "entry-point", true},
      {"library file missing",
       [](CaseInstallation& s) {
         s.AddBroken("gone", s.greeting_library());
         std::filesystem::remove(s.installation.extensions_dir() / "gone" /
                                 "lib" / "plugin.so");
       },
       "extensions/gone/lib/plugin.so", " does not exist", 0, "extensions/gone",
       "refused", "library-missing", true},
      {"entry library outside the package",
       [](CaseInstallation& s) {
         s.List("\"escape\"");
         s.installation.WriteManifest(
             "escape",
             R"({"id": "escape", "mainEntry": "../greeting/lib/plugin.so"})");
       },
       "extensions/escape/manifest.json", " is not a path inside the package",
       0, "extensions/escape", "refused", "library-missing", true},
      {"bundle class the library lacks",
       [](CaseInstallation& s) {
         s.AddBroken(
             "classless", s.greeting_library(),
             R"(, "BundleClassId": ")" + std::string(kNoBundleClass) + "\"");
       },
       "extensions/classless/lib/plugin.so",
       std::string(" does not make an object of the bundle class ") +
           kNoBundleClass,
       0, "extensions/classless", "loaded", "bundle-class", true},
  };
}

// The dictionary of `list` whose string `key` is `value`, or null.
const base::DictionaryValue* Find(const base::ListValue* list,
                                  const std::string& key,
                                  const std::string& value) {
  for (size_t i = 0; list && i < list->GetSize(); ++i) {
    const base::DictionaryValue* item = nullptr;
    std::string text;
    if (list->GetDictionary(i, &item) &&
        item->GetStringWithoutPathExpansion(key, &text) && text == value) {
      return item;
    }
  }
  return nullptr;
}

class LoadExplainsItselfTest : public test::LogCaptureTest {
 protected:
  // Started as a host starts the kit, with managers of its own, so that no
  // case sees what another loaded.
  ZQExtensionManager* StartKit() {
    ZQExtensionKit::InitSDK();
    ZQEBundleManager::GetInstance()->Initialize(
        std::make_shared<ZQEBundleManagerImpl>());
    ZQEConfigurationManager::GetInstance()->Initialize(
        std::make_shared<ZQEConfigurationManagerImpl>());
    ZQExtensionManager::GetInstance()->Initialize(
        std::make_shared<ZQExtensionManagerImpl>());
    return ZQExtensionManager::GetInstance();
  }

  void TearDown() override {
    // The kit's own managers again, for the tests that follow.
    ZQExtensionKit::InitSDK();
    LogCaptureTest::TearDown();
  }
};

TEST_F(LoadExplainsItselfTest, EachBrokenInstallationIsExplainedAndReported) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    CaseInstallation setup;
    c.breaks(setup);
    if (setup.write_config)
      setup.installation.WriteConfig(setup.ConfigText());
    const std::string dir = setup.installation.dir().string();

    ZQExtensionManager* manager = StartKit();
    ASSERT_TRUE(manager->SetInstallationDir(dir));
    if (setup.host_sets_version)
      manager->SetFoundationVersion("3.2");
    if (setup.key) {
      ASSERT_TRUE(manager->SetSecKey(test::kTestSecKey));
    }
    manager->SetLibFileVerifyEnable(setup.verify);
    ClearLog();
    EXPECT_EQ(c.loads, manager->Load());

    // One explanation names the file and the reason.
    const std::string file = setup.Path(c.file);
    std::string explanation;
    for (const std::string& text : capture().TextsAtLevel(kExplanationLevel)) {
      if (text.find(file) != std::string::npos &&
          text.find(c.reason) != std::string::npos) {
        EXPECT_EQ("", explanation) << "explained twice: " << text;
        explanation = text;
      }
    }
    ASSERT_NE("", explanation) << capture().Dump();
    EXPECT_NE(std::string::npos, explanation.find(", because of "));

    // The report says the same.
    const std::string json = manager->GetLoadReport();
    scoped_ptr<base::DictionaryValue> report =
        base::DictionaryValue::From(base::JSONReader::Read(json));
    ASSERT_TRUE(report) << json;
    std::string text;
    EXPECT_TRUE(report->GetString("installation", &text));
    EXPECT_EQ(dir, text);
    EXPECT_TRUE(report->GetString("load", &text));
    EXPECT_EQ(c.loads ? "succeeded" : "failed", text);
    const base::ListValue* findings = nullptr;
    ASSERT_TRUE(report->GetList("findings", &findings));
    const base::DictionaryValue* finding =
        Find(findings, "message", explanation);
    ASSERT_TRUE(finding) << json;
    EXPECT_TRUE(finding->GetString("file", &text));
    EXPECT_EQ(file, text);
    int line = 0;
    finding->GetInteger("line", &line);
    EXPECT_EQ(c.line, line);

    const base::ListValue* packages = nullptr;
    ASSERT_TRUE(report->GetList("packages", &packages));
    if (c.package) {
      const base::DictionaryValue* package =
          Find(packages, "path", setup.Path(c.package));
      ASSERT_TRUE(package) << json;
      EXPECT_TRUE(package->GetString("outcome", &text));
      EXPECT_EQ(c.outcome, text);
      EXPECT_TRUE(package->GetString("reason", &text));
      EXPECT_EQ(c.reason_token, text);
      EXPECT_TRUE(package->GetString("message", &text));
      EXPECT_EQ(explanation, text);
    }

    // The working package loads and serves as if nothing else were there.
    const base::DictionaryValue* greeting =
        Find(packages, "path", setup.Path("extensions/greeting"));
    if (c.loads) {
      ASSERT_TRUE(greeting) << json;
      EXPECT_TRUE(greeting->GetString("outcome", &text));
      EXPECT_EQ("loaded", text);
      EXPECT_EQ(std::vector<std::string>{"Hello, Ann!"},
                test::Greetings("greeting"));
    } else {
      EXPECT_EQ(nullptr, greeting);
    }
    // Every load ends with its summary, naming the installation.
    const std::vector<std::string> explanations =
        capture().TextsAtLevel(kExplanationLevel);
    ASSERT_FALSE(explanations.empty());
    EXPECT_EQ(0u, explanations.back().rfind(
                      "extension manager impl - load summary: ", 0));
    EXPECT_NE(std::string::npos,
              explanations.back().find("installation " + dir));
  }
}

// With lazy loading, the steps of each package's library are explained at
// the first request for one of its extensions, not by Load(): the same
// message, the same outcome and reason in the report, which showed the
// package as deferred until then.
TEST_F(LoadExplainsItselfTest, LazyLoadExplainsEachLibraryAtItsFirstUse) {
  for (const Case& c : Cases()) {
    const std::string outcome = c.outcome;
    if (!c.package || outcome == "skipped")
      continue;  // Explained by the configuration, lazily or not.
    SCOPED_TRACE(c.name);
    CaseInstallation setup;
    c.breaks(setup);
    setup.installation.WriteConfig(setup.ConfigText());
    const std::string file = setup.Path(c.file);
    const std::string dir = setup.Path(c.package);
    const std::string point =
        "broken." + std::filesystem::path(dir).filename().string();

    ZQExtensionManager* manager = StartKit();
    ASSERT_TRUE(manager->SetInstallationDir(setup.installation.dir().string()));
    manager->SetFoundationVersion("3.2");
    manager->SetLibFileVerifyEnable(setup.verify);
    manager->SetLazyLibraryLoading(true);
    ClearLog();
    ASSERT_TRUE(manager->Load());
    const auto explained = [&] {
      std::string explanation;
      for (const std::string& text :
           capture().TextsAtLevel(kExplanationLevel)) {
        if (text.find(file) != std::string::npos &&
            text.find(c.reason) != std::string::npos) {
          EXPECT_EQ("", explanation) << "explained twice: " << text;
          explanation = text;
        }
      }
      return explanation;
    };
    const auto package = [&] {
      scoped_ptr<base::DictionaryValue> report = base::DictionaryValue::From(
          base::JSONReader::Read(manager->GetLoadReport()));
      std::vector<std::string> fields;
      const base::ListValue* packages = nullptr;
      const base::DictionaryValue* found = nullptr;
      if (report && report->GetList("packages", &packages))
        found = Find(packages, "path", dir);
      for (const char* key : {"outcome", "reason", "message"}) {
        std::string text;
        if (found)
          found->GetString(key, &text);
        fields.push_back(text);
      }
      return fields;
    };
    EXPECT_EQ("", explained());
    EXPECT_EQ((std::vector<std::string>{"deferred", "", ""}), package());

    std::vector<void*> instances;
    manager->GetExtensionList(point, instances);
    for (void* instance : instances)
      static_cast<by::IBaseUnknown*>(instance)->Release();
    std::vector<std::shared_ptr<Extension>> records;
    if (!ZQEConfigurationManager::GetInstance()
             ->GetExtensionInfosByExntensionPointID(point, records)) {
      // No record of the package: no request reaches its library.
      EXPECT_EQ((std::vector<std::string>{"deferred", "", ""}), package());
      continue;
    }
    const std::string explanation = explained();
    ASSERT_NE("", explanation) << capture().Dump();
    EXPECT_EQ(
        (std::vector<std::string>{c.outcome, c.reason_token, explanation}),
        package());
    EXPECT_EQ(std::vector<std::string>{"Hello, Ann!"},
              test::Greetings("greeting"));
  }
}

TEST_F(LoadExplainsItselfTest, SummaryCountsAndReportBeforeAnyLoad) {
  CaseInstallation setup;
  setup.List("\"absent\"");
  setup.AddBroken("text", ReadPlugin(kNotALibraryFile));
  setup.AddBroken("second", setup.greeting_library());
  setup.installation.WriteConfig(setup.ConfigText());
  const std::string dir = setup.installation.dir().string();

  ZQExtensionManager* manager = StartKit();
  ASSERT_TRUE(manager->SetInstallationDir(dir));
  manager->SetFoundationVersion("3.2");
  // Before any load: a document that says so, naming the installation.
  scoped_ptr<base::DictionaryValue> before = base::DictionaryValue::From(
      base::JSONReader::Read(manager->GetLoadReport()));
  ASSERT_TRUE(before);
  std::string text;
  EXPECT_TRUE(before->GetString("load", &text));
  EXPECT_EQ("not run", text);
  EXPECT_TRUE(before->GetString("installation", &text));
  EXPECT_EQ(dir, text);

  ClearLog();
  ASSERT_TRUE(manager->Load());
  EXPECT_EQ(
      "extension manager impl - load summary: packages loaded 2, skipped 1, "
      "refused 1, libraries loaded 2, installation " +
          dir,
      capture().TextsAtLevel(kExplanationLevel).back());
  scoped_ptr<base::DictionaryValue> report = base::DictionaryValue::From(
      base::JSONReader::Read(manager->GetLoadReport()));
  ASSERT_TRUE(report);
  int count = 0;
  for (const auto& [key, expected] :
       std::vector<std::pair<std::string, int>>{{"packagesLoaded", 2},
                                                {"packagesSkipped", 1},
                                                {"packagesRefused", 1},
                                                {"librariesLoaded", 2},
                                                {"problems", 2},
                                                {"notes", 0}}) {
    EXPECT_TRUE(report->GetInteger(key, &count)) << key;
    EXPECT_EQ(expected, count) << key;
  }
  bool ok = true;
  EXPECT_TRUE(report->GetBoolean("ok", &ok));
  EXPECT_FALSE(ok);
  // A second load reports again, from scratch: the libraries are loaded
  // already and count as loaded, the same problems are found once.
  ASSERT_TRUE(manager->Unload());
  ASSERT_TRUE(manager->Load());
  report = base::DictionaryValue::From(
      base::JSONReader::Read(manager->GetLoadReport()));
  ASSERT_TRUE(report);
  EXPECT_TRUE(report->GetInteger("librariesLoaded", &count));
  EXPECT_EQ(2, count);
  EXPECT_TRUE(report->GetInteger("problems", &count));
  EXPECT_EQ(2, count);
}

}  // namespace
}  // namespace zqextensionkit
