// `zqext doctor` on installations that work and on installations with one
// fault each: every fault is reported as a problem of the right file, with
// the reason the kit would skip, refuse or misread it.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ZQExtensionKit/security/ZQEUtility.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/ConfigCipher.h"
#include "tests/support/Installation.h"
#include "tests/tools/ZqextTestSupport.h"

namespace zqextensionkit {
namespace test {
namespace {

constexpr char kManifestFile[] = "extensions/greeting/manifest.json";
constexpr char kLibrary[] = "extensions/greeting/lib/greeting.so";

// The greeting test plug-in's package, with "@MD5@" standing for the
// digest of whatever library the installation holds.
const std::string kManifest = std::string(R"({
  "id": "com.example.greeting",
  "version": "1.0.0",
  "foundationVersion": "1.0",
  "mainEntry": "lib/greeting.so",
  "libFileMD5": "@MD5@",
  "BundleClassId": ")") + kGreetingBundleClsidText +
                              R"(",
  "extensionPoints": [{
    "id": "greeting",
    "iid": "{20978722-4375-4D5E-A6F5-A872BF7CC9F2}",
    "extensions": [{
      "id": "greeting.formal",
      "clsid": ")" + kGreeterClsidText +
                              R"(",
      "isSingleton": false,
      "payloads": {"salutation": "Good morning"}
    }]
  }]
})";

std::string Replaced(
    std::string text,
    const std::vector<std::pair<std::string, std::string>>& edits) {
  for (const auto& edit : edits) {
    const size_t at = text.find(edit.first);
    EXPECT_NE(std::string::npos, at) << "no " << edit.first << " in " << text;
    if (at != std::string::npos)
      text.replace(at, edit.first.size(), edit.second);
  }
  return text;
}

// One installation: the greeting package, changed as a test case says.
struct Package {
  std::string mapping = "{}";
  std::string config = R"({"artifacts": ["greeting"]})";
  std::vector<std::pair<std::string, std::string>> manifest_edits;
  std::string plugin = kGreetingPluginFile;  // In ZQ_TEST_PLUGIN_DIR.
  std::map<std::string, std::string> extra_files;
};

bool Build(const Package& package, Installation* installation) {
  bool ok = installation->ok() &&
            installation->WriteAdapterMapping(package.mapping) &&
            installation->WriteConfig(package.config);
  for (const auto& file : package.extra_files)
    ok = ok && installation->WriteFile(file.first, file.second);
  if (!package.plugin.empty()) {
    ok = ok && installation->CopyFile(
                   std::filesystem::path(ZQ_TEST_PLUGIN_DIR) / package.plugin,
                   kLibrary);
  }
  std::string md5;
  ZQEUtility_MD5_File_String((installation->dir() / kLibrary).string(), md5);
  std::string manifest = Replaced(kManifest, package.manifest_edits);
  const size_t digest = manifest.find("@MD5@");
  if (digest != std::string::npos)
    manifest.replace(digest, 5, md5);
  return ok && installation->WriteFile(kManifestFile, manifest);
}

struct Finding {
  std::string severity;
  std::string file;
  int line = 0;
  int column = 0;
  std::string message;
};

// The findings of a --json report.
std::vector<Finding> Findings(const std::string& json) {
  std::vector<Finding> findings;
  scoped_ptr<base::DictionaryValue> report =
      base::DictionaryValue::From(base::JSONReader::Read(json));
  const base::ListValue* list = nullptr;
  EXPECT_TRUE(report && report->GetList("findings", &list)) << json;
  if (!list)
    return findings;
  for (const auto& item : *list) {
    const base::DictionaryValue* dict = nullptr;
    Finding finding;
    if (item->GetAsDictionary(&dict) &&
        dict->GetString("severity", &finding.severity) &&
        dict->GetString("file", &finding.file) &&
        dict->GetString("message", &finding.message)) {
      dict->GetInteger("line", &finding.line);
      dict->GetInteger("column", &finding.column);
      findings.push_back(finding);
    }
  }
  return findings;
}

TEST(ZqextDoctorTest, AWorkingInstallationPasses) {
  Installation installation;
  ASSERT_TRUE(Build(Package(), &installation)) << installation.error();
  const std::string dir = installation.dir().string();

  ProgramRun run = RunZqext({"doctor", "--version", "3.2.0", dir});
  EXPECT_EQ(0, run.status) << run.out << run.err;
  EXPECT_EQ("", run.err);
  for (const char* line :
       {"Installation ", "extensions/greeting/manifest.json\n",
        "  ok       entry library lib/greeting.so: MD5 ",
        "bundle class {264C8F68-AA7E-471D-AF3C-B53234E1C93B} created and "
        "initialised",
        "extension greeting.formal (class "
        "{44C202A8-30DD-46E4-A034-0EFA4B460408}) is created and answers "
        "{20978722-4375-4D5E-A6F5-A872BF7CC9F2}",
        "No problems found ("}) {
    EXPECT_NE(std::string::npos, run.out.find(line)) << line << "\n" << run.out;
  }
  // The loader's trace lines (it prints them on standard output) stay out.
  EXPECT_EQ(std::string::npos, run.out.find("CComLoader->"));

  run = RunZqext({"doctor", "--json", dir});
  EXPECT_EQ(0, run.status) << run.out;
  scoped_ptr<base::DictionaryValue> report =
      base::DictionaryValue::From(base::JSONReader::Read(run.out));
  ASSERT_TRUE(report) << run.out;
  bool ok = false;
  int problems = -1;
  std::string installation_dir;
  EXPECT_TRUE(report->GetBoolean("ok", &ok) && ok);
  EXPECT_TRUE(report->GetInteger("problems", &problems));
  EXPECT_EQ(0, problems);
  EXPECT_TRUE(report->GetString("installation", &installation_dir));
  EXPECT_EQ(std::filesystem::canonical(dir).string(), installation_dir);
  EXPECT_FALSE(Findings(run.out).empty());
}

// Runs the doctor (with `options` and the environment entries `env`) on an
// installation of `package`, and expects a problem of `file` whose message
// holds `message`, at `line` and `column` when they are given.
void ExpectProblem(const char* name,
                   const Package& package,
                   const std::string& file,
                   const std::string& message,
                   const std::vector<std::string>& options = {},
                   const std::vector<std::string>& env = {},
                   int line = 0,
                   int column = 0) {
  SCOPED_TRACE(name);
  Installation installation;
  ASSERT_TRUE(Build(package, &installation)) << installation.error();
  std::vector<std::string> args = {"doctor", "--json"};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(installation.dir().string());
  const ProgramRun run = RunZqext(args, env);
  EXPECT_EQ(1, run.status) << run.err;
  bool found = false;
  for (const Finding& finding : Findings(run.out)) {
    if (finding.severity == "problem" && finding.file == file &&
        finding.message.find(message) != std::string::npos) {
      found = true;
      EXPECT_EQ(line, finding.line);
      EXPECT_EQ(column, finding.column);
    }
  }
  EXPECT_TRUE(found) << "no problem of " << file << " saying: " << message
                     << "\n"
                     << run.out;
}

TEST(ZqextDoctorTest, EachFaultIsAProblemOfItsFile) {
  const std::string mapping = "extension_adapter_mapping.json";
  const std::string config = "extensions/config.json";
  const std::string key = "ZQEXT_KEY=" + std::string(kTestSecKey);
  const std::string unknown_class = "{00000000-1111-2222-3333-444444444444}";
  const std::string adapter_entry =
      R"({"extensionPointId": "internal", "version": "1.0", "clsid": ")" +
      std::string(kGreeterClsidText) +
      R"(", "iid": "{20978722-4375-4D5E-A6F5-A872BF7CC9F2}"})";

  // Installation-wide files.
  Package p;
  p.mapping = "{\"greeting\": {\n  \"extensionPointId\": \"x\",\n}}";
  ExpectProblem("mapping with a trailing comma", p, mapping,
                "not valid JSON: Trailing comma not allowed.", {}, {}, 3, 1);
  p = Package();
  p.mapping = "{\"greeting\": " + adapter_entry + "}";
  ExpectProblem("adapter without its internal point", p, mapping,
                "adapter entry greeting targets the point internal, which no "
                "\"extension_adapter\" package declares");
  p.mapping = "{\"com.example.greeting\": " + adapter_entry + "}";
  ExpectProblem("adapter entry under a dotted key", p, mapping,
                "the member \"com.example.greeting\" holds a \".\"");
  p = Package();
  ExpectProblem("plain config.json read with a key", p, config,
                "does not decrypt with the given key (the kit says: "
                "configuration manager impl - decrypt configurations failed, "
                "becuase of base64 decode encrypted configs failed); the file "
                "is plain JSON",
                {}, {key});
  p.config = EncryptedConfig(p.config);
  ExpectProblem("encrypted config.json without a key", p, config,
                "probably encrypted: give its key");
  p.config = R"({"artifacts": ["greeting", "../greeting"],
                 "modules": [{"id": "talk", "configurations":
                   [{"key": "talk_allow_vanishing", "value": true}]}]})";
  ExpectProblem("artifact outside extensions/", p, config,
                "artifacts[1] \"../greeting\" leads outside extensions/");
  ExpectProblem("module setting that is not a string", p, config,
                "modules[0].configurations[0] has no string \"value\"");

  // The manifest.
  p = Package();
  p.manifest_edits = {{"@MD5@", "0123456789abcdef0123456789abcdef"}};
  ExpectProblem("library changed since its MD5 was recorded", p, kManifestFile,
                "the manifest records 0123456789abcdef");
  p.manifest_edits = {{"\"BundleClassId\"", "\"bundleClassId\""}};
  ExpectProblem("a key in the wrong case", p, kManifestFile,
                "the key \"bundleClassId\" is not read: keys are "
                "case-sensitive");
  p.manifest_edits = {{"\"payloads\"", R"("settingMap": {
      "host": "https://h5.example", "uri": "/a", "modalSize": "",
      "modalPosition": ""}, "payloads")"}};
  ExpectProblem("settingMap without openType", p, kManifestFile,
                "\"settingMap\" lacks the string(s) \"openType\": the kit "
                "ignores the whole map");
  p.manifest_edits = {{"\"1.0\"", "\"9.0\""}};
  ExpectProblem("package needs a newer foundation", p, kManifestFile,
                "needs foundation version 9.0, newer than 3.2.0",
                {"--version", "3.2.0"});
  p.manifest_edits = {
      {"\"isSingleton\": false,", ""},
      {"}]\n  }]", "}, {\"id\": \"greeting.casual\", \"clsid\": \"" +
                       std::string(kGreeterClsidText) + "\"}]\n  }]"}};
  ExpectProblem("singleton class shared by two extensions", p, kManifestFile,
                "extensions greeting.formal and greeting.casual share the "
                "singleton class");
  p = Package();
  p.config = R"({"artifacts": ["greeting", "other"]})";
  p.extra_files = {
      {"extensions/other/manifest.json",
       Replaced(kManifest, {{"\"com.example.greeting\"", "\"other\""},
                            {"\"lib/greeting.so\"", "\"\""}})}};
  ExpectProblem("extension id declared twice", p,
                "extensions/other/manifest.json",
                "extension greeting.formal of point greeting is declared "
                "again (first in extensions/greeting/manifest.json)");

  // The entry library.
  p = Package();
  p.manifest_edits = {{"\"lib/greeting.so\"", "\"../greeting.so\""}};
  ExpectProblem("entry library outside the package", p, kManifestFile,
                "\"mainEntry\" \"../greeting.so\" is not a path inside the "
                "package");
  p = Package();
  p.plugin.clear();
  ExpectProblem("entry library missing", p, kManifestFile,
                "the entry library lib/greeting.so is missing");
  p.plugin = kNotALibraryFile;
  ExpectProblem(
      "entry library that is no library", p, kManifestFile,
      "the library does not open: " +
          std::filesystem::canonical(std::filesystem::temp_directory_path())
              .string());
  p.plugin = kNoUnregisterPluginFile;
  ExpectProblem("library without an entry point", p, kManifestFile,
                "the library lacks the entry point(s) DllUnregisterServer: "
                "the kit refuses it");
  p.plugin = kNoFactoryPluginFile;
  ExpectProblem("library without a framework factory", p, kManifestFile,
                "DllGetClassObject hands out no framework class factory");
  p = Package();
  p.manifest_edits = {{kGreeterClsidText, unknown_class}};
  ExpectProblem("extension class the library lacks", p, kManifestFile,
                "extension greeting.formal (class " + unknown_class +
                    ") is not created for IZQBaseExtension");
  p.manifest_edits = {
      {"{20978722-4375-4D5E-A6F5-A872BF7CC9F2}", kTestPluginObjectIidText}};
  ExpectProblem("extension class without the point's interface", p,
                kManifestFile,
                "does not answer the point's interface " +
                    std::string(kTestPluginObjectIidText));
  p.manifest_edits = {{kGreetingBundleClsidText, unknown_class}};
  ExpectProblem("bundle class the library lacks", p, kManifestFile,
                "the bundle class " + unknown_class + " is not created");

  // Libraries that would take the host down are reported, not fatal.
  p.plugin = kMisbehavingPluginFile;
  p.manifest_edits = {{kGreeterClsidText, kCrashingExtensionClsidText},
                      {"\"BundleClassId\"", "\"unused\""}};
  ExpectProblem("library that crashes", p, kManifestFile,
                "the library crashed while creating extension greeting.formal");
  p.manifest_edits = {{kGreetingBundleClsidText, kHangingBundleClsidText}};
  ExpectProblem("library that hangs", p, kManifestFile,
                "the library did not finish initialising the bundle " +
                    std::string(kHangingBundleClsidText) + " within 0.5 s",
                {"--timeout", "0.5"});
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
