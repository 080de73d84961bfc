// `zqext new-plugin`: the project it writes builds against the SDK's CMake
// package and its sample installation passes `zqext doctor`.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

// The {...} id that follows `marker` in `text`.
std::string IdAfter(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  const size_t open = text.find('{', at);
  return at == std::string::npos || open == std::string::npos
             ? std::string()
             : text.substr(open, 38);
}

// Generates the project "hello" into `dir`/hello, builds it against the SDK
// package found in `prefix`, and checks its installation with the doctor.
void BuildAndCheck(const std::filesystem::path& dir,
                   const std::filesystem::path& prefix) {
  const std::string project = (dir / "hello").string();
  const std::string build = (dir / "build").string();
  ProgramRun run = RunZqext({"new-plugin", "hello", project});
  ASSERT_EQ(0, run.status) << run.err;
  run = RunProgram(ZQ_CMAKE_COMMAND,
                   {"-S", project, "-B", build, "-G", "Ninja",
                    "-DCMAKE_PREFIX_PATH=" + prefix.string(),
                    "-DCMAKE_CXX_COMPILER=" + std::string(ZQ_CXX_COMPILER)});
  ASSERT_EQ(0, run.status) << run.out << run.err;
  run = RunProgram(ZQ_CMAKE_COMMAND, {"--build", build});
  ASSERT_EQ(0, run.status) << run.out << run.err;
  run = RunZqext({"doctor", build + "/installation"});
  EXPECT_EQ(0, run.status) << run.out << run.err;
  EXPECT_NE(std::string::npos,
            run.out.find("extension hello.hello.default (class "))
      << run.out;
}

TEST(ZqextNewPluginTest, WritesAProjectWithFreshIdsIntoANewDirectory) {
  ScopedTempDir dir;
  const std::filesystem::path first = dir.path() / "first";
  const std::filesystem::path second = dir.path() / "second";
  ASSERT_EQ(0, RunZqext({"new-plugin", "hello", first.string()}).status);
  ASSERT_EQ(0, RunZqext({"new-plugin", "hello", second.string()}).status);
  for (const char* file :
       {"CMakeLists.txt", "README.md", "cmake/WriteManifest.cmake",
        "include/hello/IHello.h", "src/hello.cc", "package/manifest.json.in",
        "package/config.json", "package/extension_adapter_mapping.json"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(first / file)) << file;
  }
  // The manifest names the ids the code declares.
  const std::string manifest = ReadText(first / "package/manifest.json.in");
  const std::string iid = IdAfter(manifest, "\"iid\"");
  const std::string clsid = IdAfter(manifest, "\"clsid\"");
  EXPECT_NE(std::string::npos,
            ReadText(first / "include/hello/IHello.h").find(iid));
  EXPECT_NE(std::string::npos, ReadText(first / "src/hello.cc").find(clsid));
  EXPECT_EQ(38u, iid.size());
  // Each project gets ids of its own.
  EXPECT_EQ(std::string::npos,
            ReadText(second / "package/manifest.json.in").find(iid));

  // An existing project is never overwritten.
  const ProgramRun run = RunZqext({"new-plugin", "hello", first.string()});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(
      std::string::npos,
      run.err.find(first.string() + ": exists and is not an empty directory"));
}

TEST(ZqextNewPluginTest, ProjectBuildsAgainstTheInstalledSdk) {
  ScopedTempDir dir;
  const std::filesystem::path prefix = dir.path() / "prefix";
  const ProgramRun install =
      RunProgram(ZQ_CMAKE_COMMAND,
                 {"--install", ZQ_BINARY_DIR, "--prefix", prefix.string()});
  bool packaged = false;
  if (install.status == 0 && std::filesystem::exists(prefix)) {
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(prefix)) {
      packaged =
          packaged || entry.path().filename() == "ZQExtensionKitConfig.cmake";
    }
  }
  if (!packaged)
    GTEST_SKIP() << "this build installs no ZQExtensionKit CMake package";
  BuildAndCheck(dir.path(), prefix);
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
