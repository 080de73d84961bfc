#include "tests/support/InstallationSandbox.h"

#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

namespace zqextensionkit {
namespace test {

namespace {

// GoogleTest settings of the parent that must not reach the child, which
// runs exactly one test once and writes no report.
const std::vector<std::string>& GoogleTestVariables() {
  static const std::vector<std::string> kVariables = {
      "GTEST_FILTER",
      "GTEST_OUTPUT",
      "GTEST_SHARD_INDEX",
      "GTEST_TOTAL_SHARDS",
      "GTEST_SHARD_STATUS_FILE",
      "GTEST_REPEAT",
      "GTEST_SHUFFLE",
      "GTEST_ALSO_RUN_DISABLED_TESTS",
      "GTEST_BREAK_ON_FAILURE",
      "GTEST_FAIL_FAST"};
  return kVariables;
}

// The position of a new sandbox among those of the running test, from 1.
int NextOrdinal() {
  static const ::testing::TestInfo* test = nullptr;
  static int count = 0;
  const ::testing::TestInfo* current =
      ::testing::UnitTest::GetInstance()->current_test_info();
  if (current != test) {
    test = current;
    count = 0;
  }
  return ++count;
}

// In a child: the ordinal and directory of the sandbox it runs, from
// "<ordinal>:<directory>".
bool ReadMarker(int* ordinal, std::string* dir) {
  const char* value = std::getenv(kInstallationEnvironmentVariable);
  if (!value)
    return false;
  const std::string text = value;
  const size_t colon = text.find(':');
  if (colon == std::string::npos)
    return false;
  *ordinal = std::atoi(text.substr(0, colon).c_str());
  *dir = text.substr(colon + 1);
  return true;
}

// The file a child writes when it reaches the body, so that a child which
// ran no body (a filter that matched nothing) cannot pass for one that did.
std::string RanMarkerName(int ordinal) {
  return ".ran-" + std::to_string(ordinal);
}

}  // namespace

InstallationSandbox::InstallationSandbox(size_t executable_path_length)
    : ordinal_(NextOrdinal()) {
  int inside_ordinal = 0;
  std::string inside_dir;
  if (ReadMarker(&inside_ordinal, &inside_dir)) {
    if (inside_ordinal == ordinal_) {
      role_ = Role::kInside;
      installation_ = Installation::Adopt(inside_dir);
    } else {
      role_ = Role::kBystander;
    }
    return;
  }
  installation_ = Installation(executable_path_length);
  if (!installation_.ok())
    ADD_FAILURE() << "installation sandbox: " << installation_.error();
}

InstallationSandbox::~InstallationSandbox() = default;

void InstallationSandbox::WriteFile(const std::string& relative_path,
                                    const std::string& content) {
  if (role_ != Role::kParent)
    return;
  EXPECT_TRUE(installation_.WriteFile(relative_path, content))
      << installation_.error();
}

void InstallationSandbox::WriteAdapterMapping(const std::string& json) {
  WriteFile("extension_adapter_mapping.json", json);
}

void InstallationSandbox::WriteConfig(const std::string& text) {
  WriteFile("extensions/config.json", text);
}

void InstallationSandbox::WriteManifest(const std::string& package,
                                        const std::string& json) {
  WriteFile("extensions/" + package + "/manifest.json", json);
}

void InstallationSandbox::CopyFile(const std::filesystem::path& from,
                                   const std::string& relative_path) {
  if (role_ != Role::kParent)
    return;
  EXPECT_TRUE(installation_.CopyFile(from, relative_path))
      << installation_.error();
}

void InstallationSandbox::Run(const std::function<void()>& body) {
  if (ran_) {
    ADD_FAILURE() << "installation sandbox: Run() is called once per sandbox";
    return;
  }
  ran_ = true;
  switch (role_) {
    case Role::kBystander:
      return;
    case Role::kInside:
      installation_.WriteFile(RanMarkerName(ordinal_), "");
      body();
      return;
    case Role::kParent:
      break;
  }

  if (!installation_.ok() || !installation_.PlaceExecutable()) {
    ADD_FAILURE() << "installation sandbox: " << installation_.error();
    return;
  }
  const ::testing::TestInfo* info =
      ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string test_name =
      std::string(info->test_suite_name()) + "." + info->name();
  std::string output;
  std::string error;
  const int status = RunProcess(
      installation_.executable_path().string(),
      {"--gtest_filter=" + test_name, "--gtest_color=no"},
      {std::string(kInstallationEnvironmentVariable) + "=" +
       std::to_string(ordinal_) + ":" + installation_.dir().string()},
      GoogleTestVariables(), &output, &error);
  if (status < 0) {
    ADD_FAILURE() << "installation sandbox: " << error;
    return;
  }
  std::error_code ignored;
  const bool reached_body = std::filesystem::exists(
      installation_.dir() / RanMarkerName(ordinal_), ignored);
  if (status != 0 || !reached_body) {
    ADD_FAILURE() << test_name << " failed inside the installation "
                  << installation_.dir().string() << " (exit status " << status
                  << (reached_body ? "" : ", body never reached")
                  << "); its output:\n"
                  << output;
  }
}

}  // namespace test
}  // namespace zqextensionkit
