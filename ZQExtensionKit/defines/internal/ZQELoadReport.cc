#include "ZQExtensionKit/defines/internal/ZQELoadReport.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>

#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/trace/internal/ZQETrace.h"
#include "base/json/json_writer.h"
#include "base/values.h"

namespace zqextensionkit {

namespace {

thread_local ZQELoadReport* g_current_report = nullptr;

// As the log service formats: cut at 4095 characters.
std::string Format(const char* format, va_list args)
    __attribute__((format(printf, 1, 0)));
std::string Format(const char* format, va_list args) {
  char buffer[4096];
  if (vsnprintf(buffer, sizeof(buffer), format, args) < 0)
    buffer[0] = '\0';
  return std::string(buffer);
}

std::string Explain(ZQELoadReport::Severity severity,
                    const std::string& file,
                    int line,
                    int column,
                    const char* format,
                    va_list args) __attribute__((format(printf, 5, 0)));
std::string Explain(ZQELoadReport::Severity severity,
                    const std::string& file,
                    int line,
                    int column,
                    const char* format,
                    va_list args) {
  std::string message = Format(format, args);
  ZQELogService::GetInstance()->LogMessage(kLoadExplanationLogLevel, "%s",
                                           message.c_str());
  if (ZQELoadReport* report = ZQELoadReport::Current())
    report->AddFinding(severity, file, line, column, message);
  return message;
}

int Count(size_t count) {
  return count > static_cast<size_t>(INT32_MAX) ? INT32_MAX
                                                : static_cast<int>(count);
}

}  // namespace

const char* const ZQELoadReport::kOutcomeNames[kOutcomeCount] = {
    "loaded", "refused", "skipped", "deferred"};

namespace {

// The report's count of the packages of each outcome, indexed by Outcome.
const char* const kOutcomeCountKeys[ZQELoadReport::kOutcomeCount] = {
    "packagesLoaded", "packagesRefused", "packagesSkipped", "packagesDeferred"};

}  // namespace

ZQELoadReport::ZQELoadReport() = default;

ZQELoadReport::~ZQELoadReport() = default;

// static
ZQELoadReport* ZQELoadReport::Current() {
  return g_current_report;
}

ZQELoadReport::Scope::Scope(ZQELoadReport* report)
    : previous_(g_current_report) {
  g_current_report = report;
}

ZQELoadReport::Scope::~Scope() {
  g_current_report = previous_;
}

void ZQELoadReport::SetInstallationDir(const std::string& dir) {
  installation_dir_ = dir;
}

void ZQELoadReport::SetResult(bool loaded) {
  ran_ = true;
  loaded_ = loaded;
}

void ZQELoadReport::AddFinding(Severity severity,
                               const std::string& file,
                               int line,
                               int column,
                               const std::string& message) {
  findings_.push_back(Finding{severity, file, line, column, message});
}

ZQELoadReport::Package& ZQELoadReport::PackageAt(const std::string& dir) {
  for (Package& package : packages_) {
    if (package.dir == dir)
      return package;
  }
  packages_.emplace_back();
  packages_.back().dir = dir;
  return packages_.back();
}

void ZQELoadReport::AddPackage(const std::string& dir, const std::string& id) {
  PackageAt(dir).id = id;
}

void ZQELoadReport::SetPackageOutcome(const std::string& dir,
                                      Outcome outcome,
                                      const char* reason,
                                      const std::string& message) {
  Package& package = PackageAt(dir);
  // An equal outcome keeps the first reason: the earlier step caused it.
  if (Rank(outcome) < Rank(package.outcome) ||
      (outcome == package.outcome && !package.reason.empty())) {
    return;
  }
  package.outcome = outcome;
  package.reason = reason ? reason : "";
  package.message = message;
}

void ZQELoadReport::AddLoadedLibrary(const std::string& path) {
  libraries_.insert(path);
}

void ZQELoadReport::DeferPackage(const std::string& dir) {
  Package& package = PackageAt(dir);
  if (package.outcome == Outcome::kLoaded && package.reason.empty())
    package.outcome = Outcome::kDeferred;
}

void ZQELoadReport::MergeLaterSteps(const ZQELoadReport& later) {
  findings_.insert(findings_.end(), later.findings_.begin(),
                   later.findings_.end());
  libraries_.insert(later.libraries_.begin(), later.libraries_.end());
  for (const Package& step : later.packages_) {
    Package& package = PackageAt(step.dir);
    if (package.id.empty())
      package.id = step.id;
    if (package.outcome == Outcome::kDeferred) {
      package.outcome = step.outcome;
      package.reason = step.reason;
      package.message = step.message;
    } else if (step.outcome != Outcome::kLoaded || !step.reason.empty()) {
      SetPackageOutcome(step.dir, step.outcome, step.reason.c_str(),
                        step.message);
    }
  }
}

// static
int ZQELoadReport::Rank(Outcome outcome) {
  switch (outcome) {
    case Outcome::kDeferred:
      return 0;
    case Outcome::kLoaded:
      return 1;
    case Outcome::kRefused:
      return 2;
    case Outcome::kSkipped:
      return 3;
  }
  return 0;
}

size_t ZQELoadReport::CountPackages(Outcome outcome) const {
  size_t count = 0;
  for (const Package& package : packages_)
    count += package.outcome == outcome;
  return count;
}

std::string ZQELoadReport::ToJson() const {
  base::DictionaryValue root;
  root.SetStringWithoutPathExpansion("installation", installation_dir_);
  root.SetStringWithoutPathExpansion("load", !ran_     ? "not run"
                                             : loaded_ ? "succeeded"
                                                       : "failed");

  size_t problems = 0;
  auto findings = std::make_unique<base::ListValue>();
  for (const Finding& finding : findings_) {
    auto item = std::make_unique<base::DictionaryValue>();
    const bool problem = finding.severity == Severity::kProblem;
    problems += problem;
    item->SetStringWithoutPathExpansion("severity",
                                        problem ? "problem" : "note");
    item->SetStringWithoutPathExpansion("file", finding.file);
    if (finding.line > 0) {
      item->SetIntegerWithoutPathExpansion("line", finding.line);
      item->SetIntegerWithoutPathExpansion("column", finding.column);
    }
    item->SetStringWithoutPathExpansion("message", finding.message);
    findings->Append(std::move(item));
  }
  root.SetBooleanWithoutPathExpansion("ok", problems == 0);
  root.SetIntegerWithoutPathExpansion("problems", Count(problems));
  root.SetIntegerWithoutPathExpansion("notes",
                                      Count(findings_.size() - problems));
  root.SetWithoutPathExpansion("findings", std::move(findings));

  auto packages = std::make_unique<base::ListValue>();
  for (const Package& package : packages_) {
    auto item = std::make_unique<base::DictionaryValue>();
    item->SetStringWithoutPathExpansion("path", package.dir);
    item->SetStringWithoutPathExpansion("id", package.id);
    item->SetStringWithoutPathExpansion(
        "outcome", kOutcomeNames[static_cast<size_t>(package.outcome)]);
    item->SetStringWithoutPathExpansion("reason", package.reason);
    item->SetStringWithoutPathExpansion("message", package.message);
    packages->Append(std::move(item));
  }
  root.SetWithoutPathExpansion("packages", std::move(packages));
  for (size_t i = 0; i < kOutcomeCount; ++i) {
    root.SetIntegerWithoutPathExpansion(
        kOutcomeCountKeys[i], Count(CountPackages(static_cast<Outcome>(i))));
  }
  root.SetIntegerWithoutPathExpansion("librariesLoaded",
                                      Count(libraries_.size()));

  std::string json;
  base::JSONWriter::WriteWithOptions(
      root, base::JSONWriter::OPTIONS_PRETTY_PRINT, &json);
  return json;
}

void ExplainLoadStep(ZQELoadReport::Severity severity,
                     const std::string& file,
                     int line,
                     int column,
                     const char* format,
                     ...) {
  va_list args;
  va_start(args, format);
  Explain(severity, file, line, column, format, args);
  va_end(args);
}

void ExplainPackage(const std::string& dir,
                    ZQELoadReport::Outcome outcome,
                    const char* reason,
                    const std::string& file,
                    int line,
                    int column,
                    const char* format,
                    ...) {
  va_list args;
  va_start(args, format);
  const std::string message = Explain(ZQELoadReport::Severity::kProblem, file,
                                      line, column, format, args);
  va_end(args);
  if (ZQELoadReport* report = ZQELoadReport::Current())
    report->SetPackageOutcome(dir, outcome, reason, message);
  ZQETraceSpan::NotePackageOutcome(
      ZQELoadReport::kOutcomeNames[static_cast<size_t>(outcome)], reason);
}

}  // namespace zqextensionkit
