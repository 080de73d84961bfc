// Doctor: checks a client installation offline, the way the kit will read
// it, and explains every problem with its file (and line and column for
// JSON texts).
//
// It checks the adapter mapping, the decryption and parsing of
// extensions/config.json and its "modules", "ExtensionAuthInfo" and
// "artifacts" sections, each listed package's manifest (including what the
// kit would silently drop or misread), foundation versions against the
// host's, each entry library (present, inside its package, MD5 as
// recorded, signed by a trusted key when keys are given), the library
// itself in a child process (see LibraryProbe),
// adapter targets, duplicate extension ids and singleton classes that
// several extensions share. The kit's own parser, decryption, MD5 and loader
// do the reading, so what passes here is what the kit accepts.
//
// Thread-safety: forks for the library probes; call from a single-threaded
// program.

#ifndef TOOLS_ZQEXT_DOCTOR_H_
#define TOOLS_ZQEXT_DOCTOR_H_

#include <string>
#include <vector>

#include "tools/zqext/DoctorReport.h"

namespace zqext {

struct DoctorOptions {
  // The installation: the directory of the client executable, absolute and
  // free of "." and ".." components.
  std::string dir;
  // The 32-byte key of an encrypted config.json; empty for a plain one.
  std::string key;
  // The host's foundation version; empty when not given (packages' needs
  // are then only noted).
  std::string foundation_version;
  // How long one library probe may take before it counts as hanging.
  double timeout_seconds = 10;
  // Ed25519 public keys in PEM: when any is given, each entry library whose
  // MD5 is as recorded has its signature checked as a host that trusts
  // these keys checks it.
  std::vector<std::string> trusted_keys;
};

// What an installation holds, as the doctor read it: the packages
// config.json lists, in its order, with their entry libraries, extension
// points and extensions, and the adapter entries of the mapping. Paths are
// relative to the installation. `zqext graph` draws it with the findings.
struct InstallationMap {
  // What became of a package's entry library.
  enum class Library {
    kNone,         // no "mainEntry": the host registers the classes
    kMatches,      // its MD5 is the one the manifest records
    kDiffers,      // its MD5 is another one
    kNotRecorded,  // the manifest records no MD5
    kUnreadable,   // it cannot be read
    kMissing,      // no such file in the package
    kOutside,      // "mainEntry" leads outside the package
  };
  struct Extension {
    std::string id;
    std::string clsid;  // Empty: no class.
  };
  struct Point {
    std::string id;
    std::string iid;  // Empty: no interface.
    std::vector<Extension> extensions;
  };
  struct Package {
    std::string name;  // As config.json lists it.
    std::string dir;   // "extensions/<name>"
    // The package's directory is there and its manifest parsed; only then
    // is what follows filled.
    bool loaded = false;
    std::string id;
    std::string version;
    // The host's foundation version (when given) accepts the package.
    bool accepted = true;
    std::string library;  // "mainEntry"
    Library library_state = Library::kNone;
    std::string bundle_clsid;
    std::vector<Point> points;
  };
  struct Adapter {
    std::string source;  // The point the mapping adapts.
    std::string target;  // The internal point its records go to.
    std::string clsid;   // The adapter class.
    bool valid = false;  // The target is declared and the ids are ids.
  };

  bool config_loaded = false;
  std::vector<Package> packages;
  std::vector<Adapter> adapters;
};

DoctorReport RunDoctor(const DoctorOptions& options);
// The same, also filling `*map` with what the installation holds.
DoctorReport RunDoctor(const DoctorOptions& options, InstallationMap* map);

}  // namespace zqext

#endif  // TOOLS_ZQEXT_DOCTOR_H_
