// Test support: a test of the start-up trace. It names its trace files in
// a temporary folder of its own (PathOf()), captures what the kit logs,
// and turns tracing off when it ends, so that no test writes into another's
// file.

#ifndef TESTS_SUPPORT_TRACEFILETEST_H_
#define TESTS_SUPPORT_TRACEFILETEST_H_

#include <string>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScopedTempDir.h"

namespace zqextensionkit {
namespace test {

class TraceFileTest : public LogCaptureTest {
 protected:
  void TearDown() override {
    ZQExtensionKit::SetTraceFile("");
    LogCaptureTest::TearDown();
  }
  std::string PathOf(const std::string& name) const {
    return (dir_.path() / name).string();
  }

  ScopedTempDir dir_;
};

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_TRACEFILETEST_H_
