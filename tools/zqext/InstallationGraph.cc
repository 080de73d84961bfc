#include "tools/zqext/InstallationGraph.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "ZQExtensionKit/config/internal/ZQEInstallationFiles.h"
#include "tools/zqext/Files.h"

extern char** environ;

namespace zqext {

namespace {

// Colours: lines and fills of what is fine, noted, or a problem.
constexpr char kLine[] = "#546e7a";
constexpr char kGoodLine[] = "#2e7d32";
constexpr char kNoteLine[] = "#b28704";
constexpr char kNoteFill[] = "#fff8e1";
constexpr char kProblemLine[] = "#c62828";
constexpr char kProblemFill[] = "#fdecea";
constexpr char kAdapterLine[] = "#1565c0";

// Finding texts are wrapped at this many characters.
constexpr size_t kWrapWidth = 60;

constexpr char kMetadataOpen[] = "<metadata id=\"zqext-graph-dot\"><![CDATA[";
constexpr char kMetadataClose[] = "]]></metadata>";

// `text` for a DOT quoted string: backslashes and quotes escaped, so no
// Graphviz escape (\N, \G, \l, ...) is read into it.
std::string Escape(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\\' || c == '"')
      escaped += '\\';
    if (c == '\n')
      escaped += "\\n";
    else
      escaped += c;
  }
  return escaped;
}

std::string Quote(const std::string& text) {
  return "\"" + Escape(text) + "\"";
}

// A label of centred lines.
std::string Lines(const std::vector<std::string>& lines) {
  std::string label;
  for (const std::string& line : lines)
    label += (label.empty() ? "" : "\\n") + Escape(line);
  return "\"" + label + "\"";
}

// A label of left-aligned lines, `text` wrapped at spaces.
std::string Wrapped(const std::string& text) {
  std::string label;
  std::string line;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos)
      end = text.size();
    const std::string word = text.substr(at, end - at);
    if (!line.empty() && line.size() + 1 + word.size() > kWrapWidth) {
      label += Escape(line) + "\\l";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    at = end + 1;
  }
  label += Escape(line) + "\\l";
  return "\"" + label + "\"";
}

