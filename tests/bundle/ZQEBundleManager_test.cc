// The bundle manager: loading each artifact's plug-in library once, the
// verification switches, refusing entry libraries outside the package, the
// bundle objects and the order in which they and their libraries go away.

#include "ZQExtensionKit/bundle/ZQEBundleManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/bundle/ZQEBaseBundle.h"
#include "ZQExtensionKit/bundle/ZQEBundleManagerCreator.h"
#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "base/files/file_path.h"
#include "dlcom/comsentry.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/BundleMessages.h"
#include "tests/support/FakeExtensionManager.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProcessState.h"
#include "tests/support/ScopedTempDir.h"

namespace zqextensionkit {
namespace {

using test::kBundleFailed;
using test::kBundleSucceeded;
using test::kHasBeenLoaded;
using test::kLoadComFailed;
using test::kMd5Matched;
using test::kPathRefused;
using test::kVerifyFailed;

namespace fs = std::filesystem;

constexpr char kEntryLibrary[] = "lib/plugin.so";

std::string PluginPath(const char* file) {
  return std::string(ZQ_TEST_PLUGIN_DIR) + "/" + file;
}

using test::IsMapped;

// How often `action` wrote the loader's "CComLoader->LoadCom" trace line.
int LoadComCalls(const std::function<void()>& action) {
  testing::internal::CaptureStdout();
  action();
  const std::string out = testing::internal::GetCapturedStdout();
  int count = 0;
  for (size_t at = out.find("CComLoader->LoadCom\n"); at != std::string::npos;
       at = out.find("CComLoader->LoadCom\n", at + 1)) {
    ++count;
  }
  return count;
}

class ZQEBundleManagerTest : public test::LogCaptureTest {
 protected:
  void SetUp() override {
    test::LogCaptureTest::SetUp();
    manager_ = std::make_unique<ZQEBundleManagerImpl>();
  }
  void TearDown() override {
    manager_.reset();
    test::LogCaptureTest::TearDown();
  }

  // Writes the package directory `name` with `plugin_file` as its entry
  // library (lib/plugin.so) and returns the artifact describing it.
  std::unique_ptr<Artifact> MakePackage(
      const std::string& name,
      const char* plugin_file = kBundleProbePluginFile,
      const std::string& bundle_clsid = kProbeBundleClsidText) {
    const fs::path root = temp_.path() / name;
    fs::create_directories(root / "lib");
    CopyLibrary(plugin_file, root / kEntryLibrary);
    auto artifact = std::make_unique<Artifact>(base::FilePath(root.string()));
    artifact->SetBinFilePath(kEntryLibrary);
    artifact->SetBundleClassId(bundle_clsid);
    return artifact;
  }

  static void CopyLibrary(const char* plugin_file, const fs::path& to) {
    fs::copy_file(PluginPath(plugin_file), to,
                  fs::copy_options::overwrite_existing);
  }

  static std::string LibraryKey(const Artifact& artifact) {
    return artifact.GetRootPath().Append(artifact.GetBinFilePath()).value();
  }

  static std::string Md5Of(const std::string& file) {
    std::string md5;
    EXPECT_TRUE(ZQEUtility_MD5_File_String(file, md5));
    return md5;
  }

  // The bundle object cached under `clsid`, seen through the probe
  // interface (holding a reference: release it before the manager goes).
  by::com_ptr<ITestBundleProbe> CachedProbe(const std::string& clsid) {
    void* object = nullptr;
    if (!manager_->GetBundleObject(clsid, &object))
      return nullptr;
    return by::com_ptr<ITestBundleProbe>(
        static_cast<by::IBaseUnknown*>(object));
  }

