// Reading the code blocks of the README and docs/*.md, for the test that
// compiles and runs them (DocBlocks_test.cc). docs/writing-docs.md describes
// the conventions for contributors: a fenced block may be preceded by
//   <!-- docs-check: key key=value ... -->
// which says how the block is checked.

#ifndef TESTS_DOCS_DOCBLOCKS_H_
#define TESTS_DOCS_DOCBLOCKS_H_

#include <map>
#include <string>
#include <vector>

namespace zqextensionkit {
namespace test {
namespace docs {

// One fenced code block of a Markdown file.
struct CodeBlock {
  int line = 0;          // 1-based line of the opening fence
  std::string language;  // first word of the info string ("" for none)
  // The keys of the docs-check comment right above the fence; a key without
  // a value maps to "".
  std::map<std::string, std::string> checks;
  // The block's lines, without the fences and without the fence's own
  // indentation (blocks inside list items are indented).
  std::vector<std::string> lines;
  // Set when the comment above the fence could not be read, or the block has
  // no closing fence: what is wrong with it.
  std::string error;
};

// Every fenced (```) block of `markdown`, in order.
std::vector<CodeBlock> ExtractCodeBlocks(const std::string& markdown);

// Compares `expected` with `actual` line by line, trailing white space
// ignored. A line "..." in `expected` matches any run of lines (none
// included). With `anchored`, the first and last expected lines must match
// the first and last actual lines (unless they are "..."); without it the
// expected lines may appear anywhere, in order. Returns "" when they match,
// else a description of the first expected line that was not found.
std::string MatchWithGaps(const std::vector<std::string>& expected,
                          const std::vector<std::string>& actual,
                          bool anchored);

// One path of a tree picture, relative to the tree's root, and its line
// within the block (0-based).
struct TreeEntry {
  std::string path;
  int line = 0;
};

// The paths a tree picture shows. Each line starts with one or more paths
// separated by single spaces (a description may follow after two or more
// spaces); a line indented further than the previous line's single
// directory ("dir/") lies inside it, and a line that starts at or after the
// column of the previous line's description continues that description. When
// every other line is indented further than the first, the first names the
// root itself and yields no entry.
std::vector<TreeEntry> ParseTree(const std::vector<std::string>& lines);

// Whether `path` (relative, '/'-separated) exists below `root`; a component
// written "<...>" stands for any entry of its directory.
bool TreePathExists(const std::string& root, const std::string& path);

// Replaces each key of `replacements` in `text` by its value where the key
// starts a word (it follows the start, white space, a quote, '=', '(' or
// ':'), longest key first, so that "build/demo" in "cp -r build/demo x" is
// replaced but not in "src/build/demo", and a path is replaced before a
// shorter path it starts with.
std::string ReplaceAll(std::string text,
                       const std::map<std::string, std::string>& replacements);

// Replaces 32-digit lower-case hex digests by "<md5>" and "{GUID}" texts by
// "{<guid>}", which differ from build to build and run to run.
std::string MaskVolatile(const std::string& text);

// The anchors of a Markdown file's headings ("## Notification bus" gives
// "notification-bus"): lower case, punctuation other than '-' and '_'
// dropped, spaces made '-'. Lines inside code blocks are no headings.
std::vector<std::string> HeadingAnchors(const std::string& markdown);

// The targets of the relative links of a Markdown file ("docs/sdk.md",
// "#quick-start", "configuration.md#adapters"), outside code blocks and code
// spans; links with a scheme ("https:") are left out.
std::vector<std::string> RelativeLinks(const std::string& markdown);

// Splits at '\n'; a final line break yields no empty last line.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace docs
}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_DOCS_DOCBLOCKS_H_
