// Lazy library loading: after a lazy Load() no plug-in library is opened or
// mapped and every package with one is reported deferred; the first request
// for an extension of a package verifies and maps its library and creates
// its bundle object, once; a library changed after its MD5 was recorded is
// refused at that request with the usual messages, never mapped, and not
// read again until the next Load(). Signatures are checked at that request
// as Load() would check them.

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "tests/support/BundleMessages.h"
#include "tests/support/FileOpenWatch.h"
#include "tests/support/GreetingPackages.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProcessState.h"
#include "tests/support/SignKeys.h"

namespace zqextensionkit {
namespace {

using test::kBundleSucceeded;
using test::kVerifyFailed;

class LazyLibraryLoadingTest : public test::LogCaptureTest {
 protected:
  // The kit with managers of its own, loading lazily.
  ZQExtensionManager* StartKit(const test::Installation& installation,
                               bool verify) {
    ZQExtensionManager* manager = test::StartKit(installation, verify, false);
    EXPECT_FALSE(manager->GetLazyLibraryLoading()) << "off until turned on";
    manager->SetLazyLibraryLoading(true);
    EXPECT_TRUE(manager->GetLazyLibraryLoading());
    return manager;
  }

  void TearDown() override {
    // The kit's own managers again (the libraries close with these).
    ZQExtensionKit::InitSDK();
    LogCaptureTest::TearDown();
  }

  size_t Logged(const std::string& text) {
    const std::vector<std::string> texts = capture().texts();
    return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
  }

