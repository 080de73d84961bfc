// ZQEConfigurationManagerImpl: access keys from the "ExtensionAuthInfo"
// section, the bundle id of an H5 page, and the host's fetch of missing keys.

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "tests/config/ConfigurationTestSupport.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

using KeyMap = std::map<std::string, std::string>;

class ZQEConfigurationManagerAuthTest : public test::LogCaptureTest {
 protected:
  void Parse(const std::string& json) {
    scoped_ptr<base::DictionaryValue> root =
        base::DictionaryValue::From(base::JSONReader::Read(json));
    ASSERT_TRUE(root) << json;
    manager_.ParseExtensionAuthInfos(*root);
  }

  ZQEConfigurationManagerImpl manager_;
};

TEST_F(ZQEConfigurationManagerAuthTest, SectionKeepsOnlyCompleteRecords) {
  Parse(R"({"ExtensionAuthInfo": {
    "H5": {
      "https://b.example.com": [{"bundleId": "b1", "accessKey": "kb1"}],
      "https://a.example.com": [
        {"bundleId": "a1", "accessKey": "ka1"},
        {"bundleId": "empty-key", "accessKey": ""},
        {"bundleId": "", "accessKey": "no-bundle"},
        {"bundleId": "number-key", "accessKey": 7},
        "not an object",
        {"bundleId": "dup", "accessKey": "first"}],
      "https://c.example.com": {"bundleId": "c1", "accessKey": "not a list"}
    },
    "Native": [{"bundleId": "native", "accessKey": "kn"},
               {"bundleId": "dup", "accessKey": "second"}]
  }})");
  EXPECT_EQ("ka1", manager_.GetExtensionAccessKey("a1"));
  EXPECT_EQ("kb1", manager_.GetExtensionAccessKey("b1"));
  EXPECT_EQ("kn", manager_.GetExtensionAccessKey("native"));
  // The first record of a bundle id answers.
  EXPECT_EQ("first", manager_.GetExtensionAccessKey("dup"));
  for (const char* missing :
       {"empty-key", "number-key", "c1", "", "A1", "unknown"}) {
    EXPECT_EQ("", manager_.GetExtensionAccessKey(missing)) << missing;
  }
  // Records are appended: a second section adds to the list.
  Parse(R"({"ExtensionAuthInfo": {"Native": [
             {"bundleId": "late", "accessKey": "kl"}]}})");
  Parse(R"({"ExtensionAuthInfo": "not an object"})");
  EXPECT_EQ("kl", manager_.GetExtensionAccessKey("late"));
  EXPECT_TRUE(capture().texts().empty());
}

TEST_F(ZQEConfigurationManagerAuthTest, PageUrlsFindTheirBundleIds) {
  Parse(R"({"ExtensionAuthInfo": {
    "H5": {
      "https://apps.example.com": [{"bundleId": "first", "accessKey": "k"},
                                   {"bundleId": "second", "accessKey": "k"}],
      "https://ported.example.com:8443": [
        {"bundleId": "ported", "accessKey": "k"}],
      "apps.example.com": [{"bundleId": "no-scheme", "accessKey": "k"}]
    },
    "Native": [{"bundleId": "native", "accessKey": "k"}]
  }})");
  const std::map<std::string, std::string> cases = {
      {"", ""},
      // The first record of the host, whatever the port.
      {"https://apps.example.com/index.html", "first"},
      {"https://apps.example.com:9000/x/y", "first"},
      // The path names the bundle.
      {"https://apps.example.com/appName_second/index.html", "second"},
      {"https://apps.example.com/appName_unknown/index.html", ""},
      // "appName_" alone, or without a second "/", names nothing.
      {"https://apps.example.com/appName_/index.html", "first"},
      {"https://apps.example.com/appName_second", "first"},
      {"https://apps.example.com/AppName_second/x", "first"},
      // Scheme, host and port compare exactly.
      {"http://apps.example.com/", ""},
      {"https://APPS.example.com/", ""},
      {"https://ported.example.com:8443/", "ported"},
      {"https://ported.example.com/", ""},
      {"https://ported.example.com:443/", ""},
      {"https://other.example.com/", ""},
      {"not a url", ""}};
  for (const auto& c : cases)
    EXPECT_EQ(c.second, manager_.GetH5ExtensionBundleId(c.first)) << c.first;
}

