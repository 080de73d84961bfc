// What the zqext tests share: running the built tool as its users do, with
// its standard output and standard error kept apart.

#ifndef TESTS_TOOLS_ZQEXTTESTSUPPORT_H_
#define TESTS_TOOLS_ZQEXTTESTSUPPORT_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/Installation.h"

namespace zqextensionkit {
namespace test {

struct ProgramRun {
  int status = -1;  // Exit status, 128 + signal, or -1 when not started.
  std::string out;
  std::string err;
};

// Runs `program` (looked up on PATH when it holds no "/") with `args`, with
// the environment less ZQEXT_KEY and plus the "NAME=value" entries of `set`.
inline ProgramRun RunProgram(const std::string& program,
                             const std::vector<std::string>& args,
                             const std::vector<std::string>& set = {}) {
  ProgramRun run;
  std::string error;
  run.status =
      RunProcess(program, args, set, {"ZQEXT_KEY"}, &run.out, &error, &run.err);
  EXPECT_NE(-1, run.status) << error;
  return run;
}

inline ProgramRun RunZqext(const std::vector<std::string>& args,
                           const std::vector<std::string>& set = {}) {
  return RunProgram(ZQ_ZQEXT, args, set);
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_TOOLS_ZQEXTTESTSUPPORT_H_
