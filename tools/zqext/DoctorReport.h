// DoctorReport: what `zqext doctor` found in an installation, as a list of
// findings in the order they were made, rendered for people (grouped by
// file) or as one JSON document for machines.
//
// A finding names the file it is about, relative to the installation
// directory ("" for the installation as a whole), and for JSON texts the
// 1-based line and column of the fault when there is one. Problems are what
// make the kit skip, refuse or misread something; notes explain without
// blaming; ok lines say what was checked and passed.
//
// Not thread-safe; one report per run.

#ifndef TOOLS_ZQEXT_DOCTORREPORT_H_
#define TOOLS_ZQEXT_DOCTORREPORT_H_

#include <string>
#include <vector>

namespace zqext {

enum class Severity { kOk, kNote, kProblem };

struct Finding {
  Severity severity = Severity::kOk;
  std::string file;
  int line = 0;    // 0: no position.
  int column = 0;  // 0: no position.
  std::string message;
};

class DoctorReport {
 public:
  explicit DoctorReport(std::string installation_dir);

  void Ok(const std::string& file, const std::string& message);
  void Note(const std::string& file, const std::string& message);
  void Problem(const std::string& file,
               const std::string& message,
               int line = 0,
               int column = 0);

  const std::vector<Finding>& findings() const { return findings_; }
  int Count(Severity severity) const;

  // Files in order of their first finding, each followed by its findings,
  // then a summary line.
  std::string ToText() const;
  // {"installation": ..., "ok": bool, "problems": n, "notes": n,
  //  "passed": n, "findings": [{"severity": "ok"|"note"|"problem",
  //  "file": ..., "line": n, "column": n, "message": ...}, ...]}
  // "line" and "column" appear only for a finding with a position.
  std::string ToJson() const;

 private:
  void Add(Severity severity,
           const std::string& file,
           const std::string& message,
           int line,
           int column);

  std::string installation_dir_;
  std::vector<Finding> findings_;
};

// `text` as a JSON string literal, quotes included. Bytes of 0x80 and above
// pass through unchanged, so UTF-8 stays UTF-8.
std::string JsonQuote(const std::string& text);

}  // namespace zqext

#endif  // TOOLS_ZQEXT_DOCTORREPORT_H_
