// Every code block of README.md and docs/*.md is compiled, run or checked
// against the files and programs it shows; docs/writing-docs.md says how a
// block says which. One test per Markdown file: its blocks run in order, as
// one reader's terminal session would (a shell block's working directory,
// exported variables and files stay for the blocks after it), with HOME and
// /tmp in a scratch directory of its own.

#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/json/json_reader.h"
#include "base/values.h"
#include "tests/docs/DocBlocks.h"
#include "tests/support/ScopedTempDir.h"

namespace zqextensionkit {
namespace test {
namespace docs {
namespace {

namespace fs = std::filesystem;

const std::string kSourceDir = ZQ_SOURCE_DIR;
const std::string kBinaryDir = ZQ_BINARY_DIR;
const std::string kDemoDir = ZQ_DEMO_DIR;
const std::string kZqextDir = fs::path(ZQ_ZQEXT).parent_path().string();

// What documented commands and outputs show for the places a test run
// uses instead: the repository is ~/ZQExtensionKit, built in build/default.
const char kShownSourceDir[] = "~/ZQExtensionKit";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

std::string Quote(const std::string& s) {
  std::string quoted = "'";
  for (char c : s) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

struct RunResult {
  int status = -1;
  std::string output;  // standard output and error, interleaved
};

RunResult Run(const std::string& command) {
  RunResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe)
    return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
    result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The Markdown files whose blocks are checked, relative to the repository.
std::vector<std::string> DocumentedFiles() {
  std::vector<std::string> files = {"README.md"};
  std::vector<std::string> docs;
  std::error_code ignored;
  for (const auto& entry :
       fs::directory_iterator(kSourceDir + "/docs", ignored)) {
    if (entry.path().extension() == ".md")
      docs.push_back("docs/" + entry.path().filename().string());
  }
  std::sort(docs.begin(), docs.end());
  files.insert(files.end(), docs.begin(), docs.end());
  return files;
}

// The targets the Makefile defines.
std::vector<std::string> MakeTargets() {
  std::vector<std::string> targets;
  static const std::regex rule("^([A-Za-z][A-Za-z0-9_-]*):");
  for (const std::string& line :
       SplitLines(ReadFile(kSourceDir + "/Makefile"))) {
    std::smatch match;
    if (std::regex_search(line, match, rule))
      targets.push_back(match[1]);
  }
  return targets;
}

// Checks the blocks of one Markdown file in order, in a session of its own.
class DocSession {
 public:
  explicit DocSession(const std::string& file) : file_(file) {
    home_ = (scratch_.path() / "home").string();
    tmp_ = (scratch_.path() / "tmp").string();
    state_ = (scratch_.path() / "session.sh").string();
    fs::create_directories(home_);
    fs::create_directories(tmp_);
    std::ofstream(state_) << "export HOME=" << Quote(home_) << "\n"
                          << "export PATH=" << Quote(kZqextDir)
                          << ":\"$PATH\"\n"
                          << "cd " << Quote(kSourceDir) << "\n";
    // Commands name the build and /tmp as a reader's would.
    to_real_ = {{"build/default", kBinaryDir},
                {"build/demo", kDemoDir},
                {"/tmp", tmp_}};
    // Outputs show the repository as ~/ZQExtensionKit and HOME as ~.
    to_shown_ = {{kDemoDir, std::string(kShownSourceDir) + "/build/demo"},
                 {kBinaryDir, std::string(kShownSourceDir) + "/build/default"},
                 {kSourceDir, kShownSourceDir},
                 {tmp_, "/tmp"},
                 {home_, "~"}};
  }

  void Check(const CodeBlock& block) {
    SCOPED_TRACE(file_ + ":" + std::to_string(block.line));
    if (!block.error.empty()) {
      ADD_FAILURE() << block.error;
      return;
    }
    const auto& checks = block.checks;
    if (checks.count("excerpt")) {
      CheckExcerpt(block, checks.at("excerpt"));
    } else if (checks.count("tree")) {
      CheckTree(block, checks.at("tree"));
    } else if (block.language == "cpp") {
      CheckCpp(block);
    } else if (block.language == "json") {
      CheckJson(block);
    } else if (block.language == "sh") {
      CheckShell(block);
    } else if (block.language == "cmake") {
      CheckCMake(block);
    } else if ((block.language == "text" || block.language.empty()) &&
               !block.lines.empty() && block.lines[0].rfind("$ ", 0) == 0) {
      CheckSession(block);
    } else {
      ADD_FAILURE() << "nothing checks this " << block.language
                    << " block: see docs/writing-docs.md";
    }
  }

 private:
  std::string ToReal(const std::string& text) const {
    std::string real = ReplaceAll(text, to_real_);
    // "~/" starts a path below HOME.
    return ReplaceAll(real, {{"~/", home_ + "/"}});
  }

  std::string ToShown(const std::string& text) const {
    return MaskVolatile(ReplaceAll(text, to_shown_));
  }

  void CheckExcerpt(const CodeBlock& block, const std::string& path) {
    const std::string text = ReadFile(kSourceDir + "/" + path);
    ASSERT_FALSE(text.empty()) << "cannot read " << path;
    const std::string mismatch =
        MatchWithGaps(block.lines, SplitLines(text), /*anchored=*/false);
    EXPECT_EQ(mismatch, "") << "the block is no excerpt of " << path;
  }

  void CheckTree(const CodeBlock& block, const std::string& root_text) {
    const std::string root =
        root_text == "source" ? kSourceDir : ToReal(root_text);
    const std::vector<TreeEntry> entries = ParseTree(block.lines);
    EXPECT_FALSE(entries.empty()) << "no path in the tree";
    for (const TreeEntry& entry : entries) {
      EXPECT_TRUE(TreePathExists(root, entry.path))
          << entry.path << " (line " << block.line + 1 + entry.line
          << ") does not exist in " << root;
    }
  }

  void CheckCpp(const CodeBlock& block) {
    const auto& checks = block.checks;
    std::string unit;
    if (checks.count("prelude")) {
      const std::string prelude =
          kSourceDir + "/tests/docs/preludes/" + checks.at("prelude") + ".h";
      ASSERT_TRUE(fs::exists(prelude)) << "no prelude " << prelude;
      unit += "#include \"" + prelude + "\"\n";
    }
    const std::string line_mark =
        "#line " + std::to_string(block.line + 1) + " \"" + file_ + "\"\n";
    if (checks.count("body")) {
      // Statements: the #include lines go first, the rest into a function.
      std::string body;
      for (const std::string& line : block.lines) {
        if (line.rfind("#include", 0) == 0) {
          unit += line + "\n";
          body += "\n";
        } else {
          body += line + "\n";
        }
      }
      unit += "void DocsExample() {\n" + line_mark + body + "}\n";
    } else {
      unit += line_mark + Join(block.lines);
    }
    const std::string source =
        (scratch_.path() / ("block" + std::to_string(block.line) + ".cc"))
            .string();
    std::ofstream(source) << unit;
    const RunResult result =
        Run(std::string(ZQ_CXX_COMPILER) +
            " -std=c++17 -fsyntax-only -Wall -Wextra -Werror"
            " -Wno-unused-variable -Wno-unused-parameter"
            " -Wno-unused-but-set-variable -Wno-unused-function -I" +
            Quote(kSourceDir) + " -I" + Quote(kSourceDir + "/comenv/include") +
            " " + Quote(source));
    EXPECT_EQ(result.status, 0) << "does not compile:\n" << result.output;
  }

  void CheckJson(const CodeBlock& block) {
    std::string error;
    auto value = base::JSONReader::ReadAndReturnError(
        Join(block.lines), base::JSON_PARSE_RFC, nullptr, &error);
    ASSERT_TRUE(value) << "not valid JSON: " << error;
    if (block.checks.count("same-json")) {
      const std::string path = block.checks.at("same-json");
      auto file = base::JSONReader::ReadAndReturnError(
          ReadFile(kSourceDir + "/" + path), base::JSON_PARSE_RFC, nullptr,
          &error);
      ASSERT_TRUE(file) << path << " is not valid JSON: " << error;
      EXPECT_TRUE(value->Equals(file.get()))
          << "the block does not hold the JSON of " << path;
    }
  }

  // The commands a shell block runs must exist: make targets of the
  // Makefile, zqext commands of the tool.
  void CheckCommandsExist(const std::vector<std::string>& lines) {
    static const std::vector<std::string> targets = MakeTargets();
    for (const std::string& line : lines) {
      std::istringstream words(line);
      std::string first;
      words >> first;
      std::string word;
      if (first == "make") {
        while (words >> word) {
          if (word[0] == '-' || word.find('=') != std::string::npos ||
              word[0] == '#') {
            break;
          }
          EXPECT_NE(std::find(targets.begin(), targets.end(), word),
                    targets.end())
              << "the Makefile has no target " << word;
        }
      } else if (fs::path(first).filename() == "zqext" && words >> word) {
        EXPECT_EQ(Run(Quote(ZQ_ZQEXT) + " " + Quote(word) + " --help").status,
                  0)
            << "zqext has no command " << word;
      }
    }
  }

  void CheckShell(const CodeBlock& block) {
    const std::string script = Join(block.lines);
    const std::string path =
        (scratch_.path() / ("block" + std::to_string(block.line) + ".sh"))
            .string();
    std::ofstream(path) << script;
    const RunResult syntax = Run("bash -n " + Quote(path));
    EXPECT_EQ(syntax.status, 0) << "not valid shell:\n" << syntax.output;
    CheckCommandsExist(block.lines);
    if (!block.checks.count("run"))
      return;
    // make runs the build this test is part of: its lines are checked
    // above, not run.
    std::string runnable;
    for (const std::string& line : block.lines)
      runnable += (line.rfind("make ", 0) == 0 ? ": " : "") + line + "\n";
    std::ofstream(path) << "source " << Quote(state_) << "\nset -e\n"
                        << ToReal(runnable) << "{ export -p; printf 'cd %q\\n' "
                        << "\"$PWD\"; } > " << Quote(state_) << "\n";
    const RunResult run = Run("bash " + Quote(path));
    EXPECT_EQ(run.status, 0) << "failed:\n" << ToShown(run.output);
  }

  void CheckSession(const CodeBlock& block) {
    const std::string command = block.lines[0].substr(2);
    const RunResult run = Run("bash -c " + Quote("source " + Quote(state_) +
                                                 " && " + ToReal(command)));
    std::vector<std::string> expected;
    for (size_t i = 1; i < block.lines.size(); ++i)
      expected.push_back(MaskVolatile(block.lines[i]));
    const std::string shown = ToShown(run.output);
    EXPECT_EQ(MatchWithGaps(expected, SplitLines(shown), /*anchored=*/true), "")
        << "the output of `" << command << "` differs; it is:\n"
        << shown;
  }

  void CheckCMake(const CodeBlock& block) {
    if (sdk_prefix_.empty()) {
      sdk_prefix_ = (scratch_.path() / "sdk").string();
      const RunResult install = Run("cmake --install " + Quote(kBinaryDir) +
                                    " --prefix " + Quote(sdk_prefix_));
      ASSERT_EQ(install.status, 0) << install.output;
    }
    const fs::path project =
        scratch_.path() / ("cmake" + std::to_string(block.line));
    fs::create_directories(project);
    std::string text = Join(block.lines);
    if (text.find("project(") == std::string::npos) {
      text =
          "cmake_minimum_required(VERSION 3.25)\n"
          "project(DocsCheck LANGUAGES CXX)\n" +
          text;
    }
    std::ofstream(project / "CMakeLists.txt") << text;
    // The sources it names exist (empty): configuring checks the package,
    // its version, targets and functions, not the code.
    static const std::regex source("[A-Za-z0-9_./-]+\\.(cc|cpp|h)\\b");
    for (std::sregex_iterator it(text.begin(), text.end(), source), end;
         it != end; ++it) {
      fs::create_directories((project / it->str()).parent_path());
      std::ofstream(project / it->str());
    }
    const RunResult configure =
        Run("cmake -S " + Quote(project.string()) + " -B " +
            Quote((project / "build").string()) +
            " -DCMAKE_CXX_COMPILER=" + Quote(ZQ_CXX_COMPILER) +
            " -DCMAKE_PREFIX_PATH=" + Quote(sdk_prefix_));
    EXPECT_EQ(configure.status, 0) << "does not configure against the "
                                   << "installed SDK:\n"
                                   << configure.output;
  }

  std::string file_;
  ScopedTempDir scratch_;
  std::string home_;
  std::string tmp_;
  std::string state_;
  std::string sdk_prefix_;
  std::map<std::string, std::string> to_real_;
  std::map<std::string, std::string> to_shown_;
};

class DocumentationTest : public testing::TestWithParam<std::string> {};

TEST_P(DocumentationTest, EveryCodeBlockIsCheckedAndPasses) {
  const std::string text = ReadFile(kSourceDir + "/" + GetParam());
  ASSERT_FALSE(text.empty());
  DocSession session(GetParam());
  for (const CodeBlock& block : ExtractCodeBlocks(text))
    session.Check(block);
}

TEST_P(DocumentationTest, EveryRelativeLinkLeadsToAFileAndHeading) {
  const std::string text = ReadFile(kSourceDir + "/" + GetParam());
  const fs::path dir = fs::path(GetParam()).parent_path();
  for (const std::string& link : RelativeLinks(text)) {
    const size_t hash = link.find('#');
    const std::string file = link.substr(0, hash);
    const std::string target =
        file.empty() ? GetParam()
                     : (dir / file).lexically_normal().generic_string();
    ASSERT_TRUE(fs::exists(kSourceDir + "/" + target))
        << GetParam() << ": " << link << " leads to no file";
    if (hash == std::string::npos)
      continue;
    const std::vector<std::string> anchors =
        HeadingAnchors(ReadFile(kSourceDir + "/" + target));
    EXPECT_NE(std::find(anchors.begin(), anchors.end(), link.substr(hash + 1)),
              anchors.end())
        << GetParam() << ": " << link << " names no heading of " << target;
  }
}

INSTANTIATE_TEST_SUITE_P(Files,
                         DocumentationTest,
                         testing::ValuesIn(DocumentedFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c)))
                               c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace docs
}  // namespace test
}  // namespace zqextensionkit
