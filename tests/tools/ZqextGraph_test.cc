// `zqext graph`: a broken installation's graph shows each problem beside
// what it is about, coloured, and still renders; `--svg` without Graphviz
// says so.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ZQExtensionKit/security/ZQEUtility.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/Installation.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/tools/ZqextTestSupport.h"

namespace zqextensionkit {
namespace test {
namespace {

constexpr char kProblemFill[] = "fillcolor=\"#fdecea\"";
constexpr char kProblemLine[] = "color=\"#c62828\"";

// The greeting plug-in's package; "@MD5@" stands for its library's digest.
const std::string kManifest = std::string(R"({
  "id": "com.example.greeting",
  "version": "1.0.0",
  "mainEntry": "lib/greeting.so",
  "libFileMD5": "@MD5@",
  "extensionPoints": [{
    "id": "greeting",
    "iid": "{20978722-4375-4D5E-A6F5-A872BF7CC9F2}",
    "extensions": [{"id": "greeting.formal", "clsid": ")") +
                              kGreeterClsidText + R"(", "isSingleton": false}]
  }]
})";

// The line that defines the node `id`, or "".
std::string NodeLine(const std::string& dot, const std::string& id) {
  const size_t at = dot.find("\n    \"" + id + "\" [") == std::string::npos
                        ? dot.find("\n  \"" + id + "\" [")
                        : dot.find("\n    \"" + id + "\" [");
  if (at == std::string::npos)
    return "";
  return dot.substr(at + 1, dot.find('\n', at + 1) - at - 1);
}

// `text` with its wrapped lines ("\l") joined again.
std::string Unwrapped(std::string text) {
  for (size_t at = text.find("\\l"); at != std::string::npos;
       at = text.find("\\l", at))
    text.replace(at, 2, " ");
  return text;
}

TEST(ZqextGraphTest, BrokenInstallationShowsEachProblemBesideItsSubject) {
  const std::string greeting = "package:extensions/greeting";
  const std::string with_md5 = [] {
    std::string text = kManifest;
    text.replace(text.find("@MD5@"), 5, std::string(32, '0'));
    return text;
  }();
  std::string trailing_comma = kManifest;
  trailing_comma.replace(trailing_comma.find("false}]"), 7, "false},]");
  const struct {
    const char* name;
    std::string config;
    std::string mapping;
    std::string manifest;
    std::string subject;  // The node the problem hangs from, drawn red.
    std::string shown;    // A node that shows the fault ...
    std::string state;    // ... with this in its definition.
    std::string problem;  // In the problem's text.
  } cases[] = {
      {"manifest with a trailing comma", R"({"artifacts": ["greeting"]})", "{}",
       trailing_comma, greeting, greeting, "not loaded",
       "not valid JSON: Trailing comma not allowed"},
      {"listed package missing", R"({"artifacts": ["greeting", "gone"]})", "{}",
       kManifest, "package:extensions/gone", "package:extensions/gone",
       "not loaded", "listed in config.json but missing"},
      {"library changed after its MD5 was recorded",
       R"({"artifacts": ["greeting"]})", "{}", with_md5, greeting,
       "library:extensions/greeting",
       "MD5 differs from the manifest\", color=\"#c62828\"",
       "the manifest records 00000000000000000000000000000000"},
      {"adapter to a point no package declares",
       R"({"artifacts": ["greeting"]})",
       R"({"greeting": {"extensionPointId": "zq.internal.nowhere",
           "clsid": "{1F0E62E8-ACFB-4AC7-81E1-AEB35A365434}",
           "iid": "{8E62137A-C775-4D61-878A-4ABF664E9975}"}})",
       kManifest, "mapping", "point:zq.internal.nowhere",
       "declared by no package",
       "targets the point zq.internal.nowhere, which no "
       "\\\"extension_adapter\\\" package declares"},
      {"config.json that is not JSON", R"({"artifacts": )", "{}", kManifest,
       "config", "config", "not loaded", "not valid JSON"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Installation installation;
    ASSERT_TRUE(installation.ok()) << installation.error();
    ASSERT_TRUE(installation.WriteConfig(c.config));
    ASSERT_TRUE(installation.WriteAdapterMapping(c.mapping));
    const std::string library = "extensions/greeting/lib/greeting.so";
    ASSERT_TRUE(installation.CopyFile(
        std::filesystem::path(ZQ_TEST_PLUGIN_DIR) / kGreetingPluginFile,
        library));
    std::string md5;
    ZQEUtility_MD5_File_String((installation.dir() / library).string(), md5);
    std::string manifest = c.manifest;
    if (manifest.find("@MD5@") != std::string::npos)
      manifest.replace(manifest.find("@MD5@"), 5, md5);
    ASSERT_TRUE(
        installation.WriteFile("extensions/greeting/manifest.json", manifest));

    const ProgramRun run = RunZqext({"graph", installation.dir().string()});
    ASSERT_EQ(0, run.status) << run.err;
    const std::string dot = Unwrapped(run.out);
    EXPECT_NE(std::string::npos, NodeLine(dot, c.shown).find(c.state))
        << c.shown << "\n"
        << dot;
    EXPECT_NE(std::string::npos, NodeLine(dot, c.subject).find(kProblemLine))
        << c.subject << "\n"
        << dot;
    // The problem is a node of its own, coloured, tied to its subject.
    const size_t text = dot.find(c.problem);
    ASSERT_NE(std::string::npos, text) << dot;
    const size_t start = dot.rfind('\n', text) + 1;
    const std::string problem = dot.substr(start, dot.find('\n', text) - start);
    EXPECT_NE(std::string::npos, problem.find(kProblemFill)) << problem;
    const size_t quote = problem.find('"');
    const std::string id = problem.substr(quote, problem.find(" [") - quote);
    EXPECT_NE(std::string::npos,
              dot.find("\"" + c.subject + "\" -> " + id + " [style=dotted"))
        << id << "\n"
        << dot;
    // Whatever the messages hold, the text is valid DOT.
    ScopedTempDir out;
    const std::string svg = (out.path() / "graph.svg").string();
    const ProgramRun render =
        RunZqext({"graph", "--svg", svg, installation.dir().string()});
    EXPECT_EQ(0, render.status) << render.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(svg));
  }
}

TEST(ZqextGraphTest, SvgWithoutGraphvizSaysSo) {
  Installation installation;
  ASSERT_TRUE(installation.ok()) << installation.error();
  ASSERT_TRUE(installation.WriteConfig(R"({"artifacts": []})"));
  ASSERT_TRUE(installation.WriteAdapterMapping("{}"));
  ScopedTempDir dir;
  const std::string svg = (dir.path() / "graph.svg").string();
  const ProgramRun run =
      RunZqext({"graph", "--svg", svg, installation.dir().string()},
               {"PATH=" + dir.path().string()});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos,
            run.err.find("graph.svg not written: Graphviz's dot is not "
                         "installed"))
      << run.err;
  EXPECT_FALSE(std::filesystem::exists(svg));
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
