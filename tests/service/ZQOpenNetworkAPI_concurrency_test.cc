#include <future>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "ZQExtensionKit/service/ZQOpenNetworkAPI.h"
#include "ZQExtensionKit/service/ZQServiceManagerCreator.h"
#include "ZQExtensionKit/service/internal/ZQServiceManagerImpl.h"
#include "tests/service/FakeNetService.h"

namespace zqextensionkit {
namespace test {
namespace {

// The service answers on its own thread after StartRequest has returned and
// the caller's function objects are gone: the continuations run on copies.
TEST(ZQOpenNetworkAPIConcurrencyTest, ContinuationsRunLaterOnTheServiceThread) {
  FakeNetService::script().Reset();
  ZQServiceManager::GetInstance()->Initialize(
      std::make_shared<ZQServiceManagerImpl>());
  ASSERT_TRUE(RegisterFakeNetService());
  FakeNetService::script().on_other_thread = true;

  for (auto answer :
       {FakeNetService::Answer::kSuccess, FakeNetService::Answer::kFailure}) {
    FakeNetService::script().answer = answer;
    std::promise<std::thread::id> ran_on;
    std::string seen;
    {
      ZQOpenNetworkAPI api("com.example.app");
      std::function<void(const std::string&)> on_success =
          [&](const std::string& result) {
            seen = result;
            ran_on.set_value(std::this_thread::get_id());
          };
      std::function<void(int, const std::string&)> on_failure =
          [&](int code, const std::string& message) {
            seen = std::to_string(code) + " " + message;
            ran_on.set_value(std::this_thread::get_id());
          };
      EXPECT_TRUE(
          api.StartRequest("/later", "", "GET", on_success, on_failure));
    }  // the API object and the caller's functions are gone
    EXPECT_NE(ran_on.get_future().get(), std::this_thread::get_id());
    FakeNetService::script().Join();
    EXPECT_EQ(seen, answer == FakeNetService::Answer::kSuccess
                        ? "result of /later"
                        : "404 not found: /later");
  }
  FakeNetService::script().Reset();
  ZQServiceManager::GetInstance()->Initialize(
      ZQServiceManagerCreator::Create());
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
