// `zqext new-plugin`: the project it writes keeps each id in one place,
// builds against the SDK's CMake package, runs its sample host as part of
// the build, and its sample installation passes `zqext doctor`.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ScopedTempDir.h"
#include "tests/tools/ZqextTestSupport.h"

namespace zqextensionkit {
namespace test {
namespace {

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

// The {...} id that follows `marker` in `text`.
std::string IdAfter(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  const size_t open = text.find('{', at);
  return at == std::string::npos || open == std::string::npos
             ? std::string()
             : text.substr(open, 38);
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The project "hello" written by the zqext installed with the SDK and
// configured against that SDK, in a fresh directory.
class ZqextNewPluginProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ProgramRun install =
        RunProgram(ZQ_CMAKE_COMMAND,
                   {"--install", ZQ_BINARY_DIR, "--prefix", prefix_.string()});
    if (install.status != 0 ||
        !std::filesystem::exists(prefix_ / "bin/zqext")) {
      GTEST_SKIP() << "this build installs no SDK with zqext: " << install.err;
    }
    bool packaged = false;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(prefix_)) {
      packaged =
          packaged || entry.path().filename() == "ZQExtensionKitConfig.cmake";
    }
    if (!packaged)
      GTEST_SKIP() << "this build installs no ZQExtensionKit CMake package";

    // Run from the installed SDK, the commands it suggests name its prefix.
    ProgramRun run = RunProgram((prefix_ / "bin/zqext").string(),
                                {"new-plugin", "hello", project_.string()});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.out.find("-DCMAKE_PREFIX_PATH=" + prefix_.string() + "\n"))
        << run.out;
    EXPECT_NE(std::string::npos,
              run.out.find((prefix_ / "bin/zqext").string() + " doctor "))
        << run.out;

    // Warnings are errors, so the project's code stays clean for both
    // compilers; a sanitizer build of the kit needs the same runtime in the
    // host.
    run =
        RunProgram(ZQ_CMAKE_COMMAND,
                   {"-S", project_.string(), "-B", build_.string(), "-G",
                    "Ninja", "-DCMAKE_PREFIX_PATH=" + prefix_.string(),
                    "-DCMAKE_CXX_COMPILER=" + std::string(ZQ_CXX_COMPILER),
                    "-DCMAKE_CXX_FLAGS=" + std::string(ZQ_PROJECT_CXX_FLAGS)});
    ASSERT_EQ(0, run.status) << run.out << run.err;
  }

  ProgramRun Build() {
    return RunProgram(ZQ_CMAKE_COMMAND, {"--build", build_.string()});
  }

  std::filesystem::path Installation() const {
    return std::filesystem::canonical(build_ / "installation");
  }

  ScopedTempDir dir_;
  const std::filesystem::path prefix_ = dir_.path() / "prefix";
  const std::filesystem::path project_ = dir_.path() / "hello";
  const std::filesystem::path build_ = dir_.path() / "build";
};

TEST(ZqextNewPluginTest, WritesAProjectWithEachIdOnceIntoANewDirectory) {
  ScopedTempDir dir;
  const std::filesystem::path first = dir.path() / "first";
  const std::filesystem::path second = dir.path() / "second";
  ProgramRun run = RunZqext({"new-plugin", "hello", first.string()});
  ASSERT_EQ(0, run.status) << run.err;
  // From a build tree there is no SDK prefix to name.
  EXPECT_NE(std::string::npos,
            run.out.find("-DCMAKE_PREFIX_PATH=<where the SDK is installed>"))
      << run.out;
  ASSERT_EQ(0, RunZqext({"new-plugin", "hello", second.string()}).status);

  const std::vector<std::string> files = {
      "CMakeLists.txt",
      "README.md",
      "cmake/ReadIds.cmake",
      "cmake/WriteManifest.cmake",
      "include/hello/Ids.h",
      "include/hello/IHello.h",
      "src/hello.cc",
      "host/hello_host.cc",
      "package/config.json.in",
      "package/manifest.json.in",
      "package/extension_adapter_mapping.json"};
  std::string all;
  for (const std::string& file : files) {
    EXPECT_TRUE(std::filesystem::is_regular_file(first / file)) << file;
    all += ReadText(first / file);
  }
  // Every id is written in Ids.h and nowhere else; the manifest names the
  // constants.
  const std::string ids = ReadText(first / "include/hello/Ids.h");
  for (const char* constant :
       {"kHelloInterfaceId", "kBundleClassId", "kHelloClassId"}) {
    const std::string id = IdAfter(ids, constant);
    EXPECT_EQ(38u, id.size()) << constant;
    EXPECT_EQ(1u, Occurrences(all, id)) << constant << " " << id;
    EXPECT_NE(std::string::npos,
              ReadText(first / "package/manifest.json.in")
                  .find("\"@" + std::string(constant) + "@\""))
        << constant;
    // Each project gets ids of its own.
    EXPECT_EQ(std::string::npos,
              ReadText(second / "include/hello/Ids.h").find(id));
  }

  // An existing project is never overwritten.
  run = RunZqext({"new-plugin", "hello", first.string()});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(
      std::string::npos,
      run.err.find(first.string() + ": exists and is not an empty directory"));
}

