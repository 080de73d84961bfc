// The extension manager facade: every operation forwards to the installed
// implementation, or logs that none is installed and fails without touching
// its out-parameters.

#include "ZQExtensionKit/extension/ZQExtensionManager.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/FakeExtensionManager.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

// One facade operation: `call` invokes it with fixed arguments and returns
// its result (false for operations without one); `forwarded` is what the
// stand-in records when it receives the call.
struct Operation {
  std::string missing_impl_message;
  std::string forwarded;
  bool has_result;
  std::function<bool(ZQExtensionManager*)> call;
};

std::string Missing(const std::string& what) {
  return "extension manager " + what +
         " failed, because of extension manager impl is null";
}

std::vector<Operation> Operations() {
  return {
      {Missing("set foundation version (1.2.3)"), "SetFoundationVersion(1.2.3)",
       false,
       [](ZQExtensionManager* m) {
         m->SetFoundationVersion("1.2.3");
         return false;
       }},
      {Missing("load"), "Load", true,
       [](ZQExtensionManager* m) { return m->Load(); }},
      {Missing("unload"), "Unload", true,
       [](ZQExtensionManager* m) { return m->Unload(); }},
      {Missing("get extension by extension point id"), "GetExtension(ep.a)",
       true,
       [](ZQExtensionManager* m) {
         void* out = nullptr;
         return m->GetExtension("ep.a", &out);
       }},
      {Missing("get extension list by extension point id"),
       "GetExtensionList(ep.a)", true,
       [](ZQExtensionManager* m) {
         std::vector<void*> list;
         return m->GetExtensionList("ep.a", list);
       }},
      {Missing("get extension by extension id"), "GetExtensionById(ext.a)",
       true,
       [](ZQExtensionManager* m) {
         void* out = nullptr;
         return m->GetExtensionById("ext.a", &out);
       }},
      {Missing("register extension"), "RegisterExtension({C1}, true, creator)",
       true,
       [](ZQExtensionManager* m) {
         return m->RegisterExtension([](const std::string&, const std::string&,
                                        void**) { return false; },
                                     "{C1}", true);
       }},
      {Missing("unregister extension"), "unRegisterExtension({C1})", true,
       [](ZQExtensionManager* m) { return m->unRegisterExtension("{C1}"); }},
      {Missing("get lib file verify enable"), "GetLibFileVerifyEnable", true,
       [](ZQExtensionManager* m) { return m->GetLibFileVerifyEnable(); }},
      {Missing("set lib file verify enable"), "SetLibFileVerifyEnable(true)",
       false,
       [](ZQExtensionManager* m) {
         m->SetLibFileVerifyEnable(true);
         return false;
       }},
      {Missing("get sign verify enable"), "GetSignVerifyEnable", true,
       [](ZQExtensionManager* m) { return m->GetSignVerifyEnable(); }},
      {Missing("set sign verify enable"), "SetSignVerifyEnable(true)", false,
       [](ZQExtensionManager* m) {
         m->SetSignVerifyEnable(true);
         return false;
       }},
      {Missing("set sec key"), "SetSecKey(secret-key)", true,
       [](ZQExtensionManager* m) { return m->SetSecKey("secret-key"); }},
      {Missing("set debug mode enable"), "SetDebugModeEnable(true)", true,
       [](ZQExtensionManager* m) { return m->SetDebugModeEnable(true); }},
      {Missing("set fetch extension auth info callback"),
       "SetFetchExtensionAuthInfoCallback(callback)", false,
       [](ZQExtensionManager* m) {
         m->SetFetchExtensionAuthInfoCallback(
             [](std::vector<std::string>,
                std::function<void(const std::map<std::string, std::string>&)>,
                std::function<void(const std::string&)>) {});
         return false;
       }},
      {Missing("set installation dir"), "SetInstallationDir(/opt/client)", true,
       [](ZQExtensionManager* m) {
         return m->SetInstallationDir("/opt/client");
       }},
      // The text results: true when the implementation's answer came back.
      {Missing("get installation dir"), "GetInstallationDir", true,
       [](ZQExtensionManager* m) {
         return m->GetInstallationDir() == "/opt/client";
       }},
      {Missing("get load report"), "GetLoadReport", true,
       [](ZQExtensionManager* m) { return m->GetLoadReport() == "{}"; }},
      {Missing("add trusted sign key"), "AddTrustedSignKey", true,
       [](ZQExtensionManager* m) { return m->AddTrustedSignKey("pem"); }},
      {Missing("get trusted sign keys"), "GetTrustedSignKeys", true,
       [](ZQExtensionManager* m) {
         return m->GetTrustedSignKeys() == std::vector<std::string>{"pem"};
       }},
      {Missing("clear trusted sign keys"), "ClearTrustedSignKeys", false,
       [](ZQExtensionManager* m) {
         m->ClearTrustedSignKeys();
         return false;
       }},
      {Missing("set lazy library loading"), "SetLazyLibraryLoading(true)",
       false,
       [](ZQExtensionManager* m) {
         m->SetLazyLibraryLoading(true);
         return false;
       }},
      {Missing("get lazy library loading"), "GetLazyLibraryLoading", true,
       [](ZQExtensionManager* m) { return m->GetLazyLibraryLoading(); }},
  };
}