  test::ScopedTempDir temp_;
  test::ScopedFakeExtensionManager extension_manager_;
  std::unique_ptr<ZQEBundleManagerImpl> manager_;
};

TEST_F(ZQEBundleManagerTest, LoadsALibraryOnceAndKeepsItsBundleObject) {
  auto artifact = MakePackage("probe");
  const std::string key = LibraryKey(*artifact);

  EXPECT_EQ(1, LoadComCalls(
                   [&] { EXPECT_TRUE(manager_->LoadBundle(artifact.get())); }));
  EXPECT_EQ(
      (std::vector<std::string>{
          "Bundle Loader - key:" + key + ", com loader is not exist",
          "Bundle Loader - key:" + key + ", com loader is not exist",
          "Bundle Loader - key:" + key + ", create com loader",
          "Bundle Loader - key:" + key + ", get com loader success",
          "Bundle Loader - class id:" + std::string(kProbeBundleClsidText) +
              ", set bundle object success",
          kBundleSucceeded}),
      capture().texts());

  ClearLog();
  EXPECT_EQ(0, LoadComCalls(
                   [&] { EXPECT_TRUE(manager_->LoadBundle(artifact.get())); }));
  EXPECT_EQ((std::vector<std::string>{
                "Bundle Loader - key:" + key + ", com loader is exist",
                kHasBeenLoaded}),
            capture().texts());

  by::com_ptr<ITestBundleProbe> probe = CachedProbe(kProbeBundleClsidText);
  ASSERT_TRUE(probe.ptr());
  EXPECT_EQ(1, probe->InitializeCalls()) << "initialised once, on creation";
  EXPECT_EQ(1, probe->LiveBundles());
}

TEST_F(ZQEBundleManagerTest, VerificationSwitches) {
  struct Case {
    const char* name;
    bool md5_switch;
    bool sign_switch;
    bool digest_matches;
    bool loads;
    std::vector<std::string> switches_read;
  };
  // With MD5 on, the load first asks which digests to compute in its one
  // pass over the file (the signature switch, and the keys when it is on),
  // then checks the MD5, and only behind a match the signature.
  const std::vector<std::string> md5_only = {"GetLibFileVerifyEnable"};
  const std::vector<std::string> digests = {"GetLibFileVerifyEnable",
                                            "GetSignVerifyEnable"};
  const std::vector<std::string> md5_checked = {
      "GetLibFileVerifyEnable", "GetSignVerifyEnable", "GetSignVerifyEnable"};
  const std::vector<std::string> digests_with_keys = {
      "GetLibFileVerifyEnable", "GetSignVerifyEnable", "GetTrustedSignKeys"};
  const std::vector<std::string> signature_checked = {
      "GetLibFileVerifyEnable", "GetSignVerifyEnable", "GetTrustedSignKeys",
      "GetSignVerifyEnable", "GetTrustedSignKeys"};
  const Case cases[] = {
      {"both off", false, false, false, true, md5_only},
      // The signature check sits behind the MD5 check: with MD5 off, the
      // signature switch is not even read.
      {"sign on alone", false, true, false, true, md5_only},
      {"md5 on, match", true, false, true, true, md5_checked},
      {"both on, match", true, true, true, true, signature_checked},
      {"md5 on, mismatch", true, false, false, false, digests},
      {"both on, mismatch", true, true, false, false, digests_with_keys},
  };
  int package = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto fake = std::make_shared<test::FakeExtensionManager>();
    fake->lib_file_verify = c.md5_switch;
    fake->sign_verify = c.sign_switch;
    ZQExtensionManager::GetInstance()->Initialize(fake);
    auto artifact = MakePackage("p" + std::to_string(package++));
    std::string md5 = Md5Of(LibraryKey(*artifact));
    if (!c.digest_matches)
      md5[0] = md5[0] == '0' ? '1' : '0';
    artifact->SetLibFileMD5(md5);
    ClearLog();

    EXPECT_EQ(c.loads, manager_->LoadBundle(artifact.get()));
    EXPECT_EQ(c.switches_read, fake->calls());
    EXPECT_EQ(c.md5_switch && c.digest_matches, LogContains(kMd5Matched));
    EXPECT_EQ(!c.loads, LogContains(kVerifyFailed));
  }
}

TEST_F(ZQEBundleManagerTest, RefusedDigestLeavesNoLoaderAndLoadsOnceItMatches) {
  extension_manager_->lib_file_verify = true;
  auto artifact = MakePackage("probe");
  const std::string key = LibraryKey(*artifact);
  const std::string md5 = Md5Of(key);
  // The comparison is exact: the same digest in upper case does not match.
  std::string upper = md5;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  artifact->SetLibFileMD5(upper);

  EXPECT_FALSE(manager_->LoadBundle(artifact.get()));
  EXPECT_FALSE(manager_->ComLoaderIsExist(key));
  EXPECT_FALSE(IsMapped(key));

  artifact->SetLibFileMD5(md5);
  EXPECT_TRUE(manager_->LoadBundle(artifact.get()));
  EXPECT_TRUE(IsMapped(key));
  EXPECT_TRUE(LogContains(kBundleSucceeded));
}

// Replaces the file at `path` with `replacement` (by rename, as an installer
// would) when the MD5 check has passed, between the check and the load.
class SwappingLogger : public IZQELogger {
 public:
  SwappingLogger(fs::path path, fs::path replacement)
      : path_(std::move(path)), replacement_(std::move(replacement)) {}
  void LogMessage(int, std::string message) override {
    if (message.find(kMd5Matched) != std::string::npos && !swapped_) {
      fs::rename(replacement_, path_);
      swapped_ = true;
    }
  }
  bool swapped() const { return swapped_; }