TEST_F(ZqextNewPluginProjectTest,
       BuildRunsTheSampleHostAgainstTheInstalledSdk) {
  ProgramRun run = Build();
  ASSERT_EQ(0, run.status) << run.out << run.err;
  // The build ran the host, which greeted through the plug-in.
  EXPECT_NE(std::string::npos, run.out.find("Hello, world!")) << run.out;

  // The manifest carries the ids of the header.
  const std::string ids = ReadText(project_ / "include/hello/Ids.h");
  const std::string manifest =
      ReadText(build_ / "installation/extensions/hello/manifest.json");
  for (const char* constant :
       {"kHelloInterfaceId", "kBundleClassId", "kHelloClassId"}) {
    EXPECT_NE(std::string::npos, manifest.find(IdAfter(ids, constant)))
        << constant << "\n"
        << manifest;
  }

  run = RunProgram((build_ / "installation/hello_host").string(), {});
  EXPECT_EQ(0, run.status) << run.out << run.err;
  // The greeting alone: the loader's trace lines are turned off, and the
  // kit's messages go to standard error.
  EXPECT_EQ("Hello, world!\n", run.out);
  EXPECT_NE(std::string::npos, run.err.find("[ZQExtensionKit] ")) << run.err;

  run = RunZqext({"doctor", (build_ / "installation").string()});
  EXPECT_EQ(0, run.status) << run.out << run.err;
  EXPECT_NE(std::string::npos,
            run.out.find("extension hello.hello.default (class "))
      << run.out;

  // A manifest template that names an id the header lacks stops the build
  // instead of shipping an empty id.
  const std::filesystem::path manifest_template =
      project_ / "package/manifest.json.in";
  std::string text = ReadText(manifest_template);
  text.replace(text.find("@kHelloClassId@"), 15, "@kGreeterClassId@");
  WriteText(manifest_template, text);
  run = Build();
  EXPECT_NE(0, run.status);
  // CMake wraps its messages: compare with white space runs as one space.
  const std::string output =
      std::regex_replace(run.out, std::regex("\\s+"), " ");
  EXPECT_NE(std::string::npos,
            output.find("manifest.json.in uses @kGreeterClassId@, which is "
                        "neither"))
      << run.out;
}

// A plug-in author's first mistake: the sample host's output (and so the
// build's) names the manifest by its full path and the line of the fault.
TEST_F(ZqextNewPluginProjectTest, SampleHostNamesTheLineOfABrokenManifest) {
  ASSERT_EQ(0, Build().status);
  // A trailing comma after the extension's payloads.
  const std::filesystem::path manifest_template =
      project_ / "package/manifest.json.in";
  std::string text = ReadText(manifest_template);
  const std::string payloads = "\"payloads\": {\"salutation\": \"Hello\"}";
  ASSERT_NE(std::string::npos, text.find(payloads));
  text.replace(text.find(payloads), payloads.size(), payloads + ",");
  WriteText(manifest_template, text);

  // The build stops at the host, whose output names the file and the line
  // `zqext doctor` names.
  const ProgramRun build = Build();
  EXPECT_NE(0, build.status);
  const ProgramRun doctor = RunZqext({"doctor", Installation().string()});
  std::smatch position;
  ASSERT_TRUE(std::regex_search(doctor.out, position,
                                std::regex("line ([0-9]+), column [0-9]+: "
                                           "not valid JSON")))
      << doctor.out;
  const std::string manifest =
      (Installation() / "extensions/hello/manifest.json").string();
  const std::string line = "line " + position[1].str() + ", column";
  const ProgramRun host =
      RunProgram((Installation() / "hello_host").string(), {});
  EXPECT_EQ(1, host.status);
  for (const std::string* output : {&build.out, &host.err}) {
    std::istringstream lines(*output);
    bool named = false;
    for (std::string message; std::getline(lines, message);) {
      named = named || (message.find(manifest) != std::string::npos &&
                        message.find(line) != std::string::npos);
    }
    EXPECT_TRUE(named) << "no message names " << manifest << " and " << line
                       << ":\n"
                       << *output;
  }
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
