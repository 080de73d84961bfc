// Library verification at start-up: with the MD5 switch on, Load() hashes
// the entry libraries ahead of their loads on a few threads, and ends as the
// plain loop of LoadBundle() calls ends, whatever the bound on the threads:
// the same log line for line, the same libraries loaded, the same bundle
// objects. Each library that cannot be opened or verified fails alone. No
// library file is hashed twice, none is opened that the plain loop would
// not open, and no thread is left once Load() returns.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/extension/internal/ZQExtensionManagerImpl.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFileQueue.h"
#include "dlcom/comsentry.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/BundleMessages.h"
#include "tests/support/FileOpenWatch.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProcessState.h"

namespace zqextensionkit {
namespace {

using test::kBundleFailed;
using test::kBundleSucceeded;
using test::kHasBeenLoaded;
using test::kLoadComFailed;
using test::kPathRefused;
using test::kVerifyFailed;

namespace fs = std::filesystem;

constexpr char kCannotHash[] =
    "[SignVerify] Verify lib file md5 failed, because of generate lib file "
    "md5 failed.";

// What stands where a package's entry library belongs.
enum class Entry { kPlugin, kFifo, kDirectory, kNothing };

// One artifact of config.json's list, in order; a package listed twice has
// two rows.
struct Listed {
  const char* package;
  Entry entry;
  const char* plugin;  // Copied to lib/plugin.so for Entry::kPlugin.
  bool digest_matches;
  std::string bundle_clsid;
  const char* outcome;  // The message that ends its load.
  const char* main_entry = "lib/plugin.so";
  size_t padding = 0;  // Bytes appended to the plug-in.
};

std::vector<Listed> ListedArtifacts() {
  return {
      // Refused on every load, and slow to hash: while the first load waits
      // for it, the threads run ahead over the libraries behind it, which
      // the second load finds loaded.
      {"large", Entry::kPlugin, kGreetingPluginFile, false, "", kVerifyFailed,
       "lib/plugin.so", 4 << 20},
      {"probe-a", Entry::kPlugin, kBundleProbePluginFile, true,
       kProbeBundleClsidText, kBundleSucceeded},
      {"mismatch", Entry::kPlugin, kGreetingPluginFile, false,
       kGreetingBundleClsidText, kVerifyFailed},
      {"greeting", Entry::kPlugin, kGreetingPluginFile, true,
       kGreetingBundleClsidText, kBundleSucceeded},
      {"fifo", Entry::kFifo, nullptr, true, "", kVerifyFailed},
      {"directory", Entry::kDirectory, nullptr, true, "", kVerifyFailed},
      {"missing", Entry::kNothing, nullptr, true, "", kPathRefused},
      // An existing library, but outside the package: never opened.
      {"outside", Entry::kNothing, nullptr, true, "", kPathRefused,
       "../stray/lib/plugin.so"},
      {"not-a-library", Entry::kPlugin, kNotALibraryFile, true, "",
       kLoadComFailed},
      {"probe-a", Entry::kPlugin, kBundleProbePluginFile, true,
       kProbeBundleClsidText, kHasBeenLoaded},
      {"probe-b", Entry::kPlugin, kBundleProbePluginFile, true,
       kProbeBundleClsidText, kBundleSucceeded},
      {"unknown-class", Entry::kPlugin, kBundleProbePluginFile, true,
       kGreeterClsidText, kBundleFailed},
      // Fails again, from the file hashed for its first row.
      {"mismatch", Entry::kPlugin, kGreetingPluginFile, false,
       kGreetingBundleClsidText, kVerifyFailed},
  };
}

std::string PluginPath(const char* file) {
  return std::string(ZQ_TEST_PLUGIN_DIR) + "/" + file;
}

std::string Manifest(const Listed& a) {
  std::string md5 = "0123456789abcdef0123456789abcdef";
  if (a.plugin && a.digest_matches)
    ZQEUtility_MD5_File_String(PluginPath(a.plugin), md5);
  std::string points;
  if (a.bundle_clsid == kGreetingBundleClsidText) {
    points = R"({"id": "greeting", "iid": ")" + std::string(kGreetingIidText) +
             R"(", "extensions": [{"id": ")" + a.package +
             R"(.greeter", "clsid": ")" + kGreeterClsidText +
             R"(", "isSingleton": false}]})";
  }
  return R"({"id": ")" + std::string(a.package) + R"(", "mainEntry": ")" +
         a.main_entry + R"(", "libFileMD5": ")" + md5 +
         R"(", "BundleClassId": ")" + a.bundle_clsid +
         R"(", "extensionPoints": [)" + points + "]}";
}

