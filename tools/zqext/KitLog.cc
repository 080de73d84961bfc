#include "tools/zqext/KitLog.h"

#include <utility>

#include "ZQExtensionKit/log/ZQELogService.h"

namespace zqext {

namespace {

constexpr char kKitPrefix[] = "[ZQExtensionKit] ";

std::string& LastMessage() {
  static std::string* last = new std::string;
  return *last;
}

class RecordingLogger : public zqextensionkit::IZQELogger {
 public:
  void LogMessage(int /*level*/, std::string message) override {
    if (message.rfind(kKitPrefix, 0) == 0)
      message.erase(0, sizeof(kKitPrefix) - 1);
    LastMessage() = std::move(message);
  }
};

}  // namespace

void KitLog::Install() {
  static const bool installed =
      zqextensionkit::ZQELogService::GetInstance()->RegisterLogger(
          new RecordingLogger);
  (void)installed;
}

std::string KitLog::TakeLast() {
  return std::exchange(LastMessage(), std::string());
}

}  // namespace zqext
