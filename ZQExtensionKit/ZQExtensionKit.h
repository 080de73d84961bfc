// ZQExtensionKit: starting the kit.
//
// A host calls ZQExtensionKit::InitSDK() once, on one thread, before any
// other thread uses the kit. It brings the process-wide objects into
// existence in a fixed order (log service, object container), installs the
// one implementation of each manager behind its facade (bundle, service,
// configuration and extension managers), and registers the notification bus
// with the service manager as the singleton service "NotificationService".
// Everything the host does afterwards goes through the facades:
//
//   zqextensionkit::ZQELogService::GetInstance()->RegisterLogger(new MyLogger);
//   zqextensionkit::ZQExtensionKit::InitSDK();
//   auto* extensions = zqextensionkit::ZQExtensionManager::GetInstance();
//   extensions->SetFoundationVersion("3.2.0");
//   extensions->SetSecKey(key);  // when config.json is encrypted
//   extensions->SetLibFileVerifyEnable(true);  // check libraries' MD5s
//   extensions->Load();
//
// InitSDK reports nothing and logs nothing itself. Calling it again installs
// the same implementations again (their state is kept); the service
// manager then logs that "NotificationService" is registered already.
//
// Start-up trace: with SetTraceFile(path), or the environment variable
// ZQEXT_TRACE=path (read once, by the first InitSDK), the kit writes a
// trace of what it does (each Load and its phases, each library's
// verification, load and bundle, each extension request and instance, each
// remote merge) to `path` in the Trace Event Format, which Perfetto
// (ui.perfetto.dev) and chrome://tracing open. The file is created when its
// first spans are written: when the kit's buffer fills, at
// ZQExtensionManager::UnInitialize(), at the next SetTraceFile() and at
// process exit; it is a complete JSON document after each write. A file
// that cannot be written costs one log message (on standard error when the
// failed write is the one at exit, when the host's logger may be gone) and
// ends the trace; the host goes on as if tracing were off. SetTraceFile() may
// be called at any time, from any thread.
//
// GetSDKVersion() names the version of the ZQExtensionKit.so that is loaded;
// ZQExtensionKit/ZQExtensionKitVersion.h the version a host was compiled
// against. Both are constant; any thread may ask.

#ifndef ZQEXTENSIONKIT_ZQEXTENSIONKIT_H_
#define ZQEXTENSIONKIT_ZQEXTENSIONKIT_H_

#include <string>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQExtensionKit {
 public:
  ZQExtensionKit() = delete;

  // Starts the kit (see the top of this file).
  static void InitSDK();

  // Writes what the current trace holds and traces into `path` from now on
  // (the file is started afresh); an empty path turns tracing off. A later
  // call wins over ZQEXT_TRACE, an earlier one gives way to it.
  static void SetTraceFile(const std::string& path);

  // The version of the loaded library, "MAJOR.MINOR.PATCH": the
  // ZQEXTENSIONKIT_VERSION_STRING it was built with. A static string.
  static const char* GetSDKVersion();
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_ZQEXTENSIONKIT_H_
