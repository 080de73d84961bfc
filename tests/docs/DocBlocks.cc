#include "tests/docs/DocBlocks.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <sstream>
#include <utility>

namespace zqextensionkit {
namespace test {
namespace docs {

namespace {

constexpr char kCheckOpen[] = "<!-- docs-check:";
constexpr char kCheckClose[] = "-->";

std::string TrimRight(const std::string& s) {
  size_t end = s.find_last_not_of(" \t\r");
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

std::string Trim(const std::string& s) {
  size_t begin = s.find_first_not_of(" \t\r");
  return begin == std::string::npos ? std::string()
                                    : TrimRight(s.substr(begin));
}

size_t Indentation(const std::string& line) {
  size_t n = line.find_first_not_of(' ');
  return n == std::string::npos ? line.size() : n;
}

// Reads "<!-- docs-check: a b=c -->" into `checks`; false when the line is
// such a comment but cannot be read.
bool ReadChecks(const std::string& line,
                std::map<std::string, std::string>* checks,
                std::string* error) {
  std::string text = Trim(line);
  if (text.rfind(kCheckOpen, 0) != 0)
    return true;
  if (text.size() < sizeof(kCheckOpen) + 2 ||
      text.compare(text.size() - 3, 3, kCheckClose) != 0) {
    *error = "the docs-check comment must be on one line, ending with -->";
    return false;
  }
  std::istringstream words(text.substr(
      sizeof(kCheckOpen) - 1, text.size() - (sizeof(kCheckOpen) - 1) - 3));
  std::string word;
  while (words >> word) {
    size_t eq = word.find('=');
    if (eq == std::string::npos)
      (*checks)[word] = "";
    else
      (*checks)[word.substr(0, eq)] = word.substr(eq + 1);
  }
  return true;
}

bool IsGap(const std::string& line) {
  return Trim(line) == "...";
}

// Whether `segment` matches `actual` at `at`, line for line.
bool SegmentAt(const std::vector<std::string>& segment,
               const std::vector<std::string>& actual,
               size_t at) {
  if (at + segment.size() > actual.size())
    return false;
  for (size_t i = 0; i < segment.size(); ++i) {
    if (TrimRight(segment[i]) != TrimRight(actual[at + i]))
      return false;
  }
  return true;
}

bool IsWordStart(const std::string& text, size_t at) {
  if (at == 0)
    return true;
  const char c = text[at - 1];
  return c == ' ' || c == '\t' || c == '\n' || c == '"' || c == '\'' ||
         c == '=' || c == '(' || c == ':';
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line))
    lines.push_back(line);
  return lines;
}

namespace {

// The lines of `markdown` outside fenced code blocks.
std::vector<std::string> ProseLines(const std::string& markdown) {
  std::vector<std::string> prose;
  bool in_block = false;
  for (const std::string& line : SplitLines(markdown)) {
    if (line.compare(Indentation(line), 3, "```") == 0) {
      in_block = !in_block;
      continue;
    }
    if (!in_block)
      prose.push_back(line);
  }
  return prose;
}

}  // namespace

std::vector<std::string> HeadingAnchors(const std::string& markdown) {
  std::vector<std::string> anchors;
  for (const std::string& line : ProseLines(markdown)) {
    if (line.empty() || line[0] != '#')
      continue;
    const size_t text = line.find_first_not_of('#');
    if (text == std::string::npos || line[text] != ' ')
      continue;
    std::string anchor;
    for (char c : Trim(line.substr(text))) {
      const unsigned char u = static_cast<unsigned char>(c);
      if (std::isalnum(u) || c == '-' || c == '_' || u >= 0x80)
        anchor += static_cast<char>(std::tolower(u));
      else if (c == ' ')
        anchor += '-';
    }
    anchors.push_back(anchor);
  }
  return anchors;
}

std::vector<std::string> RelativeLinks(const std::string& markdown) {
  std::vector<std::string> links;
  static const std::regex code_span("`[^`]*`");
  static const std::regex link("\\]\\(([^)\\s]+)\\)");
  for (const std::string& line : ProseLines(markdown)) {
    const std::string text = std::regex_replace(line, code_span, "``");
    for (std::sregex_iterator it(text.begin(), text.end(), link), end;
         it != end; ++it) {
      const std::string target = (*it)[1];
      if (target.find("://") == std::string::npos &&
          target.rfind("mailto:", 0) != 0) {
        links.push_back(target);
      }
    }
  }
  return links;
}

std::vector<CodeBlock> ExtractCodeBlocks(const std::string& markdown) {
  const std::vector<std::string> lines = SplitLines(markdown);
  std::vector<CodeBlock> blocks;
  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t indent = Indentation(lines[i]);
    if (lines[i].compare(indent, 3, "```") != 0)
      continue;
    CodeBlock block;
    block.line = static_cast<int>(i) + 1;
    std::istringstream info(lines[i].substr(indent + 3));
    info >> block.language;
    if (i > 0)
      ReadChecks(lines[i - 1], &block.checks, &block.error);
    size_t j = i + 1;
    for (; j < lines.size(); ++j) {
      if (Indentation(lines[j]) == indent &&
          TrimRight(lines[j]) == std::string(indent, ' ') + "```") {
        break;
      }
      const std::string& body = lines[j];
      block.lines.push_back(Indentation(body) >= indent ? body.substr(indent)
                                                        : Trim(body));
    }
    if (j == lines.size() && block.error.empty())
      block.error = "the block has no closing fence";
    blocks.push_back(std::move(block));
    i = j;
  }
  return blocks;
}

std::string MatchWithGaps(const std::vector<std::string>& expected,
                          const std::vector<std::string>& actual,
                          bool anchored) {
  // Segments of consecutive lines between the "..." lines.
  std::vector<std::vector<std::string>> segments(1);
  std::vector<size_t> first_lines(1, 0);
  for (size_t i = 0; i < expected.size(); ++i) {
    if (IsGap(expected[i])) {
      segments.emplace_back();
      first_lines.push_back(i + 1);
    } else {
      segments.back().push_back(expected[i]);
    }
  }
  const bool open_start = !anchored || expected.empty() || IsGap(expected[0]);
  const bool open_end = !anchored || expected.empty() || IsGap(expected.back());
  size_t at = 0;
  for (size_t s = 0; s < segments.size(); ++s) {
    const std::vector<std::string>& segment = segments[s];
    if (segment.empty())
      continue;
    const bool fixed_start = s == 0 && !open_start;
    const bool last = s + 1 == segments.size();
    size_t found = std::string::npos;
    if (last && !open_end) {
      // The last segment ends the output.
      if (actual.size() >= segment.size() &&
          actual.size() - segment.size() >= at &&
          SegmentAt(segment, actual, actual.size() - segment.size()) &&
          (!fixed_start || actual.size() == segment.size())) {
        found = actual.size() - segment.size();
      }
    } else if (fixed_start) {
      if (SegmentAt(segment, actual, 0))
        found = 0;
    } else {
      for (size_t k = at; k + segment.size() <= actual.size(); ++k) {
        if (SegmentAt(segment, actual, k)) {
          found = k;
          break;
        }
      }
    }
    if (found == std::string::npos) {
      // Name the first line of the segment that is not where it should be.
      size_t longest = 0;
      for (size_t k = at; k < actual.size(); ++k) {
        size_t n = 0;
        while (n < segment.size() && k + n < actual.size() &&
               TrimRight(segment[n]) == TrimRight(actual[k + n])) {
          ++n;
        }
        longest = std::max(longest, n);
      }
      const size_t missing = std::min(longest, segment.size() - 1);
      return "expected line " + std::to_string(first_lines[s] + missing + 1) +
             " of the block not found where it should be: \"" +
             segment[missing] + "\"";
    }
    at = found + segment.size();
  }
  return "";
}

std::vector<TreeEntry> ParseTree(const std::vector<std::string>& lines) {
  struct Dir {
    size_t indent;
    std::string path;
  };
  std::vector<TreeEntry> entries;
  std::vector<Dir> dirs;
  size_t first = 0;
  while (first < lines.size() && Trim(lines[first]).empty())
    ++first;
  if (first == lines.size())
    return entries;
  bool first_is_root = true;
  for (size_t i = first + 1; i < lines.size(); ++i) {
    if (!Trim(lines[i]).empty() &&
        Indentation(lines[i]) <= Indentation(lines[first])) {
      first_is_root = false;
    }
  }
  if (first_is_root) {
    dirs.push_back({Indentation(lines[first]), ""});
    ++first;
  }
  size_t description_column = 0;
  for (size_t i = first; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (Trim(line).empty())
      continue;
    const size_t indent = Indentation(line);
    if (description_column > 0 && indent >= description_column)
      continue;  // the previous line's description goes on
    std::string content = TrimRight(line.substr(indent));
    const size_t gap = content.find("  ");
    description_column = 0;
    if (gap != std::string::npos) {
      description_column = indent + content.find_first_not_of(' ', gap);
      content = content.substr(0, gap);
    }
    while (!dirs.empty() && dirs.back().indent >= indent &&
           !(first_is_root && dirs.size() == 1)) {
      dirs.pop_back();
    }
    const std::string parent = dirs.empty() ? "" : dirs.back().path;
    std::istringstream words(content);
    std::vector<std::string> paths;
    std::string word;
    while (words >> word)
      paths.push_back(word);
    for (const std::string& path : paths)
      entries.push_back({parent + path, static_cast<int>(i)});
    if (paths.size() == 1 && paths[0].back() == '/')
      dirs.push_back({indent, parent + paths[0]});
  }
  return entries;
}

bool TreePathExists(const std::string& root, const std::string& path) {
  namespace fs = std::filesystem;
  const size_t slash = path.find('/');
  const std::string head = path.substr(0, slash);
  const std::string rest =
      slash == std::string::npos ? "" : path.substr(slash + 1);
  std::vector<std::string> candidates;
  if (head.size() > 2 && head.front() == '<' && head.back() == '>') {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(root, ignored))
      candidates.push_back(entry.path().filename().string());
  } else {
    candidates.push_back(head);
  }
  for (const std::string& name : candidates) {
    const std::string next = root + "/" + name;
    struct stat info;
    if (stat(next.c_str(), &info) != 0)
      continue;
    if (rest.empty() && (slash == std::string::npos || S_ISDIR(info.st_mode)))
      return true;
    if (!rest.empty() && S_ISDIR(info.st_mode) && TreePathExists(next, rest))
      return true;
  }
  return false;
}

std::string ReplaceAll(std::string text,
                       const std::map<std::string, std::string>& replacements) {
  std::vector<std::pair<std::string, std::string>> ordered(replacements.begin(),
                                                           replacements.end());
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto& a, const auto& b) {
                     return a.first.size() > b.first.size();
                   });
  // Replaced text is never looked at again: each position is taken by the
  // longest key that starts a word there.
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    bool replaced = false;
    if (IsWordStart(text, at)) {
      for (const auto& [from, to] : ordered) {
        if (!from.empty() && text.compare(at, from.size(), from) == 0) {
          out += to;
          at += from.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced)
      out += text[at++];
  }
  return out;
}

std::string MaskVolatile(const std::string& text) {
  static const std::regex md5("\\b[0-9a-f]{32}\\b");
  static const std::regex guid(
      "\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-"
      "Fa-f]{12}\\}");
  return std::regex_replace(std::regex_replace(text, md5, "<md5>"), guid,
                            "{<guid>}");
}

}  // namespace docs
}  // namespace test
}  // namespace zqextensionkit
