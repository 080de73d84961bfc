// The demo as `make demo` runs it: the host started from its installation,
// which the build assembled (encrypted config.json, recorded MD5 and
// signature, plug-in, H5 and adapter packages). Every section must be there
// with its results.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/ZqextTestSupport.h"

namespace zqextensionkit {
namespace test {
namespace {

TEST(DemoTest, HostRunsEverySectionFromItsInstallation) {
  const ProgramRun run = RunProgram(ZQ_DEMO_HOST, {});
  ASSERT_EQ(0, run.status) << run.out << run.err;
  EXPECT_EQ("", run.err);
  // In order: each section header, then a line that only its success prints.
  const std::vector<std::string> expected = {
      "== Start-up",
      "library MD5 and signature checks on, trusting the demo signing key",
      "sign verify - package id:com.zq.demo.greeting, verify lib file sign "
      "success",
      "installation loaded",
      "== Artifacts, extension points and extensions",
      "3 artifacts, 3 extension points, 6 extension records",
      "== Greetings from the plug-in",
      "  Good morning, Ann!\n  Hello, Ann!\n",
      "by id com.zq.demo.greeting.formal: Good morning, Bob!",
      "== In-process extension registered by the host",
      "launches \"Team calendar\" for com.zq.demo.webapp.calendar",
      "== Modules and features",
      "module talk: enabled (retention=30d, talk_allow_rich_preview=false, "
      "talk_allow_vanishing=true)",
      "feature talk_allow_vanishing: on",
      "== Access keys and H5 bundle ids",
      "index.html?week=1: com.zq.demo.report",
      "access key of com.zq.demo.report: demo-report-key",
      "== Notifications",
      "observer received type 1 from chat \"general\"",
      "== Remote configuration",
      "launches \"Quick survey\" for com.zq.demo.webapp.survey",
      "access key of com.zq.demo.survey: demo-survey-key",
      "== Network request",
      "answered {\"bundle\":\"com.zq.demo.report\"",
      "failed with 404: no such path: /api/v1/missing",
      "== Summary",
      "demo OK: 6 extension records, 2 greetings, 2 launchers (3 after the "
      "remote merge), 1 notification, 2 network requests\n",
  };
  size_t at = 0;
  for (const std::string& text : expected) {
    const size_t found = run.out.find(text, at);
    ASSERT_NE(std::string::npos, found)
        << "missing after offset " << at << ": " << text << "\n"
        << run.out;
    at = found + text.size();
  }
  // The loader's trace lines stay out of the report.
  EXPECT_EQ(std::string::npos, run.out.find("CComLoader->"));
  EXPECT_EQ(std::string::npos, run.out.find("FAILED"));
}

TEST(DemoTest, VerboseShowsTheKitsMessagesAndTheLoadersTraces) {
  const ProgramRun run = RunProgram(ZQ_DEMO_HOST, {"--verbose"});
  ASSERT_EQ(0, run.status) << run.out << run.err;
  EXPECT_NE(std::string::npos,
            run.err.find("[ZQExtensionKit] configuration manager impl - load "
                         "all extension infos success"));
  EXPECT_NE(std::string::npos, run.out.find("CComLoader->LoadCom"));
}

TEST(DemoTest, UnknownArgumentIsAUsageError) {
  const ProgramRun run = RunProgram(ZQ_DEMO_HOST, {"--frobnicate"});
  EXPECT_EQ(2, run.status);
  EXPECT_NE(std::string::npos, run.err.find("unknown argument --frobnicate"));
}

TEST(DemoTest, TheDemoInstallationPassesTheDoctor) {
  const std::string dir =
      std::filesystem::path(ZQ_DEMO_HOST).parent_path().string();
  const ProgramRun run =
      RunZqext({"doctor", "--key-file", ZQ_DEMO_KEY_FILE, "--version", "3.2.0",
                "--trust", ZQ_DEMO_SIGN_PUBLIC_KEY_FILE, dir});
  EXPECT_EQ(0, run.status) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("No problems found"));
  EXPECT_NE(std::string::npos,
            run.out.find("entry library lib/demo_greeting_plugin.so: signed "
                         "by a trusted key"));
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