  // The load report in a line: each package's directory name and outcome
  // (with its reason, if any), then the libraries loaded, as in
  // "first=loaded second=refused/md5 libraries=1".
  static std::string ReportLine() {
    scoped_ptr<base::DictionaryValue> report =
        base::DictionaryValue::From(base::JSONReader::Read(
            ZQExtensionManager::GetInstance()->GetLoadReport()));
    const base::ListValue* packages = nullptr;
    int libraries = -1;
    if (!report || !report->GetList("packages", &packages) ||
        !report->GetInteger("librariesLoaded", &libraries)) {
      return "no report";
    }
    std::string line;
    for (size_t i = 0; i < packages->GetSize(); ++i) {
      const base::DictionaryValue* package = nullptr;
      std::string path, outcome, reason;
      packages->GetDictionary(i, &package);
      package->GetString("path", &path);
      package->GetString("outcome", &outcome);
      package->GetString("reason", &reason);
      line += std::filesystem::path(path).filename().string() + "=" + outcome +
              (reason.empty() ? "" : "/" + reason) + " ";
    }
    return line + "libraries=" + std::to_string(libraries);
  }
};

TEST_F(LazyLibraryLoadingTest, FirstRequestLoadsTheLibraryOnceAndItsBundle) {
  for (bool verify : {false, true}) {
    SCOPED_TRACE(verify ? "MD5 check on" : "MD5 check off");
    test::Installation installation;
    ASSERT_TRUE(
        test::WriteGreetingPackages(installation, {{"first"}, {"second"}}))
        << installation.error();
    const std::string first = test::GreetingLibraryPath(installation, "first");
    const std::string second =
        test::GreetingLibraryPath(installation, "second");
    ZQExtensionManager* manager = StartKit(installation, verify);
    test::FileOpenWatch watch({std::filesystem::path(first).parent_path(),
                               std::filesystem::path(second).parent_path()});
    ASSERT_TRUE(watch.ok());

    ClearLog();
    ASSERT_TRUE(manager->Load());
    EXPECT_TRUE(watch.Opens().empty()) << "no library read by the load";
    EXPECT_FALSE(test::IsMapped(first) || test::IsMapped(second));
    EXPECT_EQ("first=deferred second=deferred libraries=0", ReportLine());
    EXPECT_EQ(
        "extension manager impl - load summary: packages loaded 0, deferred "
        "2, skipped 0, refused 0, libraries loaded 0, installation " +
            installation.dir().string(),
        capture().TextsAtLevel(3).back());

    // The bundle object is made and initialised before the extension: the
    // greeting is the bundle's.
    EXPECT_EQ(std::vector<std::string>{"Hello, Ann!"},
              test::Greetings("first"));
    EXPECT_TRUE(test::IsMapped(first));
    EXPECT_FALSE(test::IsMapped(second));
    EXPECT_EQ(1u, Logged(kBundleSucceeded));
    EXPECT_EQ("first=loaded second=deferred libraries=1", ReportLine());
    const auto opens_by_first_use = watch.Opens();

    // Later requests, by every route, find the library loaded.
    void* instance = nullptr;
    ASSERT_TRUE(manager->GetExtension("first", &instance));
    static_cast<by::IBaseUnknown*>(instance)->Release();
    ASSERT_TRUE(manager->GetExtensionById("first.greeter", &instance));
    static_cast<by::IBaseUnknown*>(instance)->Release();
    EXPECT_EQ(1u, Logged(kBundleSucceeded));
    EXPECT_EQ(opens_by_first_use, watch.Opens());
    EXPECT_FALSE(test::IsMapped(second));
    EXPECT_EQ(std::vector<std::string>{"Hello, Ann!"},
              test::Greetings("second"));
    EXPECT_EQ("first=loaded second=loaded libraries=2", ReportLine());

    // Turned off after a lazy load: the next load loads every library.
    manager->SetLazyLibraryLoading(false);
    ASSERT_TRUE(manager->Unload());
    ASSERT_TRUE(manager->Load());
    EXPECT_EQ("first=loaded second=loaded libraries=2", ReportLine());
    ZQEBundleManager::GetInstance()->UnInitialize();
    EXPECT_FALSE(test::IsMapped(first)) << "closed with its manager";
  }
}

TEST_F(LazyLibraryLoadingTest, ChangedLibraryIsRefusedOnceUntilTheNextLoad) {
  test::Installation installation;
  ASSERT_TRUE(test::WriteGreetingPackages(
      installation, {{"good"}, {"changed", /*tampered=*/true}}))
      << installation.error();
  const std::string changed =
      test::GreetingLibraryPath(installation, "changed");
  const std::string changed_dir =
      (installation.extensions_dir() / "changed").string();
  ZQExtensionManager* manager = StartKit(installation, /*verify=*/true);
  test::FileOpenWatch watch({changed_dir + "/lib"});
  ASSERT_TRUE(watch.ok());
  ASSERT_TRUE(manager->Load());

  // Refused at the first request, with the messages Load() would log (each
  // reason's: LoadExplainsItselfTest).
  ClearLog();
  EXPECT_EQ(std::vector<std::string>{}, test::Greetings("changed"));
  EXPECT_EQ(1u, Logged(kVerifyFailed));
  EXPECT_EQ(1u, Logged("extension manager impl - create extension instance "
                       "from dynamic library failed, because of create object "
                       "instance failed"));
  EXPECT_EQ("good=deferred changed=refused/md5 libraries=0", ReportLine());
  EXPECT_EQ(1, watch.Opens().at(changed));

  // Neither read again by later requests nor mapped; the other package is
  // not affected.
  void* instance = nullptr;
  EXPECT_FALSE(manager->GetExtensionById("changed.greeter", &instance));
  EXPECT_FALSE(manager->GetExtension("changed", &instance));
  EXPECT_EQ(1, watch.Opens().at(changed));
  EXPECT_EQ(1u, Logged(kVerifyFailed));
  EXPECT_EQ(2u, Logged("extension manager impl - load deferred library "
                       "skipped, because of the library of " +
                       changed_dir + " was refused at its first use"));
  EXPECT_EQ(std::vector<std::string>{"Hello, Ann!"}, test::Greetings("good"));
  EXPECT_FALSE(test::IsMapped(changed));

  // The next Load() tries it again: mended meanwhile, it loads.
  ASSERT_TRUE(manager->Unload());
  ASSERT_TRUE(installation.WriteFile("extensions/changed/lib/plugin.so",
                                     test::GreetingPluginBytes()));
  ASSERT_TRUE(manager->Load());
  EXPECT_EQ("good=deferred changed=deferred libraries=0", ReportLine());
  EXPECT_EQ(std::vector<std::string>{"Hello, Ann!"},
            test::Greetings("changed"));
  EXPECT_TRUE(test::IsMapped(changed));
}

TEST_F(LazyLibraryLoadingTest, FirstRequestChecksTheSignature) {
  const test::SignKeyPair trusted = test::NewEd25519KeyPair();
  const test::SignKeyPair stranger = test::NewEd25519KeyPair();
  const std::string sha256 = test::Sha256Hex(test::GreetingPluginBytes());
  auto signature = [&](const test::SignKeyPair& key, const std::string& id) {
    return test::SignBase64(
        key.private_pem, test::LibraryMessage(sha256, id, "", "lib/plugin.so"));
  };
  test::Installation installation;
  ASSERT_TRUE(test::WriteGreetingPackages(
      installation, {{"signed", false, signature(trusted, "signed")},
                     {"stranger", false, signature(stranger, "stranger")}}))
      << installation.error();
  ZQExtensionManager* manager = StartKit(installation, /*verify=*/true);
  manager->SetSignVerifyEnable(true);
  ASSERT_TRUE(manager->AddTrustedSignKey(trusted.public_pem));
  ASSERT_TRUE(manager->Load());
  EXPECT_EQ("signed=deferred stranger=deferred libraries=0", ReportLine());

  ClearLog();
  EXPECT_EQ(std::vector<std::string>{"Hello, Ann!"}, test::Greetings("signed"));
  EXPECT_EQ(std::vector<std::string>{}, test::Greetings("stranger"));
  EXPECT_EQ(1u, Logged("Bundle Loader - load bundle failed, because of file "
                       "sign verify failed"));
  EXPECT_EQ("signed=loaded stranger=refused/signature libraries=1",
            ReportLine());
  EXPECT_FALSE(
      test::IsMapped(test::GreetingLibraryPath(installation, "stranger")));
  manager->ClearTrustedSignKeys();
}

}  // namespace
}  // namespace zqextensionkit
