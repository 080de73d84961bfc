#include "tools/zqext/DoctorReport.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace zqext {

namespace {

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kOk:
      return "ok";
    case Severity::kNote:
      return "note";
    case Severity::kProblem:
      return "problem";
  }
  return "";
}

std::string Plural(int count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

std::string JsonQuote(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof(escape), "\\u%04x",
                        static_cast<unsigned>(static_cast<unsigned char>(c)));
          quoted += escape;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + "\"";
}

DoctorReport::DoctorReport(std::string installation_dir)
    : installation_dir_(std::move(installation_dir)) {}

void DoctorReport::Ok(const std::string& file, const std::string& message) {
  Add(Severity::kOk, file, message, 0, 0);
}

void DoctorReport::Note(const std::string& file, const std::string& message) {
  Add(Severity::kNote, file, message, 0, 0);
}

void DoctorReport::Problem(const std::string& file,
                           const std::string& message,
                           int line,
                           int column) {
  Add(Severity::kProblem, file, message, line, column);
}

void DoctorReport::Add(Severity severity,
                       const std::string& file,
                       const std::string& message,
                       int line,
                       int column) {
  findings_.push_back(Finding{severity, file, line, column, message});
}

int DoctorReport::Count(Severity severity) const {
  return static_cast<int>(std::count_if(findings_.begin(), findings_.end(),
                                        [severity](const Finding& finding) {
                                          return finding.severity == severity;
                                        }));
}

std::string DoctorReport::ToText() const {
  std::vector<std::string> files;
  for (const Finding& finding : findings_) {
    if (std::find(files.begin(), files.end(), finding.file) == files.end())
      files.push_back(finding.file);
  }
  std::string text = "Installation " + installation_dir_ + "\n";
  for (const std::string& file : files) {
    text += (file.empty() ? std::string("(installation)") : file) + "\n";
    for (const Finding& finding : findings_) {
      if (finding.file != file)
        continue;
      char label[16];
      std::snprintf(label, sizeof(label), "  %-9s",
                    SeverityName(finding.severity));
      text += label;
      if (finding.line > 0) {
        text += "line " + std::to_string(finding.line) + ", column " +
                std::to_string(finding.column) + ": ";
      }
      text += finding.message + "\n";
    }
  }
  const int problems = Count(Severity::kProblem);
  text += problems == 0 ? std::string("No problems found")
                        : Plural(problems, "problem") + " found";
  text += " (" + Plural(Count(Severity::kOk), "check") + " passed, " +
          Plural(Count(Severity::kNote), "note") + ").\n";
  return text;
}

std::string DoctorReport::ToJson() const {
  const int problems = Count(Severity::kProblem);
  std::string json = "{\"installation\": " + JsonQuote(installation_dir_) +
                     ", \"ok\": " + (problems == 0 ? "true" : "false") +
                     ", \"problems\": " + std::to_string(problems) +
                     ", \"notes\": " + std::to_string(Count(Severity::kNote)) +
                     ", \"passed\": " + std::to_string(Count(Severity::kOk)) +
                     ", \"findings\": [";
  for (size_t i = 0; i < findings_.size(); ++i) {
    const Finding& finding = findings_[i];
    json += i == 0 ? "\n  " : ",\n  ";
    json += "{\"severity\": \"" + std::string(SeverityName(finding.severity)) +
            "\", \"file\": " + JsonQuote(finding.file);
    if (finding.line > 0) {
      json += ", \"line\": " + std::to_string(finding.line) +
              ", \"column\": " + std::to_string(finding.column);
    }
    json += ", \"message\": " + JsonQuote(finding.message) + "}";
  }
  json += findings_.empty() ? "]}\n" : "\n]}\n";
  return json;
}

}  // namespace zqext
