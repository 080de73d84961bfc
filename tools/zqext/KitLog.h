// KitLog: keeps the messages the kit logs while zqext calls into it, so that
// a command can quote the kit's own reason for a failure.
//
// Install() puts a recording logger into the kit's process-wide log service
// (once; the service owns it). Not thread-safe: zqext calls the kit from one
// thread.

#ifndef TOOLS_ZQEXT_KITLOG_H_
#define TOOLS_ZQEXT_KITLOG_H_

#include <string>

namespace zqext {

class KitLog {
 public:
  KitLog() = delete;

  // Installs the recording logger; later calls do nothing.
  static void Install();
  // The last message logged since the previous call, without the kit's
  // "[ZQExtensionKit] " prefix; "" when there was none.
  static std::string TakeLast();
};

}  // namespace zqext

#endif  // TOOLS_ZQEXT_KITLOG_H_
