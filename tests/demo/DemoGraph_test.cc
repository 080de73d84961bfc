// The demo installation as `zqext graph` draws it, and the picture of it
// that the README shows, which must be what the graph draws today.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/ScopedTempDir.h"
#include "tests/tools/ZqextTestSupport.h"
#include "tools/zqext/InstallationGraph.h"

namespace zqextensionkit {
namespace test {
namespace {

constexpr char kCommittedPicture[] = "docs/images/demo-installation.svg";

std::string DemoDir() {
  return std::filesystem::path(ZQ_DEMO_HOST).parent_path().string();
}

// The graph as `make demo` draws it, with the demo host's foundation
// version.
ProgramRun DemoGraph(const std::vector<std::string>& more = {}) {
  std::vector<std::string> args = {"graph", "--key-file", ZQ_DEMO_KEY_FILE,
                                   "--version", "3.2.0"};
  args.insert(args.end(), more.begin(), more.end());
  args.push_back(DemoDir());
  return RunZqext(args);
}

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(DemoGraphTest, HoldsThePackagesPointsExtensionsAndAdapterEdge) {
  const ProgramRun run = DemoGraph();
  ASSERT_EQ(0, run.status) << run.err;
  const std::string& dot = run.out;
  for (const std::string node : {
           "package:extensions/com.zq.demo.greeting",
           "package:extensions/com.zq.demo.webapps",
           "package:extensions/extension_adapter",
           "point:com.zq.demo.greeting",
           "point:com.zq.demo.webapp",
           "point:zq.internal.launcher",
           "extension:extensions/com.zq.demo.greeting/com.zq.demo.greeting/"
           "com.zq.demo.greeting.formal",
           "extension:extensions/com.zq.demo.greeting/com.zq.demo.greeting/"
           "com.zq.demo.greeting.friendly",
           "extension:extensions/com.zq.demo.webapps/com.zq.demo.webapp/"
           "com.zq.demo.webapp.report",
           "extension:extensions/com.zq.demo.webapps/com.zq.demo.webapp/"
           "com.zq.demo.webapp.calendar",
       }) {
    EXPECT_NE(std::string::npos, dot.find("\"" + node + "\" [")) << node;
  }
  EXPECT_NE(std::string::npos,
            dot.find("\"library:extensions/com.zq.demo.greeting\" "
                     "[shape=component, style=filled, "
                     "label=\"lib/demo_greeting_plugin.so\\nMD5 matches"));
  EXPECT_NE(std::string::npos,
            dot.find("\"point:com.zq.demo.webapp\" -> "
                     "\"point:zq.internal.launcher\" [style=dashed"));
  EXPECT_NE(std::string::npos,
            dot.find("Installation: 3 packages, 0 problems, 1 note"));
  // Nothing in it depends on where the installation lies.
  EXPECT_EQ(std::string::npos, dot.find(DemoDir())) << dot;

  // It renders, and the picture carries the text it was drawn from.
  ScopedTempDir dir;
  const std::string svg = (dir.path() / "installation.svg").string();
  const ProgramRun render = DemoGraph({"--svg", svg});
  ASSERT_EQ(0, render.status) << render.err;
  const std::string picture = ReadText(svg);
  EXPECT_NE(std::string::npos, picture.find("<svg"));
  EXPECT_EQ(dot, zqext::EmbeddedDot(picture));
}

TEST(DemoGraphTest, TheReadmesPictureIsTheDemoInstallationAsDrawnToday) {
  const ProgramRun run = DemoGraph();
  ASSERT_EQ(0, run.status) << run.err;
  const std::string committed = zqext::EmbeddedDot(
      ReadText(std::filesystem::path(ZQ_SOURCE_DIR) / kCommittedPicture));
  EXPECT_EQ(run.out, committed)
      << kCommittedPicture
      << " no longer shows the demo installation as `zqext graph` draws it. "
         "Draw it again from the repository's root with\n"
         "  make demo && cp build/demo/installation.svg "
      << kCommittedPicture << "\nand commit it.";
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
