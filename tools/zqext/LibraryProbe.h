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
// skipped) and the later classes are still tried. Its standard output and
// error go to /dev/null, so the loader's trace lines never reach the
// report; results come back over a pipe.
//
// The child leads a process group of its own. It gets `timeout_seconds` in
// all: when that passes before it has finished and ended, it is killed. When
// the probe ends, the group is killed too, so no process the library started
// outlives it, and the child is always reaped.
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
