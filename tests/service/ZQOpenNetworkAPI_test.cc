#include "ZQExtensionKit/service/ZQOpenNetworkAPI.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/service/ZQServiceManagerCreator.h"
#include "ZQExtensionKit/service/internal/ZQServiceManagerImpl.h"
#include "dlcom/comsentry.h"
#include "tests/service/FakeNetService.h"
#include "tests/service/ServiceTestComponents.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace test {
namespace {

class ZQOpenNetworkAPITest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeNetService::script().Reset();
    ZQServiceManager::GetInstance()->Initialize(
        std::make_shared<ZQServiceManagerImpl>());
  }
  void TearDown() override {
    FakeNetService::script().Reset();
    ZQServiceManager::GetInstance()->Initialize(
        ZQServiceManagerCreator::Create());
  }

  // What the continuations saw.
  struct Outcome {
    std::vector<std::string> results;
    std::vector<std::pair<int, std::string>> failures;
  };
  bool Start(ZQOpenNetworkAPI& api, const std::string& path, Outcome* outcome) {
    return api.StartRequest(
        path, "a=1", "GET",
        [outcome](const std::string& result) {
          outcome->results.push_back(result);
        },
        [outcome](int code, const std::string& message) {
          outcome->failures.emplace_back(code, message);
        });
  }
};

TEST_F(ZQOpenNetworkAPITest, WithoutTheServiceNothingStartsAndNothingRuns) {
  ZQOpenNetworkAPI api("com.example.app");
  Outcome outcome;
  EXPECT_FALSE(Start(api, "/x", &outcome));  // registry without the service
  ZQServiceManager::GetInstance()->UnInitialize();
  EXPECT_FALSE(Start(api, "/x", &outcome));  // no registry at all
  EXPECT_TRUE(outcome.results.empty());
  EXPECT_TRUE(outcome.failures.empty());
  EXPECT_TRUE(FakeNetService::script().requests.empty());
}

TEST_F(ZQOpenNetworkAPITest, RequestsReachTheServiceAndAnswersTheCaller) {
  ASSERT_TRUE(RegisterFakeNetService());
  ZQOpenNetworkAPI api("com.example.app");
  FakeNetService::Script& script = FakeNetService::script();
  Outcome outcome;

  EXPECT_TRUE(Start(api, "/ok", &outcome));
  script.answer = FakeNetService::Answer::kFailure;
  EXPECT_TRUE(Start(api, "/missing", &outcome));
  script.answer = FakeNetService::Answer::kRefuse;
  EXPECT_FALSE(Start(api, "/refused", &outcome));

  EXPECT_EQ(outcome.results, std::vector<std::string>{"result of /ok"});
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].first, 404);
  EXPECT_EQ(outcome.failures[0].second, "not found: /missing");
  ASSERT_EQ(script.requests.size(), 3u);
  for (const FakeNetService::Request& request : script.requests) {
    EXPECT_EQ(request.bundle_id, "com.example.app");
    EXPECT_EQ(request.params, "a=1");
    EXPECT_EQ(request.method, "GET");
  }
  EXPECT_EQ(script.requests[2].path, "/refused");
}

TEST_F(ZQOpenNetworkAPITest, EmptyContinuationsAreNotCalled) {
  ASSERT_TRUE(RegisterFakeNetService());
  ZQOpenNetworkAPI api("b");
  for (auto answer :
       {FakeNetService::Answer::kSuccess, FakeNetService::Answer::kFailure}) {
    FakeNetService::script().answer = answer;
    EXPECT_TRUE(api.StartRequest("/p", "", "GET", nullptr, nullptr));
  }
}

TEST_F(ZQOpenNetworkAPITest, RequestsGiveBackTheServiceReference) {
  ASSERT_TRUE(RegisterFakeNetService());
  by::com_ptr<IZQOpenNetService> service;
  service.attach(ZQServiceManager::GetInstance()->GetService<IZQOpenNetService>(
      "OpenNetService"));
  ASSERT_NE(service.ptr(), nullptr);
  const ULONG before = RefCount(service.ptr());
  ZQOpenNetworkAPI api("b");
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(api.StartRequest("/p", "", "GET", nullptr, nullptr));
  EXPECT_EQ(RefCount(service.ptr()), before);
}

TEST_F(ZQOpenNetworkAPITest, ExceptionsStayOnTheirSideOfTheKit) {
  test::LogCapture log;
  ASSERT_TRUE(RegisterFakeNetService());
  ZQOpenNetworkAPI api("b");
  FakeNetService::Script& script = FakeNetService::script();
  const auto throwing_success = [](const std::string&) { throw 1; };
  const auto throwing_failure = [](int, const std::string&) { throw 2; };
  const std::string kContinuationFailed =
      "open network api - request continuation failed, because of callback "
      "execute failed";

  // A service that throws has refused the request.
  script.answer = FakeNetService::Answer::kThrow;
  EXPECT_FALSE(api.StartRequest("/p", "", "GET", throwing_success, nullptr));
  EXPECT_TRUE(
      log.Contains("open network api - start request failed, because of net "
                   "service start net request failed"));
  EXPECT_EQ(0u, log.Count(kContinuationFailed));

  // The caller's continuations throw into the wrapper, not the service.
  log.Clear();
  script.answer = FakeNetService::Answer::kSuccess;
  EXPECT_TRUE(api.StartRequest("/p", "", "GET", throwing_success, nullptr));
  script.answer = FakeNetService::Answer::kFailure;
  EXPECT_TRUE(api.StartRequest("/p", "", "GET", nullptr, throwing_failure));
  EXPECT_EQ(2u, log.Count(kContinuationFailed));
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