// Records without a key arrive only with a remote configuration (the
// section skips them), so these tests bring them in through a data source.
class ZQEConfigurationManagerFetchTest
    : public ZQEConfigurationManagerAuthTest {
 protected:
  void SetUp() override {
    ZQEConfigurationManagerAuthTest::SetUp();
    auto source = std::make_shared<test::FakeRemoteDataSource>();
    source->SetData({}, {Record("", "b1", ""), Record("https://h", "b1", ""),
                         Record("", "b2", ""), Record("", "b3", "k3")});
    manager_.SetRemoteConfigDataSource(source);
    ASSERT_TRUE(manager_.LoadRemoteConfig());
    ClearLog();
  }

  static std::shared_ptr<ZQExtensionAuthInfo> Record(const std::string& host,
                                                     const std::string& bundle,
                                                     const std::string& key) {
    return std::make_shared<ZQExtensionAuthInfo>(host, bundle, key);
  }

  // Installs a fetch that records its requests and answers as `answer` says.
  void InstallFetch(
      std::function<void(std::function<void(const KeyMap&)>,
                         std::function<void(const std::string&)>)> answer) {
    manager_.SetFetchExtensionAuthInfoCallback(
        [this, answer](std::vector<std::string> ids,
                       std::function<void(const KeyMap&)> on_success,
                       std::function<void(const std::string&)> on_failure) {
          requests_.push_back(ids);
          answer(on_success, on_failure);
        });
  }

  std::vector<std::vector<std::string>> requests_;
};

TEST_F(ZQEConfigurationManagerFetchTest, WithoutCallbackOnlyTheCountIsLogged) {
  manager_.CheckAndFetchExtensionAuthInfo();
  EXPECT_EQ((std::vector<std::string>{
                "configuration manager impl - total(3) bundleIds were found "
                "without access key"}),
            capture().texts());
}

TEST_F(ZQEConfigurationManagerFetchTest, AnswerSetsEveryRecordOfABundleId) {
  // Answered before the callback returns, on this thread: the callables
  // take the lock themselves, and the host may ask the manager meanwhile.
  InstallFetch([this](auto on_success, auto) {
    EXPECT_EQ("", manager_.GetExtensionAccessKey("b1"));
    on_success({{"b1", "fetched"}, {"unknown", "x"}});
  });
  manager_.CheckAndFetchExtensionAuthInfo();
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"b1", "b1", "b2"}}),
            requests_);
  EXPECT_EQ((std::vector<std::string>{
                "configuration manager impl - total(3) bundleIds were found "
                "without access key",
                "configuration manager impl - fetch extension auth info "
                "success, total(2)"}),
            capture().texts());
  EXPECT_EQ("fetched", manager_.GetExtensionAccessKey("b1"));

  // Both b1 records got the key: only b2 is still missing. A failure and an
  // empty answer change nothing.
  ClearLog();
  InstallFetch([](auto, auto on_failure) { on_failure("offline"); });
  manager_.CheckAndFetchExtensionAuthInfo();
  InstallFetch([](auto on_success, auto) { on_success({}); });
  manager_.CheckAndFetchExtensionAuthInfo();
  EXPECT_EQ((std::vector<std::vector<std::string>>{
                {"b1", "b1", "b2"}, {"b2"}, {"b2"}}),
            requests_);
  EXPECT_EQ((std::vector<std::string>{
                "configuration manager impl - total(1) bundleIds were found "
                "without access key",
                "configuration manager impl - fetch extension auth info "
                "failed, becuase of offline",
                "configuration manager impl - total(1) bundleIds were found "
                "without access key",
                "configuration manager impl - fetch extension auth info "
                "success, total(0)"}),
            capture().texts());
  EXPECT_EQ("", manager_.GetExtensionAccessKey("b2"));
}

TEST_F(ZQEConfigurationManagerFetchTest, AnswerMayArriveLater) {
  std::function<void(const KeyMap&)> later;
  InstallFetch([&later](auto on_success, auto) { later = on_success; });
  manager_.CheckAndFetchExtensionAuthInfo();
  // An empty callable removes the fetch; the pending answer still lands.
  manager_.SetFetchExtensionAuthInfoCallback(nullptr);
  ASSERT_TRUE(later);
  later({{"b2", "late"}});
  EXPECT_EQ("late", manager_.GetExtensionAccessKey("b2"));
  ClearLog();
  manager_.CheckAndFetchExtensionAuthInfo();
  EXPECT_EQ(1u, requests_.size());
}

TEST_F(ZQEConfigurationManagerFetchTest, FetchThatThrowsIsAFailedFetch) {
  InstallFetch([](auto, auto) { throw std::runtime_error("no network"); });
  EXPECT_NO_THROW(manager_.CheckAndFetchExtensionAuthInfo());
  EXPECT_EQ((std::vector<std::string>{
                "configuration manager impl - total(3) bundleIds were found "
                "without access key",
                "configuration manager impl - fetch extension auth info "
                "failed, becuase of fetch callback execute failed"}),
            capture().texts());
  // The keys stay missing and are asked for again.
  InstallFetch([](auto on_success, auto) { on_success({{"b2", "k"}}); });
  manager_.CheckAndFetchExtensionAuthInfo();
  EXPECT_EQ(2u, requests_.size());
  EXPECT_EQ("k", manager_.GetExtensionAccessKey("b2"));
}

}  // namespace
}  // namespace zqextensionkit
