// The reading of Markdown code blocks, tree pictures and expected outputs
// that the documentation test relies on: a fault here would let a broken
// block pass unnoticed.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/docs/DocBlocks.h"

namespace zqextensionkit {
namespace test {
namespace docs {
namespace {

TEST(DocBlocksReaderTest, ExtractsBlocksWithTheirChecksAndIndentation) {
  const std::string markdown =
      "Text\n"
      "<!-- docs-check: body prelude=host -->\n"
      "```cpp\n"
      "int a = 1;\n"
      "```\n"
      "- item\n"
      "\n"
      "  ```json\n"
      "  {\"a\": [\n"
      "    1]}\n"
      "  ```\n"
      "<!-- docs-check: broken\n"
      "```\n"
      "x\n";
  const std::vector<CodeBlock> blocks = ExtractCodeBlocks(markdown);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].line, 3);
  EXPECT_EQ(blocks[0].language, "cpp");
  EXPECT_EQ(blocks[0].checks.size(), 2u);
  EXPECT_EQ(blocks[0].checks.at("body"), "");
  EXPECT_EQ(blocks[0].checks.at("prelude"), "host");
  EXPECT_EQ(blocks[0].lines, std::vector<std::string>{"int a = 1;"});
  EXPECT_EQ(blocks[1].language, "json");
  EXPECT_TRUE(blocks[1].checks.empty());
  EXPECT_EQ(blocks[1].lines, (std::vector<std::string>{"{\"a\": [", "  1]}"}));
  EXPECT_EQ(blocks[1].error, "");
  EXPECT_NE(blocks[2].error, "");  // unreadable comment, no closing fence
}

TEST(DocBlocksReaderTest, MatchesOutputsWithGaps) {
  const std::vector<std::string> actual = {"a", "b", "c", "d", "e"};
  struct Case {
    std::vector<std::string> expected;
    bool anchored;
    bool matches;
  } cases[] = {
      {{"a", "b", "c", "d", "e"}, true, true},
      {{"a", "b", "c", "d"}, true, false},  // the output goes on
      {{"b", "c", "d", "e"}, true, false},  // and starts earlier
      {{"a", "...", "e"}, true, true},
      {{"...", "c", "..."}, true, true},
      {{"a", "...", "c", "...", "e"}, true, true},
      {{"a", "...", "d", "c", "..."}, true, false},  // out of order
      {{"b", "c"}, false, true},
      {{"b", "d"}, false, false},  // not consecutive without a gap
      {{"b", "...", "d"}, false, true},
      {{"a  ", "...", "e"}, true, true},  // trailing spaces do not count
      {{"x"}, false, false},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& line : c.expected)
      joined += line + "|";
    EXPECT_EQ(MatchWithGaps(c.expected, actual, c.anchored).empty(), c.matches)
        << joined << (c.anchored ? " anchored" : "");
  }
}

TEST(DocBlocksReaderTest, ReadsTreePictures) {
  const std::vector<std::string> picture = {
      "build/demo/",
      "  zq-demo                  the host",
      "  extensions/",
      "    config.json            encrypted: the packages,",
      "                           modules, access keys",
      "    <package>/             one package",
      "      lib/a.so b.json",
      "  top.json",
  };
  std::vector<std::string> paths;
  for (const TreeEntry& entry : ParseTree(picture))
    paths.push_back(entry.path);
  EXPECT_EQ(paths, (std::vector<std::string>{
                       "zq-demo", "extensions/", "extensions/config.json",
                       "extensions/<package>/", "extensions/<package>/lib/a.so",
                       "extensions/<package>/b.json", "top.json"}));

  // Without a root line, every line is relative to the tree's root.
  paths.clear();
  for (const TreeEntry& entry : ParseTree({"a b/c  both", "d/", "  e"}))
    paths.push_back(entry.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"a", "b/c", "d/", "d/e"}));
}

TEST(DocBlocksReaderTest, ReplacesPathsOnlyWhereTheyStartAWord) {
  const std::map<std::string, std::string> paths = {
      {"build/demo", "/r/demo"}, {"build/demo/x", "/other"}, {"/tmp", "/s"}};
  EXPECT_EQ(ReplaceAll("cp -r build/demo /tmp/d src/build/demo", paths),
            "cp -r /r/demo /s/d src/build/demo");
  EXPECT_EQ(ReplaceAll("ls build/demo/x \"build/demo\"", paths),
            "ls /other \"/r/demo\"");
  EXPECT_EQ(MaskVolatile("MD5 fe36e8bcd9d95ba24162ff75d02f37d7 class "
                         "{AB0E1225-E32D-4C0A-9B1D-9BA5D053721F}"),
            "MD5 <md5> class {<guid>}");
}

TEST(DocBlocksReaderTest, FindsHeadingAnchorsAndRelativeLinks) {
  const std::string markdown =
      "# Configuration: `ZQEConfigurationManager`\n"
      "## What a broken plug-in cannot do\n"
      "```sh\n"
      "# not a heading [x](nowhere.md)\n"
      "```\n"
      "See [sdk](docs/sdk.md), [top](#quick-start) and `[no](code.md)`,\n"
      "[web](https://example.com) and [a](configuration.md#adapters).\n";
  EXPECT_EQ(HeadingAnchors(markdown),
            (std::vector<std::string>{"configuration-zqeconfigurationmanager",
                                      "what-a-broken-plug-in-cannot-do"}));
  EXPECT_EQ(RelativeLinks(markdown),
            (std::vector<std::string>{"docs/sdk.md", "#quick-start",
                                      "configuration.md#adapters"}));
}

}  // namespace
}  // namespace docs
}  // namespace test
}  // namespace zqextensionkit
