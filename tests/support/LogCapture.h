// Test support: capture what the kit logs, so tests can assert its messages.
//
// The log service is process-wide and owns the logger installed in it, and a
// logger can only be replaced, never removed. LogCapture therefore installs a
// fresh CapturingLogger when it is constructed, whose sink is state shared
// with the LogCapture; when the LogCapture goes away the sink is detached and
// drops whatever is still logged, so every capture sees only its own messages
// and nothing dangles.
//
// Typical use, through the fixture:
//
//   class ContainerTest : public zqextensionkit::test::LogCaptureTest {};
//
//   TEST_F(ContainerTest, EmptyClassIdIsRefused) {
//     ...
//     EXPECT_TRUE(LogContains("object container impl - register failed, ..."));
//   }
//
// Messages are matched on their text after the "[ZQExtensionKit] " prefix;
// messages() keeps the full text as the logger received it. All members are
// safe to call while other threads log.

#ifndef TESTS_SUPPORT_LOGCAPTURE_H_
#define TESTS_SUPPORT_LOGCAPTURE_H_

#include <cstddef>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/log/ZQELogService.h"

namespace zqextensionkit {
namespace test {

// The prefix the log service puts before every message.
extern const char kLogPrefix[];

struct CapturedMessage {
  int level;
  std::string text;  // As received, prefix included.

  bool operator==(const CapturedMessage& other) const {
    return level == other.level && text == other.text;
  }
};

void PrintTo(const CapturedMessage& message, std::ostream* os);

// Thread-safe store that a CapturingLogger writes into.
class CapturedLog {
 public:
  void Append(int level, std::string text);
  // After Detach(), Append() drops messages.
  void Detach();
  void Clear();
  std::vector<CapturedMessage> Messages() const;

 private:
  mutable std::mutex mutex_;
  bool detached_ = false;
  std::vector<CapturedMessage> messages_;
};

// An IZQELogger that records every message into a shared CapturedLog.
class CapturingLogger : public IZQELogger {
 public:
  explicit CapturingLogger(std::shared_ptr<CapturedLog> sink);
  void LogMessage(int level, std::string message) override;

 private:
  std::shared_ptr<CapturedLog> sink_;
};

// Installs a fresh CapturingLogger for its lifetime (see the header comment).
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Every message captured so far, in order, prefix included.
  std::vector<CapturedMessage> messages() const;
  // The captured texts with the log prefix removed.
  std::vector<std::string> texts() const;
  // The same, of the messages logged at `level` only, or at every other
  // level (the kit explains the steps of a load at a level of their own).
  std::vector<std::string> TextsAtLevel(int level) const;
  std::vector<std::string> TextsNotAtLevel(int level) const;
  // True when some message's text (after the prefix) equals `text` exactly.
  bool Contains(const std::string& text) const;
  // Number of messages whose text (after the prefix) equals `text`.
  size_t Count(const std::string& text) const;
  // True when some message's text contains `fragment`.
  bool ContainsSubstring(const std::string& fragment) const;
  // All captured texts, one a line, for assertion failure output.
  std::string Dump() const;
  void Clear();

 private:
  std::shared_ptr<CapturedLog> sink_;
};

// Fixture giving each test its own LogCapture. A subclass that overrides
// SetUp()/TearDown() must call these first/last.
class LogCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  LogCapture& capture() { return *capture_; }
  std::vector<CapturedMessage> messages() const;
  // Assertion-friendly: on failure, lists what was logged.
  ::testing::AssertionResult LogContains(const std::string& text) const;
  size_t LogCount(const std::string& text) const;
  void ClearLog();

 private:
  std::unique_ptr<LogCapture> capture_;
};

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_LOGCAPTURE_H_
