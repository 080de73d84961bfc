// `zqext doctor` on installations that work and on installations with one
// fault each: every fault is reported as a problem of the right file, with
// the reason the kit would skip, refuse or misread it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>

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
  bool library_is_fifo = false;  // A FIFO where the library belongs.
  // Non-zero: the installation lies this deep (see Installation).
  size_t executable_path_length = 0;
};

bool Build(const Package& package, Installation* installation) {
  bool ok = installation->ok() &&
            installation->WriteAdapterMapping(package.mapping) &&
            installation->WriteConfig(package.config);
  for (const auto& file : package.extra_files)
    ok = ok && installation->WriteFile(file.first, file.second);
  if (package.library_is_fifo) {
    const std::filesystem::path library = installation->dir() / kLibrary;
    std::error_code error;
    std::filesystem::create_directories(library.parent_path(), error);
    ok = ok && mkfifo(library.c_str(), 0600) == 0;
  }
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

// Runs the doctor (with `options` and the environment entries `env`, and
// started with the shell's `redirections` when they are given) on an
// installation of `package`, expecting exit status 1.
ProgramRun Diagnose(const Package& package,
                    const std::vector<std::string>& options,
                    const std::vector<std::string>& env = {},
                    const std::string& redirections = "") {
  Installation installation(package.executable_path_length);
  EXPECT_TRUE(Build(package, &installation)) << installation.error();
  std::vector<std::string> args = {"doctor", "--json"};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(installation.dir().string());
  ProgramRun run;
  if (redirections.empty()) {
    run = RunZqext(args, env);
  } else {
    args.insert(args.begin(),
                {"-c", "exec \"$0\" \"$@\" " + redirections, ZQ_ZQEXT});
    run = RunProgram("/bin/sh", args, env);
  }
  EXPECT_EQ(1, run.status) << run.err;
  return run;
}

// Runs the doctor on an installation of `package`, and expects a problem of
// `file` whose message holds `message`, at `line` and `column` when they are
// given.
void ExpectProblem(const char* name,
                   const Package& package,
                   const std::string& file,
                   const std::string& message,
                   const std::vector<std::string>& options = {},
                   const std::vector<std::string>& env = {},
                   int line = 0,
                   int column = 0) {
  SCOPED_TRACE(name);
  const ProgramRun run = Diagnose(package, options, env);
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

// The manifest edits that make the package name the broken plug-in's classes.
std::vector<std::pair<std::string, std::string>> BrokenClasses(int mode) {
  return {{kGreetingBundleClsidText, BrokenPluginClsidText(mode, true)},
          {kGreeterClsidText, BrokenPluginClsidText(mode, false)}};
}

// Plug-in code that throws, and library files the kit would not hand to the
// dynamic loader, are reported as what the kit makes of them, not as a
// crash or a hang of the probe; the classes after a throw are still tried.
// Whatever the library does, no process it starts outlives zqext.
TEST(ZqextDoctorTest, LibraryFaultsAreReportedAsTheKitHandlesThem) {
  const std::string bundle = BrokenPluginClsidText(kBrokenFactoriesThrow, true);
  const std::string extension =
      "extension greeting.formal (class " +
      BrokenPluginClsidText(kBrokenFactoriesThrow, false) + ")";
  std::string library;
  {
    std::ifstream in(
        std::filesystem::path(ZQ_TEST_PLUGIN_DIR) / kGreetingPluginFile,
        std::ios::binary);
    library.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_GT(library.size(), 4096u);
  const std::string unknown_class = "{00000000-1111-2222-3333-444444444444}";

  struct Case {
    const char* name;
    Package package;
    std::vector<std::string> options;
    std::vector<std::string> problems;  // Each one a problem of the manifest.
    std::string never;                  // In no finding.
    std::string redirections;           // Of zqext's descriptors, for sh.
    int seconds_at_most;                // Non-zero: zqext ends this soon.

    Case(const char* name,
         Package package,
         std::vector<std::string> options,
         std::vector<std::string> problems,
         std::string never,
         std::string redirections = "",
         int seconds_at_most = 0)
        : name(name),
          package(std::move(package)),
          options(std::move(options)),
          problems(std::move(problems)),
          never(std::move(never)),
          redirections(std::move(redirections)),
          seconds_at_most(seconds_at_most) {}
  };

  std::vector<Case> cases;
  Case c{"framework factory that throws", Package(), {}, {}, "crashed"};
  c.package.plugin = BrokenPluginFile(kBrokenLoadThrows);
  c.package.manifest_edits = BrokenClasses(kBrokenLoadThrows);
  c.problems = {
      "DllGetClassObject throws when asked for the framework class factory: "
      "the kit unloads the library again"};
  cases.push_back(c);
  c.name = "classes whose creation throws";
  c.package.plugin = BrokenPluginFile(kBrokenFactoriesThrow);
  c.package.manifest_edits = BrokenClasses(kBrokenFactoriesThrow);
  c.problems = {
      "creating the bundle class " + bundle +
          " throws: the kit keeps the library loaded without a "
          "bundle object",
      "creating " + extension + " throws: the extension manager skips it"};
  cases.push_back(c);
  c.name = "bundle whose Initialize throws";
  c.package.plugin = BrokenPluginFile(kBrokenBundleInitializeThrows);
  c.package.manifest_edits = BrokenClasses(kBrokenBundleInitializeThrows);
  c.problems = {"the bundle " +
                BrokenPluginClsidText(kBrokenBundleInitializeThrows, true) +
                " throws from Initialize(): the kit releases it"};
  cases.push_back(c);
  c.name = "factories that hand back no object";
  c.package.plugin = BrokenPluginFile(kBrokenNullObjects);
  c.package.manifest_edits = BrokenClasses(kBrokenNullObjects);
  c.problems = {"is not created for IZQEBundle (S_OK without an object)",
                "is not created for IZQBaseExtension (S_OK without an "
                "object)"};
  cases.push_back(c);
  c = Case{"library cut short", Package(), {}, {}, "crashed"};
  c.package.plugin.clear();
  c.package.extra_files = {{kLibrary, library.substr(0, 4096)}};
  c.problems = {
      "the entry library lib/greeting.so is cut short (a loadable "
      "segment lies beyond its end): the kit refuses to load it "
      "(not probed)"};
  cases.push_back(c);
  c = Case{"FIFO as the library", Package(), {"--timeout", "2"}, {}, "within"};
  c.package.plugin.clear();
  c.package.library_is_fifo = true;
  c.problems = {"the entry library lib/greeting.so cannot be read"};
  cases.push_back(c);
  // The digest is still checked when the path is too long to probe.
  c = Case{"path longer than the loader takes", Package(), {}, {}, "created"};
  c.package.executable_path_length = 300;
  c.package.manifest_edits = {{"@MD5@", "0123456789abcdef0123456789abcdef"}};
  c.problems = {
      " bytes long; the loader takes at most 259, so a host that "
      "does not verify libraries refuses it (not probed)",
      "the manifest records 0123456789abcdef"};
  cases.push_back(c);
  c = Case{"library that closes the probe's pipe and hangs",
           Package(),
           {"--timeout", "0.5"},
           {},
           "crashed"};
  c.package.plugin = kMisbehavingPluginFile;
  c.package.manifest_edits = {
      {kGreetingBundleClsidText, kClosingHangingBundleClsidText},
      {kGreeterClsidText, kCrashingExtensionClsidText}};
  c.problems = {"the library did not finish initialising the bundle " +
                std::string(kClosingHangingBundleClsidText) + " within 0.5 s"};
  cases.push_back(c);
  // The crash is seen when it happens, long before the time limit, though
  // the process left behind holds the probe's pipe open.
  c = Case{"library that starts a process and crashes",
           Package(),
           {"--timeout", "20"},
           {"the library crashed while creating extension greeting.formal"},
           "within",
           "",
           10};
  c.package.plugin = kMisbehavingPluginFile;
  c.package.manifest_edits = {
      {kGreetingBundleClsidText, kForkingBundleClsidText},
      {kGreeterClsidText, kCrashingExtensionClsidText}};
  cases.push_back(c);
  c = Case{"library that starts a process in a session of its own",
           Package(),
           {},
           {"is not created for IZQBaseExtension"},
           "crashed"};
  c.package.plugin = kMisbehavingPluginFile;
  c.package.manifest_edits = {
      {kGreetingBundleClsidText, kSessionLeavingBundleClsidText},
      {kGreeterClsidText, unknown_class}};
  cases.push_back(c);
  c = Case{"zqext started with standard input and error closed",
           Package(),
           {},
           {"is not created for IZQBaseExtension"},
           "the probe ended",
           "0<&- 2>&-"};
  c.package.manifest_edits = {{kGreeterClsidText, unknown_class}};
  cases.push_back(c);

  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    // Every process that inherits `witness[1]` holds it open: the read end
    // sees its end only when all of them have ended.
    int witness[2];
    ASSERT_EQ(0, pipe2(witness, O_CLOEXEC));
    fcntl(witness[1], F_SETFD, 0);
    const auto start = std::chrono::steady_clock::now();
    const ProgramRun run =
        Diagnose(test.package, test.options, {}, test.redirections);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - start);
    close(witness[1]);
    if (test.seconds_at_most != 0) {
      EXPECT_LE(seconds.count(), test.seconds_at_most);
    }
    // Bounded, not a sleep: the answer comes as soon as the last holder ends.
    pollfd end = {witness[0], POLLIN, 0};
    char byte;
    EXPECT_TRUE(poll(&end, 1, 10 * 1000) == 1 &&
                read(witness[0], &byte, 1) == 0)
        << "a process of the library lives on";
    close(witness[0]);
    const std::vector<Finding> findings = Findings(run.out);
    for (const std::string& problem : test.problems) {
      EXPECT_TRUE(std::any_of(findings.begin(), findings.end(),
                              [&](const Finding& finding) {
                                return finding.severity == "problem" &&
                                       finding.file == kManifestFile &&
                                       finding.message.find(problem) !=
                                           std::string::npos;
                              }))
          << "no problem saying: " << problem << "\n"
          << run.out;
    }
    for (const Finding& finding : findings)
      EXPECT_EQ(std::string::npos, finding.message.find(test.never))
          << finding.message;
  }
}

// A process the library starts is stopped with the probe: it neither
// outlives zqext nor keeps it waiting for the pipe it inherited.
TEST(ZqextDoctorTest, ProcessesTheLibraryStartsDoNotOutliveTheProbe) {
  // Every process that inherits `witness[1]` holds it open: the read end
  // sees its end only when all of them have ended.
  int witness[2];
  ASSERT_EQ(0, pipe(witness));
  fcntl(witness[0], F_SETFD, FD_CLOEXEC);
  Package package;
  package.plugin = kMisbehavingPluginFile;
  package.manifest_edits = {
      {kGreetingBundleClsidText, kForkingBundleClsidText},
      {"\"clsid\": \"" + std::string(kGreeterClsidText) + "\",", ""}};
  Installation installation;
  ASSERT_TRUE(Build(package, &installation)) << installation.error();
  const ProgramRun run =
      RunZqext({"doctor", "--timeout", "60", installation.dir().string()});
  close(witness[1]);
  EXPECT_NE(
      std::string::npos,
      run.out.find("bundle class " + std::string(kForkingBundleClsidText) +
                   " created and initialised"))
      << run.out;
  // Bounded, not a sleep: the answer comes as soon as the last holder ends.
  pollfd end = {witness[0], POLLIN, 0};
  ASSERT_EQ(1, poll(&end, 1, 30 * 1000)) << "a process of the library lives on";
  char byte;
  EXPECT_EQ(0, read(witness[0], &byte, 1));
  close(witness[0]);
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