// Writes every package of `artifacts`, the library "stray" that one of them
// names from outside its package, config.json and the mapping.
void WriteInstallation(test::InstallationSandbox* sandbox,
                       const std::vector<Listed>& artifacts) {
  std::set<std::string> written;
  std::string list;
  for (const Listed& a : artifacts) {
    list += std::string(list.empty() ? "\"" : ", \"") + a.package + "\"";
    if (!written.insert(a.package).second)
      continue;
    sandbox->WriteManifest(a.package, Manifest(a));
    const std::string library =
        "extensions/" + std::string(a.package) + "/lib/plugin.so";
    if (a.entry == Entry::kPlugin && a.padding == 0)
      sandbox->CopyFile(PluginPath(a.plugin), library);
    if (a.entry == Entry::kPlugin && a.padding > 0) {
      std::ifstream in(PluginPath(a.plugin), std::ios::binary);
      sandbox->WriteFile(library,
                         std::string(std::istreambuf_iterator<char>(in), {}) +
                             std::string(a.padding, '\0'));
    }
    if (sandbox->inside() || sandbox->dir().empty())
      continue;
    const fs::path path = sandbox->dir() / library;
    if (a.entry == Entry::kFifo) {
      fs::create_directories(path.parent_path());
      EXPECT_EQ(0, mkfifo(path.c_str(), 0600));
    } else if (a.entry == Entry::kDirectory) {
      fs::create_directories(path);
    }
  }
  sandbox->CopyFile(PluginPath(kBundleProbePluginFile),
                    "extensions/stray/lib/plugin.so");
  sandbox->WriteAdapterMapping("{}");
  sandbox->WriteConfig(R"({"artifacts": [)" + list + "]}");
}

// What one load left behind.
struct LoadRecord {
  std::vector<std::string> log;
  std::map<std::string, int> opens;  // By library file.
  std::map<std::string, bool> libraries_loaded;
  bool probe_bundle_kept = false;
  long probe_bundle_initialized = 0;
  bool greeting_bundle_kept = false;
  std::vector<std::string> greetings;
  std::map<std::string, int> opens_by_second_load;
};

// How one load is made: the reference is LoadBundle() of each artifact in
// turn, as Load() did before libraries were hashed ahead; the others are
// Load() with the threads bounded by `threads`.
struct Mode {
  const char* name;
  bool one_by_one;
  size_t threads;
};

class LibraryVerificationTest : public test::LogCaptureTest {
 protected:
  // Loads the installation around this executable the way `mode` says,
  // into a bundle manager of its own, and records what it did; then loads
  // it a second time into the same manager and records the opens.
  LoadRecord LoadOnce(const Mode& mode,
                      const std::vector<std::string>& library_dirs,
                      const std::vector<std::string>& libraries) {
    ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
    ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
    auto bundles = std::make_shared<ZQEBundleManagerImpl>();
    ZQEBundleManager::GetInstance()->Initialize(bundles);
    manager->SetLibFileVerifyThreads(mode.threads);

    LoadRecord record;
    {
      test::FileOpenWatch watch(library_dirs);
      EXPECT_TRUE(watch.ok());
      ClearLog();
      if (mode.one_by_one) {
        EXPECT_TRUE(config->LoadAllExtensionInfos());
        std::vector<Artifact*> artifacts;
        config->GetAllArtifacts(artifacts);
        for (Artifact* artifact : artifacts)
          ZQEBundleManager::GetInstance()->LoadBundle(artifact);
      } else {
        EXPECT_TRUE(manager->Load());
      }
      EXPECT_EQ(0u, test::ThreadsNamed(ZQEHashedFileQueue::kThreadName))
          << "every thread is joined";
      record.log = capture().texts();
      // Load() alone ends with its summary; the loads are compared without.
      record.log.erase(
          std::remove_if(record.log.begin(), record.log.end(),
                         [](const std::string& text) {
                           return text.rfind(
                                      "extension manager impl - load summary",
                                      0) == 0;
                         }),
          record.log.end());
      record.opens = watch.Opens();
    }

    for (const std::string& library : libraries) {
      CComLoader* loader = nullptr;
      record.libraries_loaded[library] =
          bundles->GetComLoader(library, &loader) && loader->IsLoaded();
    }
    void* object = nullptr;
    record.greeting_bundle_kept =
        bundles->GetBundleObject(kGreetingBundleClsidText, &object);
    if (bundles->GetBundleObject(kProbeBundleClsidText, &object)) {
      record.probe_bundle_kept = true;
      by::com_ptr<ITestBundleProbe> probe(
          static_cast<by::IBaseUnknown*>(object));
      record.probe_bundle_initialized = probe->InitializeCalls();
    }
    std::vector<void*> greeters;
    manager->GetExtensionList("greeting", greeters);
    for (void* instance : greeters) {
      by::com_ptr<IGreeting> greeter;
      greeter.attach(static_cast<IGreeting*>(instance));
      record.greetings.push_back(greeter->Greet("host"));
    }

    // Loading again: what loaded is not opened again.
    EXPECT_TRUE(manager->Unload());
    {
      test::FileOpenWatch watch(library_dirs);
      EXPECT_TRUE(manager->Load());
      record.opens_by_second_load = watch.Opens();
    }
    EXPECT_TRUE(manager->Unload());
    // The manager goes, and closes its libraries, before the next mode.
    ZQEBundleManager::GetInstance()->UnInitialize();
    return record;
  }
};

std::set<std::string> Files(const std::map<std::string, int>& opens) {
  std::set<std::string> files;
  for (const auto& [file, count] : opens)
    files.insert(file);
  return files;
}

