// LibraryProbe: loads a package's entry library the way the kit does and
// tries every class the manifest names, in a child process, so that a
// library that crashes or hangs is reported instead of ending zqext.
//
// The child opens the library (reporting dlerror()'s text when it does not
// open, which the kit's loader drops), checks the four entry points, loads it
// through the kit's CComLoader (framework class factory), creates and
// initialises the bundle class, and creates each extension class for
// IZQBaseExtension the way the kit's object container does and queries it
// for its point's interface. Every call into the library runs behind the
// kit's exception boundary, so an exception is reported as what the kit
// makes of it (a library refused, a bundle object dropped, an extension
// skipped) and the later classes are still tried. The loader's trace lines
// are turned off in the child, and its standard output and error go to
// /dev/null, so nothing the library prints reaches the report; results come
// back over a pipe.
//
// The child gets `timeout_seconds` in all: when that passes before it has
// ended, it is killed. Its end is reported as soon as it comes, a crash
// included, even while a process the library started holds the pipe open.
// An intermediate process (a child subreaper) stands between the caller and
// the child: when the probe ends or times out, it kills every process the
// library started, also those that left the child's process group or
// session, and reaps them, so none outlives ProbeLibrary() and no zombie is
// left. The child is always reaped.
//
// Works also when some of the caller's descriptors 0 to 2 are closed: the
// child moves its pipe above them before it redirects them.
//
// Thread-safety: forks; call from a single-threaded program.

#ifndef TOOLS_ZQEXT_LIBRARYPROBE_H_
#define TOOLS_ZQEXT_LIBRARYPROBE_H_

#include <string>
#include <vector>

#include "tools/zqext/DoctorReport.h"

namespace zqext {

struct ProbeRequest {
  struct ExtensionClass {
    std::string extension_id;
    std::string clsid;  // Text form, as the manifest writes it.
    std::string iid;    // The point's interface id, text form.
  };

  std::string library;       // Path of the entry library.
  std::string bundle_clsid;  // Empty: the package names no bundle class.
  std::vector<ExtensionClass> extensions;
};

// Runs the probe and adds its findings to `report` under `file` (the
// manifest that names the library).
void ProbeLibrary(const ProbeRequest& request,
                  double timeout_seconds,
                  const std::string& file,
                  DoctorReport* report);

}  // namespace zqext

#endif  // TOOLS_ZQEXT_LIBRARYPROBE_H_
