#include "ZQExtensionKit/log/ZQELogService.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "dlcom/loadcom.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

using test::CapturedMessage;
using test::LogCaptureTest;

// A logger that reports its own destruction and what it received.
class TrackingLogger : public IZQELogger {
 public:
  struct Record {
    bool destroyed = false;
    std::vector<std::string> messages;
  };

  explicit TrackingLogger(std::shared_ptr<Record> record)
      : record_(std::move(record)) {}
  ~TrackingLogger() override { record_->destroyed = true; }
  void LogMessage(int, std::string message) override {
    record_->messages.push_back(std::move(message));
  }

 private:
  std::shared_ptr<Record> record_;
};

class ZQELogServiceTest : public LogCaptureTest {};

TEST_F(ZQELogServiceTest, GetInstanceReturnsOneProcessWideService) {
  EXPECT_NE(ZQELogService::GetInstance(), nullptr);
  EXPECT_EQ(ZQELogService::GetInstance(), ZQELogService::GetInstance());
}

TEST_F(ZQELogServiceTest, FormatsAndPrefixesEachMessage) {
  ZQELogService::GetInstance()->LogMessage(0, "class id:%s, count %d, %.1f",
                                           "{A}", 42, 1.5);
  EXPECT_EQ(messages(),
            (std::vector<CapturedMessage>{
                {0, "[ZQExtensionKit] class id:{A}, count 42, 1.5"}}));
}

TEST_F(ZQELogServiceTest, PassesLevelsThroughUnchanged) {
  for (int level : {0, 2, -7, INT_MAX, INT_MIN})
    ZQELogService::GetInstance()->LogMessage(level, "level");
  std::vector<CapturedMessage> logged = messages();
  ASSERT_EQ(logged.size(), 5u);
  EXPECT_EQ(logged[0].level, 0);
  EXPECT_EQ(logged[1].level, 2);
  EXPECT_EQ(logged[2].level, -7);
  EXPECT_EQ(logged[3].level, INT_MAX);
  EXPECT_EQ(logged[4].level, INT_MIN);
}

TEST_F(ZQELogServiceTest, CutsFormattedTextAt4095CharactersBeforePrefix) {
  const std::string long_text(5000, 'x');
  const std::string exact(4095, 'y');
  const std::string one_over(4096, 'z');
  ZQELogService::GetInstance()->LogMessage(0, "%s", long_text.c_str());
  ZQELogService::GetInstance()->LogMessage(0, "%s", exact.c_str());
  ZQELogService::GetInstance()->LogMessage(0, "%s", one_over.c_str());

  std::vector<CapturedMessage> logged = messages();
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(logged[0].text, "[ZQExtensionKit] " + std::string(4095, 'x'));
  EXPECT_EQ(logged[1].text, "[ZQExtensionKit] " + exact);
  EXPECT_EQ(logged[2].text, "[ZQExtensionKit] " + std::string(4095, 'z'));
}

TEST_F(ZQELogServiceTest, EmptyFormatGivesThePrefixAlone) {
  ZQELogService::GetInstance()->LogMessage(0, "%s", "");
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].text, "[ZQExtensionKit] ");
}

TEST_F(ZQELogServiceTest, NullLoggerIsRefusedAndKeepsTheCurrentOne) {
  EXPECT_FALSE(ZQELogService::GetInstance()->RegisterLogger(nullptr));
  ZQELogService::GetInstance()->LogMessage(0, "still here");
  EXPECT_TRUE(LogContains("still here"));
}

TEST_F(ZQELogServiceTest, ReplacingTheLoggerDestroysThePreviousOne) {
  auto first = std::make_shared<TrackingLogger::Record>();
  auto second = std::make_shared<TrackingLogger::Record>();
  ZQELogService* service = ZQELogService::GetInstance();

  ASSERT_TRUE(service->RegisterLogger(new TrackingLogger(first)));
  service->LogMessage(0, "to first");
  ASSERT_TRUE(service->RegisterLogger(new TrackingLogger(second)));
  EXPECT_TRUE(first->destroyed);
  EXPECT_FALSE(second->destroyed);
  service->LogMessage(0, "to second");

  EXPECT_EQ(first->messages,
            std::vector<std::string>{"[ZQExtensionKit] to first"});
  EXPECT_EQ(second->messages,
            std::vector<std::string>{"[ZQExtensionKit] to second"});
  // The fixture's capture was replaced as well: it saw nothing.
  EXPECT_TRUE(messages().empty());
}

TEST_F(ZQELogServiceTest, RegisteringTheInstalledLoggerAgainKeepsIt) {
  auto record = std::make_shared<TrackingLogger::Record>();
  ZQELogService* service = ZQELogService::GetInstance();
  auto* logger = new TrackingLogger(record);
  ASSERT_TRUE(service->RegisterLogger(logger));
  EXPECT_TRUE(service->RegisterLogger(logger));
  EXPECT_FALSE(record->destroyed);
  service->LogMessage(0, "after");  // used after free before the mend
  EXPECT_EQ(record->messages,
            std::vector<std::string>{"[ZQExtensionKit] after"});
}

