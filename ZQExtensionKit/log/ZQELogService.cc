#include "ZQExtensionKit/log/ZQELogService.h"

#include <cstdio>
#include <utility>

#include "ZQExtensionKit/defines/internal/ZQEForeignCall.h"
#include "base/memory/singleton.h"
#include "dlcom/loadcom.h"

namespace zqextensionkit {

namespace {

constexpr char kLogPrefix[] = "[ZQExtensionKit] ";
constexpr size_t kFormatBufferSize = 4096;
// The level of the loader's trace lines sent here.
constexpr int kLoaderTraceLogLevel = 1;

void TraceLineToLogService(const char* line) {
  ZQELogService::GetInstance()->LogMessage(kLoaderTraceLogLevel, "%s", line);
}

void DropTraceLine(const char* /*line*/) {}

}  // namespace

// static
ZQELogService* ZQELogService::GetInstance() {
  return base::Singleton<ZQELogService,
                         base::LeakySingletonTraits<ZQELogService>>::get();
}

ZQELogService::ZQELogService() = default;

ZQELogService::~ZQELogService() = default;

bool ZQELogService::RegisterLogger(IZQELogger* logger) {
  if (!logger)
    return false;
  // Installing the logger that is already installed changes nothing: a
  // second owner would delete it while it stays installed.
  if (logger == logger_ptr_.get())
    return true;
  // If the control block cannot be allocated, shared_ptr deletes `logger`
  // before the exception propagates, and the current logger stays.
  std::shared_ptr<IZQELogger> next(logger);
  // The previous logger is destroyed here, once nothing else holds it.
  logger_ptr_ = std::move(next);
  return true;
}

void ZQELogService::LogMessage(int level, const char* format, ...) {
  // Without a logger the formatted text would be dropped anyway, so the
  // formatting is skipped: nothing observable changes and the kit's many log
  // sites cost next to nothing until the host installs a logger.
  if (!logger_ptr_)
    return;
  // Holds the logger for the length of the call, so a logger that installs
  // its successor from inside LogMessage() is not destroyed under itself.
  std::shared_ptr<IZQELogger> logger = logger_ptr_;

  va_list args;
  va_start(args, format);
  std::string text = vform(format, args);
  va_end(args);

  std::string message;
  message.reserve(sizeof(kLogPrefix) - 1 + text.size());
  message.append(kLogPrefix);
  message.append(text);
  // The kit logs from every operation, some holding its locks: a logger
  // that throws must not unwind through them. Its message is lost; there is
  // nowhere else to report it.
  CallForeignCode([&] { logger->LogMessage(level, message); });
}

void ZQELogService::SetLoaderTraceOutput(ZQELoaderTraceOutput output) {
  // This is the kit's copy of the loader: its sink is the kit's alone.
  switch (output) {
    case ZQELoaderTraceOutput::kStandardOutput:
      by::SetTraceLineSink(nullptr);
      break;
    case ZQELoaderTraceOutput::kLogService:
      by::SetTraceLineSink(&TraceLineToLogService);
      break;
    case ZQELoaderTraceOutput::kNone:
      by::SetTraceLineSink(&DropTraceLine);
      break;
  }
  loader_trace_output_ = output;
}

ZQELoaderTraceOutput ZQELogService::GetLoaderTraceOutput() const {
  return loader_trace_output_;
}

std::string ZQELogService::vform(const char* format, va_list args) {
  char buffer[kFormatBufferSize];
  buffer[0] = '\0';
  // vsnprintf always terminates within the buffer, so the text is cut at
  // kFormatBufferSize - 1 characters; the result is the text up to its
  // terminator.
  if (vsnprintf(buffer, sizeof(buffer), format, args) < 0)
    buffer[0] = '\0';
  return std::string(buffer);
}

}  // namespace zqextensionkit
