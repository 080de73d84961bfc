#include "tests/support/LogCapture.h"

#include <cstring>
#include <utility>

namespace zqextensionkit {
namespace test {

const char kLogPrefix[] = "[ZQExtensionKit] ";

namespace {

std::string StripPrefix(const std::string& text) {
  const size_t prefix_length = std::strlen(kLogPrefix);
  if (text.compare(0, prefix_length, kLogPrefix) == 0)
    return text.substr(prefix_length);
  return text;
}

}  // namespace

void PrintTo(const CapturedMessage& message, std::ostream* os) {
  *os << "{level " << message.level << ", \"" << message.text << "\"}";
}

void CapturedLog::Append(int level, std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (detached_)
    return;
  messages_.push_back(CapturedMessage{level, std::move(text)});
}

void CapturedLog::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  detached_ = true;
  messages_.clear();
}

void CapturedLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.clear();
}

std::vector<CapturedMessage> CapturedLog::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

CapturingLogger::CapturingLogger(std::shared_ptr<CapturedLog> sink)
    : sink_(std::move(sink)) {}

void CapturingLogger::LogMessage(int level, std::string message) {
  sink_->Append(level, std::move(message));
}

LogCapture::LogCapture() : sink_(std::make_shared<CapturedLog>()) {
  ZQELogService::GetInstance()->RegisterLogger(new CapturingLogger(sink_));
}

LogCapture::~LogCapture() {
  // The logger stays installed until the next capture replaces it; detached,
  // it keeps nothing.
  sink_->Detach();
}

std::vector<CapturedMessage> LogCapture::messages() const {
  return sink_->Messages();
}

std::vector<std::string> LogCapture::texts() const {
  std::vector<std::string> result;
  for (const CapturedMessage& message : sink_->Messages())
    result.push_back(StripPrefix(message.text));
  return result;
}

std::vector<std::string> LogCapture::TextsAtLevel(int level) const {
  std::vector<std::string> result;
  for (const CapturedMessage& message : sink_->Messages()) {
    if (message.level == level)
      result.push_back(StripPrefix(message.text));
  }
  return result;
}

std::vector<std::string> LogCapture::TextsNotAtLevel(int level) const {
  std::vector<std::string> result;
  for (const CapturedMessage& message : sink_->Messages()) {
    if (message.level != level)
      result.push_back(StripPrefix(message.text));
  }
  return result;
}

bool LogCapture::Contains(const std::string& text) const {
  return Count(text) > 0;
}

size_t LogCapture::Count(const std::string& text) const {
  size_t count = 0;
  for (const std::string& logged : texts()) {
    if (logged == text)
      ++count;
  }
  return count;
}

bool LogCapture::ContainsSubstring(const std::string& fragment) const {
  for (const CapturedMessage& message : sink_->Messages()) {
    if (message.text.find(fragment) != std::string::npos)
      return true;
  }
  return false;
}

std::string LogCapture::Dump() const {
  std::string result;
  for (const CapturedMessage& message : sink_->Messages()) {
    result += "  [" + std::to_string(message.level) + "] " + message.text;
    result += '\n';
  }
  return result.empty() ? std::string("  (nothing logged)\n") : result;
}

void LogCapture::Clear() {
  sink_->Clear();
}

void LogCaptureTest::SetUp() {
  capture_ = std::make_unique<LogCapture>();
}

void LogCaptureTest::TearDown() {
  capture_.reset();
}

std::vector<CapturedMessage> LogCaptureTest::messages() const {
  return capture_->messages();
}

::testing::AssertionResult LogCaptureTest::LogContains(
    const std::string& text) const {
  if (capture_->Contains(text))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "no message \"" << text << "\" was logged; logged:\n"
         << capture_->Dump();
}

size_t LogCaptureTest::LogCount(const std::string& text) const {
  return capture_->Count(text);
}

void LogCaptureTest::ClearLog() {
  capture_->Clear();
}

}  // namespace test
}  // namespace zqextensionkit