std::string Plural(size_t count, const char* singular, const char* plural) {
  return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

const char* LibraryState(InstallationMap::Library state) {
  switch (state) {
    case InstallationMap::Library::kNone:
      return "";
    case InstallationMap::Library::kMatches:
      return "MD5 matches the manifest";
    case InstallationMap::Library::kDiffers:
      return "MD5 differs from the manifest";
    case InstallationMap::Library::kNotRecorded:
      return "no MD5 in the manifest";
    case InstallationMap::Library::kUnreadable:
      return "cannot be read";
    case InstallationMap::Library::kMissing:
      return "missing";
    case InstallationMap::Library::kOutside:
      return "outside the package";
  }
  return "";
}

std::string PackageNode(const InstallationMap::Package& package) {
  return "package:" + package.dir;
}

std::string PointNode(const std::string& id) {
  return "point:" + id;
}

class GraphWriter {
 public:
  GraphWriter(const InstallationMap& map, const DoctorReport& report)
      : map_(map), report_(report) {}

  std::string Write() {
    for (const InstallationMap::Package& package : map_.packages) {
      for (const InstallationMap::Point& point : package.points)
        declared_points_.insert(point.id);
    }
    Line("digraph installation {");
    Line(
        "  graph [rankdir=LR, fontname=\"Helvetica\", fontsize=12, "
        "labelloc=t, nodesep=0.25, ranksep=0.5, label=" +
        Quote(Summary()) + "];");
    Line(
        "  node [fontname=\"Helvetica\", fontsize=10, shape=box, "
        "style=\"rounded,filled\", fillcolor=\"#ffffff\", color=\"" +
        std::string(kLine) + "\"];");
    Line("  edge [fontname=\"Helvetica\", fontsize=9, color=\"" +
         std::string(kLine) + "\", fontcolor=\"" + kLine + "\"];");
    Line("");
    const std::string config = std::string(zqextensionkit::kExtensionsDirName) +
                               "/" + zqextensionkit::kConfigFileName;
    Node("  ", "config",
         "shape=note, label=" +
             Lines({config, map_.config_loaded
                                ? "lists " + Plural(map_.packages.size(),
                                                    "package", "packages")
                                : std::string("not loaded")}));
    Node("  ", "mapping",
         "shape=note, label=" +
             Lines({zqextensionkit::kAdapterMappingFileName,
                    Plural(map_.adapters.size(), "adapter entry",
                           "adapter entries")}));
    Findings("  ", "config");
    Findings("  ", "mapping");
    for (const InstallationMap::Package& package : map_.packages)
      Package(package);
    Adapters();
    Line("");
    for (const std::string& edge : edges_)
      Line("  " + edge);
    Line("}");
    return text_;
  }

 private:
  void Line(const std::string& line) { text_ += line + "\n"; }

  std::string Summary() const {
    const int problems = report_.Count(Severity::kProblem);
    const int notes = report_.Count(Severity::kNote);
    return "Installation: " +
           Plural(map_.packages.size(), "package", "packages") + ", " +
           Plural(static_cast<size_t>(problems), "problem", "problems") + ", " +
           Plural(static_cast<size_t>(notes), "note", "notes");
  }

  // The node that findings about `file` hang from.
  std::string SubjectOf(const std::string& file) const {
    if (file == zqextensionkit::kAdapterMappingFileName)
      return "mapping";
    const InstallationMap::Package* best = nullptr;
    for (const InstallationMap::Package& package : map_.packages) {
      const bool inside =
          file == package.dir || file.rfind(package.dir + "/", 0) == 0;
      if (inside && (!best || package.dir.size() > best->dir.size()))
        best = &package;
    }
    return best ? PackageNode(*best) : "config";
  }

  // The worst severity of the findings that hang from `subject`.
  Severity Worst(const std::string& subject) const {
    Severity worst = Severity::kOk;
    for (const Finding& finding : report_.findings()) {
      if (finding.severity > worst && SubjectOf(finding.file) == subject)
        worst = finding.severity;
    }
    return worst;
  }

  // Writes the node `id` once, its line coloured by the findings about it.
  void Node(const std::string& indent,
            const std::string& id,
            const std::string& attributes) {
    if (!defined_.insert(id).second)
      return;
    std::string colour;
    switch (Worst(id)) {
      case Severity::kProblem:
        colour = std::string(", color=\"") + kProblemLine + "\", penwidth=2";
        break;
      case Severity::kNote:
        colour = std::string(", color=\"") + kNoteLine + "\"";
        break;
      case Severity::kOk:
        break;
    }
    Line(indent + Quote(id) + " [" + attributes + colour + "];");
  }

  void Edge(const std::string& from,
            const std::string& to,
            const std::string& attributes = "") {
    edges_.push_back(Quote(from) + " -> " + Quote(to) +
                     (attributes.empty() ? "" : " [" + attributes + "]") + ";");
  }

  // One node per problem and note about `subject`, in the doctor's order.
  void Findings(const std::string& indent, const std::string& subject) {
    for (const Finding& finding : report_.findings()) {
      if (finding.severity == Severity::kOk ||
          SubjectOf(finding.file) != subject) {
        continue;
      }
      const bool problem = finding.severity == Severity::kProblem;
      const std::string id = "finding:" + std::to_string(++findings_);
      std::string text = problem ? "problem: " : "note: ";
      if (finding.line > 0) {
        text += "line " + std::to_string(finding.line) + ", column " +
                std::to_string(finding.column) + ": ";
      }
      text += finding.message;
      const char* line = problem ? kProblemLine : kNoteLine;
      Line(indent + Quote(id) + " [shape=box, style=filled, fillcolor=\"" +
           (problem ? kProblemFill : kNoteFill) + "\", color=\"" + line +
           "\", fontcolor=\"" + line + "\", label=" + Wrapped(text) + "];");
      Edge(subject, id,
           std::string("style=dotted, arrowhead=none, color=\"") + line + "\"");
    }
  }

  void Package(const InstallationMap::Package& package) {
    const std::string node = PackageNode(package);
    const std::string indent = "    ";
    Line("");
    Line("  subgraph " + Quote("cluster_" + node) + " {");
    Line(indent + "graph [label=\"\", style=rounded, color=\"#b0bec5\"];");
    std::vector<std::string> label;
    if (package.loaded) {
      label = {"package " + package.id + " " + package.version,
               package.dir + "/"};
      if (!package.accepted)
        label.push_back("not for this foundation version");
    } else {
      label = {package.dir + "/", "not loaded"};
    }
    Node(indent, node, "shape=folder, label=" + Lines(label));
    Edge("config", node);
    if (package.library_state != InstallationMap::Library::kNone) {
      const std::string library = "library:" + package.dir;
      std::vector<std::string> lines = {package.library,
                                        LibraryState(package.library_state)};
      if (!package.bundle_clsid.empty())
        lines.push_back("bundle class " + package.bundle_clsid);
      const bool good =
          package.library_state == InstallationMap::Library::kMatches;
      Node(indent, library,
           "shape=component, style=filled, label=" + Lines(lines) +
               ", color=\"" + (good ? kGoodLine : kProblemLine) + "\"");
      Edge(node, library, "label=\"mainEntry\"");
    }
    for (const InstallationMap::Point& point : package.points) {
      const std::string point_node = PointNode(point.id);
      const bool internal = package.id == zqextensionkit::kAdapterArtifactId;
      Node(indent, point_node,
           "shape=ellipse, style=filled, label=" +
               Lines({(internal ? "internal point " : "point ") + point.id,
                      point.iid.empty() ? "no interface"
                                        : "interface " + point.iid}));
      Edge(node, point_node);
      for (const InstallationMap::Extension& extension : point.extensions) {
        const std::string extension_node =
            "extension:" + package.dir + "/" + point.id + "/" + extension.id;
        Node(
            indent, extension_node,
            "label=" + Lines({extension.id, extension.clsid.empty()
                                                ? "no class"
                                                : "class " + extension.clsid}));
        Edge(point_node, extension_node);
      }
    }
    Findings(indent, node);
    Line("  }");
  }

  void Adapters() {
    if (map_.adapters.empty())
      return;
    Line("");
    for (const InstallationMap::Adapter& adapter : map_.adapters) {
      for (const std::string& point : {adapter.source, adapter.target}) {
        if (!point.empty() && !declared_points_.count(point)) {
          Node("  ", PointNode(point),
               "shape=ellipse, style=\"filled,dashed\", label=" +
                   Lines({"point " + point, "declared by no package"}));
        }
      }
      Edge("mapping", PointNode(adapter.source),
           "style=dotted, arrowhead=none");
      if (adapter.target.empty())
        continue;
      const char* colour = adapter.valid ? kAdapterLine : kProblemLine;
      Edge(PointNode(adapter.source), PointNode(adapter.target),
           "style=dashed, color=\"" + std::string(colour) + "\", fontcolor=\"" +
               colour + "\", label=" +
               Lines({"adapter",
                      adapter.clsid.empty() ? "no class" : adapter.clsid}));
    }
  }

  const InstallationMap& map_;
  const DoctorReport& report_;
  std::set<std::string> declared_points_;
  std::set<std::string> defined_;
  std::vector<std::string> edges_;
  int findings_ = 0;
  std::string text_;
};

// A temporary file that is removed with this object.
class TempFile {
 public:
  explicit TempFile(const char* suffix) {
    std::error_code ec;
    std::string path = (std::filesystem::temp_directory_path(ec) /
                        ("zqext-graph-XXXXXX" + std::string(suffix)))
                           .string();
    const int fd = mkstemps(path.data(), static_cast<int>(strlen(suffix)));
    if (fd >= 0) {
      close(fd);
      path_ = path;
    }
  }
  ~TempFile() {
    if (!path_.empty())
      unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

std::string InstallationGraph(const InstallationMap& map,
                              const DoctorReport& report) {
  return GraphWriter(map, report).Write();
}

RenderStatus RenderSvg(const std::string& dot_text,
                       const std::string& out,
                       std::string* error) {
  TempFile input(".dot");
  TempFile output(".svg");
  if (input.path().empty() || output.path().empty()) {
    *error = "cannot create a temporary file: " + std::string(strerror(errno));
    return RenderStatus::kFailed;
  }
  if (!WriteFile(input.path(), dot_text, 0600, error))
    return RenderStatus::kFailed;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                   O_RDONLY, 0);
  std::vector<std::string> arguments = {"dot", "-Tsvg", "-o", output.path(),
                                        input.path()};
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned =
      posix_spawnp(&pid, "dot", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned == ENOENT) {
    *error =
        "Graphviz's dot is not installed (not on PATH): install the graphviz "
        "package (scripts/install-deps.sh does), or leave out --svg and "
        "render the DOT text elsewhere";
    return RenderStatus::kNoGraphviz;
  }
  if (spawned != 0) {
    *error = "cannot run Graphviz's dot: " + std::string(strerror(spawned));
    return RenderStatus::kFailed;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "Graphviz's dot failed to draw the graph";
    return RenderStatus::kFailed;
  }

  std::string svg;
  if (!ReadFile(output.path(), 256 << 20, &svg, error))
    return RenderStatus::kFailed;
  const size_t open = svg.find("<svg");
  const size_t end = open == std::string::npos ? open : svg.find('>', open);
  if (end == std::string::npos) {
    *error = "Graphviz's dot wrote no SVG";
    return RenderStatus::kFailed;
  }
  // CDATA cannot hold "]]>": split it across two sections.
  std::string embedded;
  for (size_t at = 0; at < dot_text.size();) {
    const size_t next = dot_text.find("]]>", at);
    if (next == std::string::npos) {
      embedded += dot_text.substr(at);
      break;
    }
    embedded += dot_text.substr(at, next - at) + "]]]]><![CDATA[>";
    at = next + 3;
  }
  svg.insert(end + 1,
             "\n" + std::string(kMetadataOpen) + embedded + kMetadataClose);
  return WriteFile(out, svg, 0644, error) ? RenderStatus::kDone
                                          : RenderStatus::kFailed;
}

std::string EmbeddedDot(const std::string& svg) {
  const size_t open = svg.find(kMetadataOpen);
  if (open == std::string::npos)
    return "";
  const size_t begin = open + strlen(kMetadataOpen);
  const size_t close = svg.find(kMetadataClose, begin);
  if (close == std::string::npos)
    return "";
  std::string dot = svg.substr(begin, close - begin);
  const std::string split = "]]]]><![CDATA[>";
  for (size_t at = dot.find(split); at != std::string::npos;
       at = dot.find(split, at + 3)) {
    dot.replace(at, split.size(), "]]>");
  }
  return dot;
}

}  // namespace zqext