class ZQExtensionManagerTest : public test::LogCaptureTest {
 protected:
  ZQExtensionManager* facade() { return ZQExtensionManager::GetInstance(); }
};

TEST_F(ZQExtensionManagerTest, WithoutImplEveryOperationLogsAndFails) {
  facade()->UnInitialize();
  for (const Operation& operation : Operations()) {
    SCOPED_TRACE(operation.forwarded);
    ClearLog();
    EXPECT_FALSE(operation.call(facade()));
    EXPECT_EQ(std::vector<std::string>{operation.missing_impl_message},
              capture().texts());
  }
}

TEST_F(ZQExtensionManagerTest, WithoutImplOutParametersAreLeftAlone) {
  facade()->UnInitialize();
  void* sentinel = &sentinel;
  void* out = sentinel;
  EXPECT_FALSE(facade()->GetExtension("ep.a", &out));
  EXPECT_FALSE(facade()->GetExtensionById("ext.a", &out));
  EXPECT_EQ(sentinel, out);
  std::vector<void*> list = {sentinel};
  EXPECT_FALSE(facade()->GetExtensionList("ep.a", list));
  EXPECT_EQ(std::vector<void*>{sentinel}, list);
}

TEST_F(ZQExtensionManagerTest, ForwardsEveryOperationWithItsArguments) {
  test::ScopedFakeExtensionManager fake;
  fake->lib_file_verify = true;
  fake->sign_verify = true;
  fake->installation_dir = "/opt/client";
  fake->load_report = "{}";
  std::vector<std::string> expected_calls;
  for (const Operation& operation : Operations()) {
    SCOPED_TRACE(operation.forwarded);
    EXPECT_EQ(operation.has_result, operation.call(facade()));
    expected_calls.push_back(operation.forwarded);
  }
  EXPECT_EQ(expected_calls, fake->calls());
  EXPECT_EQ(std::vector<std::string>{}, capture().texts());

  // A result of false is the implementation's, passed on as it is.
  fake->result = false;
  EXPECT_FALSE(facade()->Load());
  EXPECT_TRUE(capture().texts().empty());
}

TEST_F(ZQExtensionManagerTest, InstallingAndDroppingTheImplementation) {
  auto fake = std::make_shared<test::FakeExtensionManager>();
  facade()->Initialize(fake);
  facade()->SetLibFileVerifyEnable(true);

  facade()->SetImpl(nullptr);
  EXPECT_TRUE(facade()->GetLibFileVerifyEnable()) << "empty SetImpl ignored";

  facade()->UnInitialize();
  EXPECT_FALSE(facade()->GetLibFileVerifyEnable());
  EXPECT_FALSE(facade()->Load());
  EXPECT_TRUE(LogContains(Missing("load")));

  facade()->SetImpl(fake);
  EXPECT_TRUE(facade()->GetLibFileVerifyEnable())
      << "the implementation comes back with its earlier state";
  facade()->UnInitialize();
}

TEST_F(ZQExtensionManagerTest, ImplMayCallBackIntoTheFacadeOnItsThread) {
  test::ScopedFakeExtensionManager fake;
  fake->lib_file_verify = true;
  bool switch_seen_during_load = false;
  fake->on_call = [&](const std::string& call) {
    if (call == "Load")
      switch_seen_during_load = facade()->GetLibFileVerifyEnable();
  };
  EXPECT_TRUE(facade()->Load());
  EXPECT_TRUE(switch_seen_during_load);
}

}  // namespace
}  // namespace zqextensionkit
