// ZQELoadReport: what one ZQExtensionManager::Load() found, step by step,
// for the host to read back as JSON (ZQExtensionManager::GetLoadReport()).
//
// The extension manager makes one report per Load() and makes it current on
// the loading thread (Scope); the configuration and bundle managers, which
// run on that thread during the load, explain each step that failed or was
// skipped with ExplainLoadStep() or ExplainPackage(): one log message at
// kLoadExplanationLogLevel, and the same text in the current report, if
// there is one. A step explained outside a Load() (a host calling the
// configuration manager itself) is logged all the same.
//
// A package is known by its directory. Its outcome only ever moves up the
// order loaded, refused, skipped, so the step that says most about it wins:
// a package the configuration skipped stays skipped when its library is
// refused as well. A deferred package (a load that leaves libraries to their
// first use) is below them all: the first step that says anything about it
// replaces it. Outcomes and reasons are written as the texts of
// kOutcomeNames and the load_reason tokens; new ones go at the end of each.
//
// A library loaded after its Load() (on first use) is explained into a
// report of its own, current on the thread that loads it, which the
// extension manager then merges into the load's report (MergeLaterSteps).
//
// Not thread-safe: a report belongs to the thread that loads. Once its
// load has ended the extension manager keeps it under a lock of its own.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQELOADREPORT_H_
#define ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQELOADREPORT_H_

#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace zqextensionkit {

// The log level of the messages that explain a Load(): each failed or
// skipped step, and the summary at its end.
inline constexpr int kLoadExplanationLogLevel = 3;

// Why a package was skipped or refused, as the report writes it.
namespace load_reason {
// Skipped by the configuration manager.
inline constexpr char kOutsideExtensions[] = "outside-extensions";
inline constexpr char kPackageMissing[] = "package-missing";
inline constexpr char kManifestMissing[] = "manifest-missing";
inline constexpr char kManifestUnreadable[] = "manifest-unreadable";
inline constexpr char kManifestInvalid[] = "manifest-invalid";
inline constexpr char kFoundationVersion[] = "foundation-version";
// Refused by the bundle manager.
inline constexpr char kLibraryMissing[] = "library-missing";
inline constexpr char kLibraryUnreadable[] = "library-unreadable";
inline constexpr char kMd5[] = "md5";
inline constexpr char kSignature[] = "signature";
inline constexpr char kNotALibrary[] = "not-a-library";
inline constexpr char kDynamicLoader[] = "dynamic-loader";
inline constexpr char kEntryPoint[] = "entry-point";
inline constexpr char kClassFactory[] = "class-factory";
// Loaded, but the library made no bundle object.
inline constexpr char kBundleClass[] = "bundle-class";
}  // namespace load_reason

class ZQELoadReport {
 public:
  enum class Severity { kNote, kProblem };
  // kLoaded, kRefused and kSkipped in rising order of what they say about a
  // package; kDeferred (its library is left to its first use) says least.
  enum class Outcome { kLoaded, kRefused, kSkipped, kDeferred };
  static constexpr size_t kOutcomeCount = 4;
  // "loaded", "refused", "skipped", "deferred": indexed by Outcome.
  static const char* const kOutcomeNames[kOutcomeCount];

  ZQELoadReport();
  ~ZQELoadReport();
  ZQELoadReport(const ZQELoadReport&) = delete;
  ZQELoadReport& operator=(const ZQELoadReport&) = delete;

  // The report of the Load() running on this thread, or null.
  static ZQELoadReport* Current();

  // Makes `report` current on this thread while it lives (loads may nest:
  // the previous one comes back).
  class Scope {
   public:
    explicit Scope(ZQELoadReport* report);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    ZQELoadReport* previous_;
  };

  void SetInstallationDir(const std::string& dir);
  // The configuration's result; marks the report as made by a load.
  void SetResult(bool loaded);

  void AddFinding(Severity severity,
                  const std::string& file,
                  int line,
                  int column,
                  const std::string& message);
  // The package in `dir` parsed, with manifest id `id`: loaded unless a
  // step says otherwise.
  void AddPackage(const std::string& dir, const std::string& id);
  // What a step says about the package in `dir` (added if unknown).
  void SetPackageOutcome(const std::string& dir,
                         Outcome outcome,
                         const char* reason,
                         const std::string& message);
  // The library at `path` is loaded (now or by an earlier load).
  void AddLoadedLibrary(const std::string& path);
  // The library of the package in `dir` is left to its first use: a
  // package loaded so far (nothing said about it) becomes deferred; any
  // other outcome stays.
  void DeferPackage(const std::string& dir);
  // Adds what `later` (the report of a library loaded after this load)
  // found: its findings and loaded libraries, and the outcome of each of
  // its packages, which replaces a deferred one here and otherwise counts
  // as a step of this report.
  void MergeLaterSteps(const ZQELoadReport& later);

  const std::string& installation_dir() const { return installation_dir_; }
  size_t CountPackages(Outcome outcome) const;
  size_t CountLoadedLibraries() const { return libraries_.size(); }

  // {"installation": ..., "load": "succeeded"|"failed"|"not run",
  //  "ok": bool, "problems": n, "notes": n,
  //  "packagesLoaded": n, "packagesRefused": n, "packagesSkipped": n,
  //  "packagesDeferred": n, "librariesLoaded": n,
  //  "findings": [{"severity": "problem"|"note", "file": ..., "line": n,
  //                "column": n, "message": ...}, ...],
  //  "packages": [{"path": ..., "id": ..., "outcome": ..., "reason": ...,
  //                "message": ...}, ...]}
  // "line" and "column" only for a finding with a position; packages in
  // the order the configuration lists them.
  std::string ToJson() const;

 private:
  struct Finding {
    Severity severity;
    std::string file;
    int line;
    int column;
    std::string message;
  };
  struct Package {
    std::string dir;
    std::string id;
    Outcome outcome = Outcome::kLoaded;
    std::string reason;
    std::string message;
  };

  Package& PackageAt(const std::string& dir);
  // Where `outcome` stands in the order of what it says about a package.
  static int Rank(Outcome outcome);

  bool ran_ = false;
  bool loaded_ = false;
  std::string installation_dir_;
  std::vector<Finding> findings_;
  std::vector<Package> packages_;
  std::set<std::string> libraries_;
};

// Logs the printf-style message at kLoadExplanationLogLevel and adds it, as
// a finding of `severity` about `file` (line and column: 0 for none), to
// the current report.
void ExplainLoadStep(ZQELoadReport::Severity severity,
                     const std::string& file,
                     int line,
                     int column,
                     const char* format,
                     ...) __attribute__((format(printf, 5, 6)));

// As ExplainLoadStep() (a problem), and sets the outcome of the package in
// `dir` with `reason` and the message; the trace span of the package that
// is open on this thread, if any, takes the outcome and reason too.
void ExplainPackage(const std::string& dir,
                    ZQELoadReport::Outcome outcome,
                    const char* reason,
                    const std::string& file,
                    int line,
                    int column,
                    const char* format,
                    ...) __attribute__((format(printf, 7, 8)));

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQELOADREPORT_H_