// The message that ends each artifact's load, in load order.
std::vector<std::string> Outcomes(const std::vector<std::string>& log) {
  std::vector<std::string> outcomes;
  for (const std::string& text : log) {
    if (text.rfind("Bundle Loader - load bundle failed", 0) == 0 ||
        text.rfind("Bundle Loader - initialze bundle entry", 0) == 0 ||
        text == kHasBeenLoaded) {
      outcomes.push_back(text);
    }
  }
  return outcomes;
}

TEST_F(LibraryVerificationTest, HashingAheadLoadsAsTheLoopOfLoadBundles) {
  const std::vector<Listed> artifacts = ListedArtifacts();
  test::InstallationSandbox sandbox;
  WriteInstallation(&sandbox, artifacts);

  sandbox.Run([&] {
    const fs::path extensions = sandbox.extensions_dir();
    std::vector<std::string> library_dirs = {
        (extensions / "stray" / "lib").string()};
    std::vector<std::string> libraries;
    for (const Listed& a : artifacts) {
      const fs::path library = extensions / a.package / "lib" / "plugin.so";
      if (a.entry != Entry::kNothing &&
          std::find(libraries.begin(), libraries.end(), library.string()) ==
              libraries.end()) {
        library_dirs.push_back(library.parent_path().string());
        libraries.push_back(library.string());
      }
    }

    ZQExtensionKit::InitSDK();
    ZQExtensionManager::GetInstance()->SetLibFileVerifyEnable(true);
    const Mode modes[] = {
        {"LoadBundle one by one", true, 0},
        {"Load, one thread", false, 1},
        {"Load, one thread per core", false, 0},
        {"Load, two threads", false, 2},
    };
    std::vector<LoadRecord> records;
    for (const Mode& mode : modes) {
      SCOPED_TRACE(mode.name);
      records.push_back(LoadOnce(mode, library_dirs, libraries));
    }

    // Each library that cannot be opened or verified fails alone.
    const LoadRecord& reference = records[0];
    std::vector<std::string> expected_outcomes;
    for (const Listed& a : artifacts)
      expected_outcomes.push_back(a.outcome);
    EXPECT_EQ(expected_outcomes, Outcomes(reference.log));
    EXPECT_EQ(
        2, std::count(reference.log.begin(), reference.log.end(), kCannotHash));
    EXPECT_TRUE(reference.probe_bundle_kept);
    EXPECT_EQ(1, reference.probe_bundle_initialized);
    EXPECT_TRUE(reference.greeting_bundle_kept);
    EXPECT_EQ(std::vector<std::string>{"Hello, host!"}, reference.greetings);
    const std::string stray = library_dirs[0] + "/plugin.so";
    const std::string mismatch =
        (extensions / "mismatch" / "lib" / "plugin.so").string();
    EXPECT_EQ(0u, reference.opens.count(stray));
    EXPECT_EQ(2, reference.opens.at(mismatch)) << "hashed for each row";

    for (size_t i = 1; i < records.size(); ++i) {
      SCOPED_TRACE(modes[i].name);
      const LoadRecord& record = records[i];
      EXPECT_EQ(reference.log, record.log);
      EXPECT_EQ(reference.libraries_loaded, record.libraries_loaded);
      EXPECT_EQ(reference.probe_bundle_kept, record.probe_bundle_kept);
      EXPECT_EQ(reference.probe_bundle_initialized,
                record.probe_bundle_initialized);
      EXPECT_EQ(reference.greeting_bundle_kept, record.greeting_bundle_kept);
      EXPECT_EQ(reference.greetings, record.greetings);
      // The same files opened; the library two rows name is hashed once.
      EXPECT_EQ(Files(reference.opens), Files(record.opens));
      EXPECT_EQ(1, record.opens.at(mismatch));
      EXPECT_EQ(Files(reference.opens_by_second_load),
                Files(record.opens_by_second_load));
    }
    for (const LoadRecord& record : records) {
      for (const auto& [library, loaded] : record.libraries_loaded) {
        if (loaded) {
          EXPECT_EQ(0u, record.opens_by_second_load.count(library)) << library;
        }
      }
    }
  });
}

TEST_F(LibraryVerificationTest, ThreadBoundIsKeptByTheImplementation) {
  ZQExtensionManager* facade = ZQExtensionManager::GetInstance();
  facade->UnInitialize();
  facade->SetLibFileVerifyThreads(3);
  EXPECT_EQ(0u, facade->GetLibFileVerifyThreads());
  EXPECT_EQ((std::vector<std::string>{
                "extension manager set lib file verify threads failed, "
                "because of extension manager impl is null",
                "extension manager get lib file verify threads failed, "
                "because of extension manager impl is null"}),
            capture().texts());

  facade->Initialize(std::make_shared<ZQExtensionManagerImpl>());
  EXPECT_EQ(0u, facade->GetLibFileVerifyThreads()) << "one per core at first";
  facade->SetLibFileVerifyThreads(3);
  EXPECT_EQ(3u, facade->GetLibFileVerifyThreads());
  facade->UnInitialize();
}

}  // namespace
}  // namespace zqextensionkit
