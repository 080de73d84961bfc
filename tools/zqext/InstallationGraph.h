// InstallationGraph: `zqext graph` draws an installation as a Graphviz DOT
// graph: config.json and the adapter mapping, one box per listed package
// (its entry library and whether its MD5 matches, its extension points, the
// extensions of each with their classes), adapter edges from the point a
// mapping entry adapts to the internal point its records go to, and every
// problem and note the doctor found, beside what it is about and coloured by
// severity. Passed checks are left out.
//
// The text depends only on the installation's content: no absolute path,
// no digest, and nodes in the order the kit reads them, so the same
// installation always gives the same graph.
//
// Rendering runs Graphviz's `dot` from PATH. The SVG carries the DOT text it
// was drawn from in its <metadata>, so a committed picture can be checked
// against the installation it shows without depending on the Graphviz
// version that laid it out.
//
// Thread-safety: InstallationGraph and EmbeddedDot are pure; RenderSvg
// starts a process and writes files.

#ifndef TOOLS_ZQEXT_INSTALLATIONGRAPH_H_
#define TOOLS_ZQEXT_INSTALLATIONGRAPH_H_

#include <string>

#include "tools/zqext/Doctor.h"
#include "tools/zqext/DoctorReport.h"

namespace zqext {

// The DOT text of the installation `map` with the findings of `report`.
std::string InstallationGraph(const InstallationMap& map,
                              const DoctorReport& report);

enum class RenderStatus {
  kDone,
  kNoGraphviz,  // `dot` is not on PATH.
  kFailed,      // `dot` failed, or `out` could not be written.
};

// Renders `dot_text` with `dot -Tsvg` into the file `out` (replacing it
// only once the picture is complete), with `dot_text` in its <metadata>.
// On failure `*error` says why, naming the file.
RenderStatus RenderSvg(const std::string& dot_text,
                       const std::string& out,
                       std::string* error);

// The DOT text RenderSvg embedded in `svg`; empty when it holds none.
std::string EmbeddedDot(const std::string& svg);

}  // namespace zqext

#endif  // TOOLS_ZQEXT_INSTALLATIONGRAPH_H_