// Throws on its first message only.
class ThrowingLogger : public IZQELogger {
 public:
  explicit ThrowingLogger(std::shared_ptr<TrackingLogger::Record> record)
      : record_(std::move(record)) {}
  void LogMessage(int, std::string message) override {
    if (!thrown_) {
      thrown_ = true;
      throw std::runtime_error("logger failed");
    }
    record_->messages.push_back(std::move(message));
  }

 private:
  std::shared_ptr<TrackingLogger::Record> record_;
  bool thrown_ = false;
};

TEST_F(ZQELogServiceTest, ExceptionFromTheLoggerDropsOnlyThatMessage) {
  auto record = std::make_shared<TrackingLogger::Record>();
  ZQELogService::GetInstance()->RegisterLogger(new ThrowingLogger(record));
  EXPECT_NO_THROW(ZQELogService::GetInstance()->LogMessage(0, "lost"));
  ZQELogService::GetInstance()->LogMessage(0, "kept");
  EXPECT_EQ(record->messages,
            std::vector<std::string>{"[ZQExtensionKit] kept"});
  // Leave a well-behaved logger for whatever runs next.
  ZQELogService::GetInstance()->RegisterLogger(
      new TrackingLogger(std::make_shared<TrackingLogger::Record>()));
}

// Replaces itself with a tracking logger from inside LogMessage().
class SelfReplacingLogger : public IZQELogger {
 public:
  explicit SelfReplacingLogger(std::shared_ptr<TrackingLogger::Record> next)
      : next_(std::move(next)) {}
  void LogMessage(int, std::string message) override {
    ZQELogService::GetInstance()->RegisterLogger(new TrackingLogger(next_));
    // Still alive: the service keeps the logger until this call returns.
    received_ = std::move(message);
    next_->messages.push_back("replaced after " + received_);
  }

 private:
  std::shared_ptr<TrackingLogger::Record> next_;
  std::string received_;
};

TEST_F(ZQELogServiceTest, LoggerMayInstallItsSuccessorWhileLogging) {
  auto next = std::make_shared<TrackingLogger::Record>();
  ZQELogService::GetInstance()->RegisterLogger(new SelfReplacingLogger(next));
  ZQELogService::GetInstance()->LogMessage(0, "first");
  ZQELogService::GetInstance()->LogMessage(0, "second");
  EXPECT_EQ(next->messages,
            (std::vector<std::string>{"replaced after [ZQExtensionKit] first",
                                      "[ZQExtensionKit] second"}));
}

// Runs in a fresh process (the threadsafe death-test style re-executes the
// binary), where no logger has ever been installed.
TEST(ZQELogServiceFreshProcessTest, MessagesBeforeAnyLoggerAreDropped) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ZQELogService::GetInstance()->LogMessage(0, "early %s", "message");
        auto record = std::make_shared<TrackingLogger::Record>();
        ZQELogService::GetInstance()->RegisterLogger(
            new TrackingLogger(record));
        ZQELogService::GetInstance()->LogMessage(0, "late");
        std::exit(record->messages ==
                          std::vector<std::string>{"[ZQExtensionKit] late"}
                      ? 0
                      : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// The kit's library loaders (the bundle manager's, the object container's
// creation through a loader) write their trace lines where the setting
// says: standard output, the log service at level 1, or nowhere.
TEST_F(ZQELogServiceTest, LoaderTraceLinesGoWhereTheSettingSays) {
  const std::vector<std::string> traces = {"CComLoader->LoadCom",
                                           "IImpModuleBase->Load",
                                           "CComLoader->setfuncaddress",
                                           "CComLoader->setfuncaddress",
                                           "CComLoader->setfuncaddress",
                                           "CComLoader->setfuncaddress",
                                           "pOFClassFactory->CreateInstance"};
  struct Case {
    ZQELoaderTraceOutput output;
    bool on_stdout;
    bool logged;
  };
  const Case cases[] = {
      {ZQELoaderTraceOutput::kLogService, false, true},
      {ZQELoaderTraceOutput::kNone, false, false},
      {ZQELoaderTraceOutput::kStandardOutput, true, false},
  };
  ZQELogService* service = ZQELogService::GetInstance();
  EXPECT_EQ(ZQELoaderTraceOutput::kStandardOutput,
            service->GetLoaderTraceOutput());
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.output));
    service->SetLoaderTraceOutput(c.output);
    EXPECT_EQ(c.output, service->GetLoaderTraceOutput());
    ClearLog();
    testing::internal::CaptureStdout();
    {
      CComLoader loader;
      const std::string path =
          std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kGoodPluginFile;
      ASSERT_EQ(TRUE, loader.LoadCom(path.c_str()));
      void* object = nullptr;
      ASSERT_TRUE(ZQEObjectContainer::GetInstance()->CreateObjectInstance(
          kTestPluginObjectIidText, kTestObjectAClsidText, false, &loader,
          &object));
      static_cast<by::IBaseUnknown*>(object)->Release();
    }
    const std::string out = testing::internal::GetCapturedStdout();
    std::string expected_out;
    for (const std::string& trace : traces)
      expected_out += trace + "\n";
    EXPECT_EQ(c.on_stdout ? expected_out : "", out);
    EXPECT_EQ(c.logged ? traces : std::vector<std::string>{},
              capture().TextsAtLevel(1));
  }
}

}  // namespace
}  // namespace zqextensionkit
