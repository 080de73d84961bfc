// ZQELogService: the process-wide log service of the kit.
//
// The kit writes no log of its own. Every message is formatted here
// (printf-style, into a 4096-byte buffer, so the text is cut at 4095
// characters), prefixed with "[ZQExtensionKit] " and handed to the logger that
// the host installs with RegisterLogger(). Until a logger is installed,
// messages are dropped.
//
// Ownership: RegisterLogger() takes ownership of the logger it is given; the
// service destroys it (through IZQELogger's virtual destructor) when another
// logger replaces it. The service itself lives until the process ends.
//
// Failure: logging never fails visibly. An exception thrown by the host's
// logger ends in LogMessage(), which drops that message: the kit logs while
// it holds its locks, from calls the host and plug-ins make, and none of
// them expects an exception from logging.
//
// Threads: LogMessage() may be called from any thread and takes no lock. The
// host installs its logger before other threads use the kit and does not
// replace it while messages are being written. GetInstance() is safe against
// concurrent first calls.
//
// Levels: the kit passes a level with every message. 0: the kit's messages
// about each step, whether it worked or not (nearly all of them); 1: the
// library loader's trace lines, when SetLoaderTraceOutput() sends them here;
// 2: the (empty) notice that a configuration list kept the record it held
// already; 3: the explanation of each step of ZQExtensionManager::Load()
// that failed or was skipped, naming the file and the reason, and the
// summary at the end of Load().
//
// The library loader's trace lines ("CComLoader->LoadCom",
// "IImpModuleBase->Load", "pOFClassFactory->CreateInstance", ...) are no
// messages: the kit's loaders write them to standard output unless
// SetLoaderTraceOutput() says otherwise. The setting takes effect at once,
// on every thread, for the loaders inside the kit; loaders compiled into
// a plug-in or the host follow by::SetTraceLineSink() of their own copy.
//
//   class MyLogger : public zqextensionkit::IZQELogger {
//     void LogMessage(int level, std::string message) override { ... }
//   };
//   ZQELogService::GetInstance()->RegisterLogger(new MyLogger);

#ifndef ZQEXTENSIONKIT_LOG_ZQELOGSERVICE_H_
#define ZQEXTENSIONKIT_LOG_ZQELOGSERVICE_H_

#include <atomic>
#include <cstdarg>
#include <memory>
#include <string>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace base {
inline namespace zqe {
template <typename Type>
struct DefaultSingletonTraits;
}  // namespace zqe
}  // namespace base

namespace zqextensionkit {

// Implemented by the host: receives every finished message. The kit passes
// `level` through unchanged; it logs nearly everything at level 0.
class ZQEXTENSIONKIT_EXPORT IZQELogger {
 public:
  // Receives one message, "[ZQExtensionKit] " included, on the thread that
  // logged it.
  virtual void LogMessage(int level, std::string message) = 0;
  virtual ~IZQELogger() = default;
};

// Where the kit's library loader writes its trace lines.
enum class ZQELoaderTraceOutput {
  kStandardOutput,  // One line each on standard output: the default.
  kLogService,      // Through LogMessage(), at level 1.
  kNone,            // Nowhere.
};

// The log service's operations (see the top of this file).
class ZQEXTENSIONKIT_EXPORT IZQELogService {
 public:
  // Installs `logger` and takes ownership of it; the previous logger is
  // destroyed. A null `logger` returns false and keeps the current one;
  // the logger already installed is kept as it is and returns true.
  virtual bool RegisterLogger(IZQELogger* logger) = 0;
  // Formats one message and forwards it to the installed logger, if any.
  // (Argument 1 is the implicit `this`.)
  virtual void LogMessage(int level, const char* format, ...)
      __attribute__((format(printf, 3, 4))) = 0;

 protected:
  virtual ~IZQELogService() = default;
};

class ZQEXTENSIONKIT_EXPORT ZQELogService final : public IZQELogService {
 public:
  // The process-wide instance, created on the first call, never destroyed.
  static ZQELogService* GetInstance();

  ZQELogService(const ZQELogService&) = delete;
  ZQELogService& operator=(const ZQELogService&) = delete;

  bool RegisterLogger(IZQELogger* logger) override;
  void LogMessage(int level, const char* format, ...) override
      __attribute__((format(printf, 3, 4)));

  // Sends the trace lines of the kit's library loaders to `output`. May be
  // called at any time, from any thread.
  void SetLoaderTraceOutput(ZQELoaderTraceOutput output);
  ZQELoaderTraceOutput GetLoaderTraceOutput() const;

 private:
  friend struct base::DefaultSingletonTraits<ZQELogService>;

  ZQELogService();
  ~ZQELogService() override;

  // Formats into a 4096-byte buffer: the result holds at most 4095
  // characters.
  std::string vform(const char* format, va_list args)
      __attribute__((format(printf, 2, 0)));

  // The installed logger; empty until the host installs one.
  std::shared_ptr<IZQELogger> logger_ptr_;
  std::atomic<ZQELoaderTraceOutput> loader_trace_output_{
      ZQELoaderTraceOutput::kStandardOutput};
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_LOG_ZQELOGSERVICE_H_