 private:
  fs::path path_;
  fs::path replacement_;
  bool swapped_ = false;
};

TEST_F(ZQEBundleManagerTest,
       VerifiedLibraryIsLoadedEvenIfSwappedAfterItsCheck) {
  extension_manager_->lib_file_verify = true;
  auto artifact = MakePackage("probe");
  const std::string key = LibraryKey(*artifact);
  artifact->SetLibFileMD5(Md5Of(key));
  const fs::path impostor = temp_.path() / "impostor.so";
  CopyLibrary(kGreetingPluginFile, impostor);
  auto* swapper = new SwappingLogger(key, impostor);
  ZQELogService::GetInstance()->RegisterLogger(swapper);

  EXPECT_TRUE(manager_->LoadBundle(artifact.get()));
  ASSERT_TRUE(swapper->swapped());
  // The checked library was loaded: its bundle class exists, and the file
  // now at the path was never opened by the dynamic loader.
  by::com_ptr<ITestBundleProbe> probe = CachedProbe(kProbeBundleClsidText);
  ASSERT_TRUE(probe.ptr());
  EXPECT_EQ(1, probe->InitializeCalls());
  EXPECT_FALSE(IsMapped(key));
  EXPECT_EQ(Md5Of(PluginPath(kGreetingPluginFile)), Md5Of(key));
}

TEST_F(ZQEBundleManagerTest, VerifiedLoadsOfSeveralLibrariesEachLoadTheirOwn) {
  // Each verified load opens its library under a descriptor that the one
  // before it has closed again, so the numbers repeat; the libraries must
  // not.
  extension_manager_->lib_file_verify = true;
  auto probe = MakePackage("probe");
  auto greeting =
      MakePackage("greeting", kGreetingPluginFile, kGreetingBundleClsidText);
  auto probe_again = MakePackage("probe-again");
  for (Artifact* artifact : {probe.get(), greeting.get(), probe_again.get()}) {
    artifact->SetLibFileMD5(Md5Of(LibraryKey(*artifact)));
    ClearLog();
    EXPECT_TRUE(manager_->LoadBundle(artifact));
    EXPECT_TRUE(LogContains(kBundleSucceeded)) << LibraryKey(*artifact);
    EXPECT_TRUE(IsMapped(LibraryKey(*artifact)));
  }
  void* bundle = nullptr;
  EXPECT_TRUE(manager_->GetBundleObject(kGreetingBundleClsidText, &bundle));
  by::com_ptr<ITestBundleProbe> first = CachedProbe(kProbeBundleClsidText);
  ASSERT_TRUE(first.ptr());
  EXPECT_EQ(1, first->LiveBundles())
      << "the copy in probe-again is a library of its own";
}

TEST_F(ZQEBundleManagerTest, OtherCodeLoadingThroughProcSelfFdGetsItsOwnFile) {
  // The usual way to load a library from a descriptor (a memory file, say)
  // is dlopen("/proc/self/fd/<n>"). After verified loads, whichever number
  // the descriptor has, that code must get its own library back, not a
  // plug-in the kit loaded through a descriptor of that number.
  extension_manager_->lib_file_verify = true;
  std::vector<std::unique_ptr<Artifact>> packages;
  for (int i = 0; i < 4; ++i) {
    packages.push_back(
        MakePackage("probe" + std::to_string(i), kBundleProbePluginFile, ""));
    packages.back()->SetLibFileMD5(Md5Of(LibraryKey(*packages.back())));
    ASSERT_TRUE(manager_->LoadBundle(packages.back().get()));
  }

  // The other code's library; dlopen() hands back this handle for any
  // name of the same file.
  const std::string own = PluginPath(kGreetingPluginFile);
  void* own_handle = dlopen(own.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, own_handle) << dlerror();
  const int own_fd = open(own.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(own_fd, 0);
  int numbers_tried = 0;
  for (int n = 0; n < 128; ++n) {
    if (fcntl(n, F_GETFD) != -1)
      continue;  // In use.
    ASSERT_EQ(n, fcntl(own_fd, F_DUPFD_CLOEXEC, n));
    void* handle = dlopen(("/proc/self/fd/" + std::to_string(n)).c_str(),
                          RTLD_NOW | RTLD_LOCAL);
    EXPECT_EQ(own_handle, handle) << "/proc/self/fd/" << n;
    if (handle)
      dlclose(handle);
    close(n);
    ++numbers_tried;
  }
  close(own_fd);
  dlclose(own_handle);
  EXPECT_GT(numbers_tried, 100);
}

TEST_F(ZQEBundleManagerTest, EntryLibraryMustBeAnExistingFileInsideThePackage) {
  // Hashing is on, so an entry that named the package directory itself would
  // show up as a hash attempt.
  extension_manager_->lib_file_verify = true;
  auto outside = MakePackage("outside");
  const std::string outside_library = LibraryKey(*outside);
  const char* refused[] = {
      "",                          // no "mainEntry": not the package directory
      "lib/missing.so",            // no such file
      "../outside/lib/plugin.so",  // an existing library in another package
      "lib/../lib/plugin.so",      // inside, but spelled with ".."
      outside_library.c_str(),     // absolute
  };
  int package = 0;
  for (const char* entry : refused) {
    SCOPED_TRACE(std::string("mainEntry: ") + entry);
    auto artifact = MakePackage("p" + std::to_string(package++));
    artifact->SetBinFilePath(entry);
    artifact->SetLibFileMD5(Md5Of(outside_library));
    ClearLog();

    EXPECT_FALSE(manager_->LoadBundle(artifact.get()));
    EXPECT_EQ(std::vector<std::string>{kPathRefused},
              capture().TextsNotAtLevel(3));
    EXPECT_EQ(std::vector<std::string>{}, extension_manager_->calls());
  }
  EXPECT_FALSE(IsMapped(outside_library));

  Artifact missing_root(base::FilePath((temp_.path() / "absent").string()));
  missing_root.SetBinFilePath(kEntryLibrary);
  ClearLog();
  EXPECT_FALSE(manager_->LoadBundle(&missing_root));
  EXPECT_EQ(std::vector<std::string>{"Bundle Loader - load bundle failed, "
                                     "because of root path not exist"},
            capture().TextsNotAtLevel(3));

  ClearLog();
  EXPECT_FALSE(manager_->LoadBundle(nullptr));
  EXPECT_EQ(std::vector<std::string>{"Bundle Loader - load bundle failed, "
                                     "because of artifact is null"},
            capture().texts());
}

TEST_F(ZQEBundleManagerTest,
       CachedLoaderCountsAsLoadedOnlyOnceItsLoadSucceeded) {
  // A loader that a lookup created before any load. It is never changed
  // (another thread may be using it): the load puts a loaded one in its
  // place.
  auto looked_up = MakePackage("looked-up");
  CComLoader* early = nullptr;
  ASSERT_TRUE(manager_->GetComLoader(LibraryKey(*looked_up), &early));
  ASSERT_FALSE(early->IsLoaded());
  EXPECT_EQ(1, LoadComCalls([&] {
              EXPECT_TRUE(manager_->LoadBundle(looked_up.get()));
            }));
  EXPECT_FALSE(early->IsLoaded());
  CComLoader* loader = nullptr;
  ASSERT_TRUE(manager_->GetComLoader(LibraryKey(*looked_up), &loader));
  EXPECT_TRUE(loader->IsLoaded());
  EXPECT_FALSE(LogContains(kHasBeenLoaded));
  EXPECT_TRUE(LogContains(kBundleSucceeded));

  // A loader whose load failed: the library is loaded on a later try.
  auto broken = MakePackage("broken", kNotALibraryFile);
  EXPECT_FALSE(manager_->LoadBundle(broken.get()));
  EXPECT_TRUE(LogContains(kLoadComFailed));
  EXPECT_TRUE(manager_->ComLoaderIsExist(LibraryKey(*broken)));
  CopyLibrary(kBundleProbePluginFile, LibraryKey(*broken));
  ClearLog();
  EXPECT_TRUE(manager_->LoadBundle(broken.get()));
  EXPECT_FALSE(LogContains(kHasBeenLoaded));
  EXPECT_TRUE(IsMapped(LibraryKey(*broken)));
}

TEST_F(ZQEBundleManagerTest, FifoInPlaceOfTheLibraryIsRefusedWithoutWaiting) {
  // The dynamic loader would wait for a writer for ever.
  auto artifact = MakePackage("fifo");
  const std::string key = LibraryKey(*artifact);
  fs::remove(key);
  ASSERT_EQ(0, mkfifo(key.c_str(), 0600));
  EXPECT_FALSE(manager_->LoadBundle(artifact.get()));
  EXPECT_TRUE(LogContains(kLoadComFailed));
}

TEST_F(ZQEBundleManagerTest, MissingOrUnknownBundleClassStillLoadsTheLibrary) {
  auto no_class = MakePackage("no-class", kBundleProbePluginFile, "");
  testing::internal::CaptureStdout();
  EXPECT_TRUE(manager_->LoadBundle(no_class.get()));
  const std::string traces = testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::string::npos, traces.find("pOFClassFactory->CreateInstance"))
      << "no bundle object is created";
  EXPECT_TRUE(IsMapped(LibraryKey(*no_class)));
  EXPECT_FALSE(capture().ContainsSubstring("initialze bundle entry"));

  auto unknown_class =
      MakePackage("unknown", kBundleProbePluginFile, kGreeterClsidText);
  ClearLog();
  EXPECT_TRUE(manager_->LoadBundle(unknown_class.get()));
  EXPECT_TRUE(LogContains(kBundleFailed));
  CComLoader* loader = nullptr;
  ASSERT_TRUE(manager_->GetComLoader(LibraryKey(*unknown_class), &loader));
  EXPECT_TRUE(loader->IsLoaded()) << "the library stays loaded";
}

TEST_F(ZQEBundleManagerTest, TwoArtifactsNamingOneBundleClassKeepTheFirst) {
  auto first = MakePackage("first");
  auto second = MakePackage("second");
  ASSERT_TRUE(manager_->LoadBundle(first.get()));
  ClearLog();
  ASSERT_TRUE(manager_->LoadBundle(second.get()));
  EXPECT_TRUE(LogContains(kBundleSucceeded));

  by::com_ptr<ITestBundleProbe> kept = CachedProbe(kProbeBundleClsidText);
  ASSERT_TRUE(kept.ptr());
  EXPECT_EQ(1, kept->LiveBundles()) << "the first library's bundle is kept";

  // The second library's bundle was initialised, then released: the only
  // bundle of that library alive now is the one made here.
  CComLoader* loader = nullptr;
  ASSERT_TRUE(manager_->GetComLoader(LibraryKey(*second), &loader));
  by::com_ptr<ITestBundleProbe> fresh;
  ASSERT_EQ(S_OK, loader->CreateInstance(CLSID_ProbeBundle, nullptr, nullptr,
                                         by::__uuid_s<ITestBundleProbe>::iid,
                                         fresh.vpp()));
  EXPECT_EQ(1, fresh->InitializeCalls());
  EXPECT_EQ(1, fresh->LiveBundles());
}

// Records whether the library was still loaded when a bundle was destroyed.
struct DestructionRecord {
  std::string library;
  int calls = 0;
  bool library_loaded = false;
};

void RecordDestruction(void* context) {
  auto* record = static_cast<DestructionRecord*>(context);
  ++record->calls;
  record->library_loaded = IsMapped(record->library);
}

TEST_F(ZQEBundleManagerTest, BundleObjectsAreReleasedBeforeTheirLibraries) {
  auto artifact = MakePackage("probe");
  ASSERT_TRUE(manager_->LoadBundle(artifact.get()));
  DestructionRecord record;
  record.library = LibraryKey(*artifact);
  {
    by::com_ptr<ITestBundleProbe> probe = CachedProbe(kProbeBundleClsidText);
    ASSERT_TRUE(probe.ptr());
    probe->SetDestructionHook(&RecordDestruction, &record);
  }
  manager_.reset();
  EXPECT_EQ(1, record.calls);
  EXPECT_TRUE(record.library_loaded);
  EXPECT_FALSE(IsMapped(record.library)) << "the loader closed it afterwards";
}

TEST_F(ZQEBundleManagerTest, LoaderCache) {
  CComLoader* loader = nullptr;
  EXPECT_FALSE(manager_->GetComLoader("", &loader));
  EXPECT_EQ(nullptr, loader);
  EXPECT_FALSE(manager_->ComLoaderIsExist(""));
  EXPECT_EQ((std::vector<std::string>{
                "Bundle Loader - key:, get com loader failed, because of key "
                "is empty",
                "Bundle Loader - query com loader is exist failed, because of "
                "key is empty"}),
            capture().texts());

  ClearLog();
  ASSERT_TRUE(manager_->GetComLoader("/pkg/lib.so", &loader));
  ASSERT_NE(nullptr, loader);
  EXPECT_FALSE(loader->IsLoaded()) << "a lookup never loads";
  CComLoader* again = nullptr;
  ASSERT_TRUE(manager_->GetComLoader("/pkg/lib.so", &again));
  EXPECT_EQ(loader, again);
  EXPECT_FALSE(manager_->ComLoaderIsExist("/PKG/lib.so"));
  EXPECT_EQ((std::vector<std::string>{
                "Bundle Loader - key:/pkg/lib.so, com loader is not exist",
                "Bundle Loader - key:/pkg/lib.so, create com loader",
                "Bundle Loader - key:/pkg/lib.so, get com loader success",
                "Bundle Loader - key:/pkg/lib.so, com loader is exist",
                "Bundle Loader - key:/pkg/lib.so, get com loader success",
                "Bundle Loader - key:/PKG/lib.so, com loader is not exist"}),
            capture().texts());
}

TEST_F(ZQEBundleManagerTest, BundleObjectCache) {
  by::CComObjectScopedPtr<ZQEBaseBundle> first;
  by::CComObjectScopedPtr<ZQEBaseBundle> second;
  ASSERT_EQ(S_OK, by::CComObject<ZQEBaseBundle>::CreateInstance(first.pp()));
  ASSERT_EQ(S_OK, by::CComObject<ZQEBaseBundle>::CreateInstance(second.pp()));
  IZQEBundle* first_bundle = first.ptr();

  void* out = &out;
  EXPECT_FALSE(manager_->SetBundleObject("", first_bundle));
  EXPECT_FALSE(manager_->SetBundleObject("{B}", nullptr));
  EXPECT_FALSE(manager_->GetBundleObject("", &out));
  EXPECT_EQ(&out, out) << "an empty class id leaves the out pointer alone";
  EXPECT_FALSE(manager_->GetBundleObject("{B}", &out));
  EXPECT_EQ(nullptr, out);

  EXPECT_TRUE(manager_->SetBundleObject("{B}", first_bundle));
  EXPECT_TRUE(
      manager_->SetBundleObject("{B}", static_cast<IZQEBundle*>(second.ptr())));
  EXPECT_TRUE(manager_->GetBundleObject("{B}", &out));
  EXPECT_EQ(static_cast<by::IBaseUnknown*>(first_bundle), out)
      << "the first object stays";
  // The cache holds one reference; the lookup added none.
  EXPECT_EQ(3u, first->AddRef());
  first->Release();
  EXPECT_EQ(2u, second->AddRef()) << "the second object was not kept";
  second->Release();

  EXPECT_EQ(
      (std::vector<std::string>{
          "Bundle Loader - set bundle object failed, because of class id is "
          "empty",
          "Bundle Loader - class id:{B}, set bundle object failed, because of "
          "object pointer is nullptr",
          "Bundle Loader - get bundle object failed, because of class id is "
          "empty",
          "Bundle Loader - class id:{B}, get bundle object failed, because of "
          "object didn't founded",
          "Bundle Loader - class id:{B}, set bundle object success",
          "Bundle Loader - class id:{B}, set bundle object success",
          "Bundle Loader - class id:{B}, get bundle object success"}),
      capture().texts());
}

TEST(ZQEBaseBundleTest, AnswersItsInterfacesThroughCComObject) {
  by::CComObjectScopedPtr<ZQEBaseBundle> object;
  ASSERT_EQ(S_OK, by::CComObject<ZQEBaseBundle>::CreateInstance(object.pp()));
  by::com_ptr<by::IBaseUnknown> unknown(object.ptr());
  by::com_ptr<IZQEBundle> bundle(object.ptr());
  ASSERT_TRUE(unknown.ptr());
  ASSERT_TRUE(bundle.ptr());
  by::com_ptr<IGreeting> other(object.ptr());
  EXPECT_EQ(nullptr, other.ptr());
  bundle->Initialize();
  ASSERT_NE(nullptr, bundle->GetContext());
  EXPECT_EQ(bundle->GetContext(), bundle->GetContext());
}

TEST(ZQEBundleManagerFacadeTest, FailsWithoutImplAndForwardsWithOne) {
  ZQEBundleManager* facade = ZQEBundleManager::GetInstance();
  facade->UnInitialize();
  CComLoader* sentinel = reinterpret_cast<CComLoader*>(&facade);
  CComLoader* loader = sentinel;
  Artifact artifact{base::FilePath("/nonexistent")};
  EXPECT_FALSE(facade->LoadBundle(&artifact));
  EXPECT_FALSE(facade->GetComLoader("/pkg/lib.so", &loader));
  EXPECT_FALSE(facade->ComLoaderIsExist("/pkg/lib.so"));
  EXPECT_EQ(sentinel, loader);

  // The creator hands out one implementation; the facade forwards to it.
  std::shared_ptr<IZQEBundleManager> impl = ZQEBundleManagerCreator::Create();
  EXPECT_EQ(impl, ZQEBundleManagerCreator::Create());
  facade->Initialize(impl);
  EXPECT_TRUE(facade->GetComLoader("/facade/lib.so", &loader));
  EXPECT_NE(sentinel, loader);
  EXPECT_TRUE(impl->ComLoaderIsExist("/facade/lib.so"));
  facade->UnInitialize();
}

}  // namespace
}  // namespace zqextensionkit
