// zqext: the command-line tool for plug-in authors and integrators of
// ZQExtensionKit. See Usage() below, or `zqext --help`.
//
// Exit status: 0 when all is well, 1 when a problem was found (or a file
// could not be read or written), 2 for a usage error. Errors are one line on
// standard error, naming the file they are about.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "ZQExtensionKit/config/internal/ZQEInstallationFiles.h"
#include "ZQExtensionKit/defines/internal/ZQEFileLimits.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "base/version.h"
#include "tools/zqext/ConfigEncryption.h"
#include "tools/zqext/Doctor.h"
#include "tools/zqext/Files.h"
#include "tools/zqext/InstallationGraph.h"
#include "tools/zqext/KeyFile.h"
#include "tools/zqext/PluginTemplate.h"
#include "tools/zqext/Signing.h"

namespace {

constexpr int kOk = 0;
constexpr int kProblem = 1;
constexpr int kUsage = 2;

constexpr char kToolHelp[] =
    "usage: zqext <command> [arguments]\n"
    "\n"
    "Commands:\n"
    "  doctor [--key-file F] [--version V] [--timeout S] [--trust PUBLIC]...\n"
    "         [--json] DIR\n"
    "      check the client installation in DIR (the directory of the "
    "client\n"
    "      executable) as the kit will read it\n"
    "  graph [--key-file F] [--version V] [--svg OUT] DIR\n"
    "      draw the installation in DIR as a Graphviz graph, with what doctor\n"
    "      finds\n"
    "  config encrypt [--key-file F] IN OUT\n"
    "  config decrypt [--key-file F] IN OUT\n"
    "      encrypt a config.json for the kit, or decrypt one\n"
    "  md5 FILE...\n"
    "      print the MD5 of each file, as a manifest's \"libFileMD5\" holds "
    "it\n"
    "  new-plugin NAME DIR\n"
    "      write a plug-in project that builds against the installed SDK,\n"
    "      with a sample host that its build runs\n"
    "  guid\n"
    "      print a fresh class or interface id, as manifests and C++ write "
    "it\n"
    "  keygen PRIVATE PUBLIC\n"
    "      write a new Ed25519 key pair for signing plug-ins\n"
    "  sign --key PRIVATE PACKAGE_DIR\n"
    "      sign a package's entry library: writes \"libFileMD5\" and "
    "\"signMD5\"\n"
    "\n"
    "Keys are 32 bytes, read from the file given with --key-file or else from\n"
    "the ZQEXT_KEY environment variable, never from the command line.\n"
    "`zqext <command> --help` describes one command; `zqext --version`\n"
    "prints the version.\n"
    "Exit status: 0 all well, 1 a problem was found, 2 usage error.\n";

constexpr char kDoctorHelp[] =
    "usage: zqext doctor [--key-file F] [--version V] [--timeout S]\n"
    "                    [--trust PUBLIC]... [--json] DIR\n"
    "\n"
    "Checks the installation in DIR offline: extension_adapter_mapping.json,\n"
    "the decryption and parsing of extensions/config.json, each listed\n"
    "package's manifest.json, foundation versions, each entry library (inside\n"
    "its package, MD5 as recorded, its entry points, framework factory, "
    "bundle\n"
    "class and extension classes), adapter targets and duplicate extension "
    "ids.\n"
    "Libraries are loaded in a child process, so one that crashes or hangs is\n"
    "reported. Problems name their file, and line and column for JSON.\n"
    "\n"
    "  --key-file F  the key of an encrypted config.json (or set ZQEXT_KEY)\n"
    "  --version V   the host's foundation version, to check packages' needs\n"
    "  --timeout S   seconds one library may take (default 10)\n"
    "  --trust PUBLIC  check signatures as a host that trusts the Ed25519\n"
    "                public key in the PEM file PUBLIC does (repeatable)\n"
    "  --json        one JSON document instead of the report for people\n"
    "\n"
    "Exit status: 0 no problem, 1 problems found, 2 usage error.\n";

constexpr char kGraphHelp[] =
    "usage: zqext graph [--key-file F] [--version V] [--timeout S] "
    "[--svg OUT] DIR\n"
    "\n"
    "Prints the installation in DIR as a Graphviz DOT graph: config.json and\n"
    "the adapter mapping, each listed package with its entry library (and\n"
    "whether its MD5 matches the manifest), its extension points and their\n"
    "extensions with their classes, adapter edges from the point a mapping\n"
    "entry adapts to the internal point it feeds, and each problem (red) and\n"
    "note (amber) `zqext doctor` finds, beside what it is about. The options\n"
    "are doctor's; the graph holds no absolute path, so the same\n"
    "installation always gives the same text.\n"
    "\n"
    "  --svg OUT     draw it into the SVG file OUT with Graphviz's dot (which\n"
    "                must be installed) instead of printing it\n"
    "\n"
    "Exit status: 0 the graph was made (whatever the doctor found), 1 OUT\n"
    "could not be drawn, 2 usage error.\n";

constexpr char kConfigHelp[] =
    "usage: zqext config encrypt [--key-file F] IN OUT\n"
    "       zqext config decrypt [--key-file F] IN OUT\n"
    "\n"
    "encrypt: IN is the JSON text of a config.json; OUT receives it encrypted\n"
    "as the kit reads it: AES-256-ECB, PKCS#5 padding, Base64 in lines of 64\n"
    "characters, exactly what this command writes:\n"
    "  openssl enc -aes-256-ecb -nosalt -base64 -K <hex of the key>\n"
    "decrypt: IN is an encrypted config.json (such as that command writes);\n"
    "OUT receives the text the kit reads from it, created readable by its\n"
    "owner only. Exit status 1 when IN does not decrypt to valid JSON.\n"
    "\n"
    "The key is the 32 bytes of the file F (one final line break aside), or\n"
    "of the ZQEXT_KEY environment variable.\n";

constexpr char kMd5Help[] =
    "usage: zqext md5 FILE...\n"
    "\n"
    "Prints \"<digest>  <file>\" for each file, the digest in the form a\n"
    "manifest's \"libFileMD5\" holds (32 lower-case hex digits), as md5sum\n"
    "does. Exit status 1 when a file cannot be read.\n";

constexpr char kNewPluginHelp[] =
    "usage: zqext new-plugin NAME DIR\n"
    "\n"
    "Writes into DIR (new, or empty) a plug-in project named NAME (a letter,\n"
    "then letters, digits and underscores) that builds against the installed\n"
    "SDK: a bundle class and one extension of the point NAME.hello, the ids\n"
    "they share with the manifest written once (include/NAME/Ids.h), a\n"
    "sample installation under build/installation that `zqext doctor`\n"
    "checks, and a sample host there that loads it and calls the extension;\n"
    "the project's build runs the host. Run from an installed SDK, the\n"
    "commands printed name that SDK's prefix.\n";

constexpr char kGuidHelp[] =
    "usage: zqext guid\n"
    "\n"
    "Prints a fresh random id twice: as manifests hold it (\"clsid\", "
    "\"iid\",\n"
    "\"BundleClassId\": 38 characters, upper-case hex, in braces), and as a\n"
    "C++ constant (by::GuidFromLiteral) to paste into a header.\n";

constexpr char kKeygenHelp[] =
    "usage: zqext keygen PRIVATE PUBLIC\n"
    "\n"
    "Writes a new Ed25519 key pair in PEM: the private key to PRIVATE,\n"
    "readable by its owner only, the public key to PUBLIC. Neither file may\n"
    "exist. Sign packages with the private key (zqext sign); hosts trust the\n"
    "public key (ZQExtensionManager::AddTrustedSignKey). The private key is\n"
    "never printed. openssl writes keys of the same form:\n"
    "  openssl genpkey -algorithm ed25519 -out PRIVATE\n"
    "  openssl pkey -in PRIVATE -pubout -out PUBLIC\n";

constexpr char kSignHelp[] =
    "usage: zqext sign --key PRIVATE PACKAGE_DIR\n"
    "\n"
    "Signs the package in PACKAGE_DIR with the Ed25519 private key in the PEM\n"
    "file PRIVATE: hashes the entry library its manifest.json names in\n"
    "\"mainEntry\" and writes the library's MD5 to \"libFileMD5\" and the\n"
    "signature to \"signMD5\" (Base64). The signature covers the library's\n"
    "SHA-256 and the package's \"id\", \"version\" and \"mainEntry\":\n"
    "sign again after changing any of them. The rest of manifest.json stays\n"
    "as it was.\n"
    "The signed message is the one the documentation gives; openssl makes\n"
    "the same signature:\n"
    "  openssl pkeyutl -sign -rawin -inkey PRIVATE -in MESSAGE\n";

// One line on standard error; returns `status`.
int Error(int status, const std::string& message) {
  std::fprintf(stderr, "zqext: %s\n", message.c_str());
  return status;
}

int UsageError(const std::string& command, const std::string& message) {
  return Error(
      kUsage, command + ": " + message + " (see zqext " + command + " --help)");
}

// The number of single-character insertions, deletions, substitutions and
// swaps of two neighbours that turn `a` into `b`.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1,
                                     std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i)
    d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j)
    d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                          d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// "; did you mean X?" for the candidate closest to `word` when it is close
// enough to be a slip of the keyboard (at most two edits, and at most one
// per three characters of the candidate), else "".
std::string DidYouMean(const std::string& word,
                       const std::vector<std::string>& candidates) {
  std::string best;
  size_t best_distance = 3;
  for (const std::string& candidate : candidates) {
    const size_t distance = EditDistance(word, candidate);
    if (distance < best_distance && distance * 3 <= candidate.size()) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best.empty() ? best : "; did you mean " + best + "?";
}

bool IsHelp(const std::string& argument) {
  return argument == "--help" || argument == "-h";
}

// Collects the options of a command; everything else is positional.
struct Options {
  std::string key_file;
  std::string version;
  std::string timeout;
  std::string svg;
  std::string private_key;
  std::vector<std::string> trust;
  bool json = false;
  std::vector<std::string> positional;
};

// Parses `args` for `command`, which accepts the value options in
// `value_options` and the flag "--json" when `json` is set. Returns kOk, or
// the exit status of a usage error (already reported).
int ParseOptions(const std::string& command,
                 const std::vector<std::string>& args,
                 const std::vector<std::string>& value_options,
                 bool json,
                 Options* options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takes_value =
        std::find(value_options.begin(), value_options.end(), arg) !=
        value_options.end();
    if (takes_value) {
      if (i + 1 == args.size())
        return UsageError(command, arg + " needs a value");
      const std::string& value = args[++i];
      if (arg == "--key-file")
        options->key_file = value;
      else if (arg == "--version")
        options->version = value;
      else if (arg == "--timeout")
        options->timeout = value;
      else if (arg == "--key")
        options->private_key = value;
      else if (arg == "--trust")
        options->trust.push_back(value);
      else
        options->svg = value;
    } else if (json && arg == "--json") {
      options->json = true;
    } else if (arg == "--") {
      options->positional.insert(options->positional.end(),
                                 args.begin() + i + 1, args.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      if (arg == "--key")
        return UsageError(command,
                          "keys are not taken from the command line; use "
                          "--key-file or ZQEXT_KEY");
      std::vector<std::string> known = value_options;
      if (json)
        known.push_back("--json");
      return UsageError(command,
                        "unknown option " + arg + DidYouMean(arg, known));
    } else {
      options->positional.push_back(arg);
    }
  }
  return kOk;
}

// Reads the options `doctor` and `graph` share into `*doctor`: the key, the
// foundation version, the time limit and the installation directory (the
// one positional argument). Returns kOk, or the exit status of an error
// (already reported).
int ReadDoctorOptions(const std::string& command,
                      const Options& options,
                      zqext::DoctorOptions* doctor) {
  if (options.positional.size() != 1)
    return UsageError(command, "give exactly one installation directory");
  std::string error;
  switch (zqext::ReadKey(options.key_file, &doctor->key, &error)) {
    case zqext::KeyStatus::kInvalid:
      return Error(kUsage, command + ": " + error);
    case zqext::KeyStatus::kNotGiven:
      doctor->key.clear();
      break;
    case zqext::KeyStatus::kFound:
      break;
  }
  if (!options.version.empty() && !base::Version(options.version).IsValid()) {
    return UsageError(command, "--version " + options.version +
                                   " is not a version such as 3.2.0");
  }
  doctor->foundation_version = options.version;
  if (!options.timeout.empty()) {
    char* end = nullptr;
    doctor->timeout_seconds = std::strtod(options.timeout.c_str(), &end);
    if (end == options.timeout.c_str() || *end != '\0' ||
        !(doctor->timeout_seconds > 0) || doctor->timeout_seconds > 3600) {
      return UsageError(command, "--timeout " + options.timeout +
                                     " is not a number of seconds (0 to "
                                     "3600)");
    }
  }
  const std::string& given = options.positional[0];
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::canonical(given, ec);
  std::error_code missing;
  if (ec && !std::filesystem::exists(
                std::filesystem::symlink_status(given, missing))) {
    return Error(kUsage, command + ": " + given + ": does not exist");
  }
  if (ec || !std::filesystem::is_directory(dir, ec)) {
    return Error(kUsage, command + ": " + given +
                             ": not a directory (give the directory of the "
                             "client executable)");
  }
  // The extensions/ folder itself, given instead of the installation: it
  // holds config.json and no extensions/ of its own.
  if (dir.filename() == zqextensionkit::kExtensionsDirName &&
      !std::filesystem::exists(dir / zqextensionkit::kExtensionsDirName, ec) &&
      !std::filesystem::exists(dir / zqextensionkit::kAdapterMappingFileName,
                               ec)) {
    return Error(kUsage, command + ": " + given +
                             " is the extensions/ folder of an installation; "
                             "give the installation, its parent: zqext " +
                             command + " " + dir.parent_path().string());
  }
  doctor->dir = dir.string();
  return kOk;
}

int Doctor(const std::vector<std::string>& args) {
  Options options;
  if (int status = ParseOptions(
          "doctor", args, {"--key-file", "--version", "--timeout", "--trust"},
          true, &options)) {
    return status;
  }
  zqext::DoctorOptions doctor;
  if (int status = ReadDoctorOptions("doctor", options, &doctor))
    return status;
  std::string error;
  for (const std::string& file : options.trust) {
    std::string pem;
    if (!zqext::ReadPublicKey(file, &pem, &error))
      return Error(kUsage, "doctor: --trust " + error);
    doctor.trusted_keys.push_back(pem);
  }
  const zqext::DoctorReport report = zqext::RunDoctor(doctor);
  const std::string text = options.json ? report.ToJson() : report.ToText();
  std::fwrite(text.data(), 1, text.size(), stdout);
  return report.Count(zqext::Severity::kProblem) == 0 ? kOk : kProblem;
}

int Graph(const std::vector<std::string>& args) {
  Options options;
  if (int status = ParseOptions(
          "graph", args, {"--key-file", "--version", "--timeout", "--svg"},
          false, &options)) {
    return status;
  }
  zqext::DoctorOptions doctor;
  if (int status = ReadDoctorOptions("graph", options, &doctor))
    return status;
  zqext::InstallationMap map;
  const zqext::DoctorReport report = zqext::RunDoctor(doctor, &map);
  const std::string dot = zqext::InstallationGraph(map, report);
  if (options.svg.empty()) {
    std::fwrite(dot.data(), 1, dot.size(), stdout);
    return kOk;
  }
  std::string error;
  if (zqext::RenderSvg(dot, options.svg, &error) != zqext::RenderStatus::kDone)
    return Error(kProblem, "graph: " + options.svg + " not written: " + error);
  return kOk;
}

int Config(const std::vector<std::string>& args) {
  if (args.empty() || (args[0] != "encrypt" && args[0] != "decrypt"))
    return UsageError("config", "say encrypt or decrypt");
  const bool encrypt = args[0] == "encrypt";
  Options options;
  if (int status = ParseOptions(
          "config", std::vector<std::string>(args.begin() + 1, args.end()),
          {"--key-file"}, false, &options)) {
    return status;
  }
  if (options.positional.size() != 2)
    return UsageError("config", "give IN and OUT");
  const std::string& in = options.positional[0];
  const std::string& out = options.positional[1];
  std::string key;
  std::string error;
  switch (zqext::ReadKey(options.key_file, &key, &error)) {
    case zqext::KeyStatus::kInvalid:
      return Error(kUsage, "config: " + error);
    case zqext::KeyStatus::kNotGiven:
      return UsageError("config", "no key: give --key-file or set ZQEXT_KEY");
    case zqext::KeyStatus::kFound:
      break;
  }
  std::string input;
  if (!zqext::ReadFile(in, zqextensionkit::kMaxConfigurationFileSize, &input,
                       &error))
    return Error(kProblem, error);

  std::string output;
  std::string message;
  if (encrypt) {
    if (!base::JSONReader::ReadAndReturnError(input, base::JSON_PARSE_RFC,
                                              nullptr, &message)) {
      return Error(kProblem, in + ": not valid JSON (" + message +
                                 "); nothing encrypted");
    }
    if (!zqext::EncryptConfig(input, key, &output))
      return Error(kProblem, in + ": encryption failed");
  } else {
    if (!zqext::DecryptConfig(input, key, &output, &error))
      return Error(kProblem,
                   in + ": does not decrypt with this key (" + error + ")");
  }
  if (!zqext::WriteFile(out, output, encrypt ? 0644 : 0600, &error))
    return Error(kProblem, error);
  if (!encrypt && !base::JSONReader::ReadAndReturnError(
                      output, base::JSON_PARSE_RFC, nullptr, &message)) {
    return Error(kProblem, in + ": decrypted into " + out +
                               ", but the text is not valid JSON (" + message +
                               "); is the key right?");
  }
  return kOk;
}

int Md5(const std::vector<std::string>& args) {
  Options options;
  if (int status = ParseOptions("md5", args, {}, false, &options))
    return status;
  if (options.positional.empty())
    return UsageError("md5", "give at least one file");
  int status = kOk;
  for (const std::string& file : options.positional) {
    std::string digest;
    struct stat info;
    // The kit's reader refuses what is not a regular file as well.
    if (stat(file.c_str(), &info) != 0) {
      status = Error(kProblem, file + ": " + std::strerror(errno));
    } else if (!zqextensionkit::ZQEUtility_MD5_File_String(file, digest)) {
      status = Error(kProblem, file + ": cannot be read as a regular file");
    } else {
      std::printf("%s  %s\n", digest.c_str(), file.c_str());
    }
  }
  return status;
}

int Keygen(const std::vector<std::string>& args) {
  Options options;
  if (int status = ParseOptions("keygen", args, {}, false, &options))
    return status;
  if (options.positional.size() != 2)
    return UsageError("keygen", "give PRIVATE and PUBLIC");
  std::string error;
  if (!zqext::WriteKeyPair(options.positional[0], options.positional[1],
                           &error)) {
    return Error(kProblem, "keygen: " + error);
  }
  std::printf(
      "Wrote the private key to %s (readable by you only) and the "
      "public key to %s.\n",
      options.positional[0].c_str(), options.positional[1].c_str());
  return kOk;
}

int Sign(const std::vector<std::string>& args) {
  Options options;
  if (int status = ParseOptions("sign", args, {"--key"}, false, &options))
    return status;
  if (options.private_key.empty())
    return UsageError("sign", "give the private key file with --key");
  if (options.positional.size() != 1)
    return UsageError("sign", "give exactly one package directory");
  zqext::SignedPackage signed_package;
  std::string error;
  if (!zqext::SignPackage(options.private_key, options.positional[0],
                          &signed_package, &error)) {
    return Error(kProblem, "sign: " + error);
  }
  std::printf(
      "Signed %s %s (%s, SHA-256 %s): wrote \"libFileMD5\" and "
      "\"signMD5\" to %s.\n",
      signed_package.id.c_str(), signed_package.version.c_str(),
      signed_package.main_entry.c_str(), signed_package.sha256.c_str(),
      signed_package.manifest.c_str());
  return kOk;
}

// The prefix of the installed SDK this program belongs to: it runs as
// <prefix>/<bindir>/zqext, and the SDK's CMake package lies in
// <prefix>/<cmakedir>. Empty when it runs from a build tree or the package
// is not there.
std::string InstalledSdkPrefix() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
  const fs::path bindir = ZQ_INSTALL_BINDIR;
  if (ec || bindir.is_absolute() || bindir.empty())
    return "";
  fs::path prefix = executable.parent_path();
  for (auto it = bindir.begin(); it != bindir.end() && !prefix.empty(); ++it)
    prefix = prefix.parent_path();
  if (prefix.empty() || (prefix / bindir).lexically_normal() !=
                            executable.parent_path().lexically_normal()) {
    return "";
  }
  if (!fs::is_regular_file(
          prefix / ZQ_INSTALL_CMAKEDIR / "ZQExtensionKitConfig.cmake", ec)) {
    return "";
  }
  return prefix.string();
}

int NewPlugin(const std::vector<std::string>& args) {
  Options options;
  if (int status = ParseOptions("new-plugin", args, {}, false, &options))
    return status;
  if (options.positional.size() != 2)
    return UsageError("new-plugin", "give NAME and DIR");
  const std::string& name = options.positional[0];
  const std::filesystem::path dir = options.positional[1];
  if (!zqext::IsValidPluginName(name)) {
    return UsageError("new-plugin",
                      "NAME " + name +
                          " must be a letter, then letters, digits and "
                          "underscores");
  }
  std::error_code ec;
  if (std::filesystem::exists(dir, ec) &&
      !(std::filesystem::is_directory(dir, ec) &&
        std::filesystem::is_empty(dir, ec))) {
    return Error(kProblem, dir.string() +
                               ": exists and is not an empty directory; "
                               "nothing written");
  }
  const std::string prefix = InstalledSdkPrefix();
  const std::map<std::string, std::string> files =
      zqext::PluginProjectFiles(name, prefix);
  if (files.empty())
    return Error(kProblem,
                 "new-plugin: no fresh ids: the random generator "
                 "failed; nothing written");
  std::string error;
  for (const auto& file : files) {
    const std::filesystem::path path = dir / file.first;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec)
      return Error(kProblem, path.parent_path().string() + ": " + ec.message());
    if (!zqext::WriteFile(path.string(), file.second, 0644, &error))
      return Error(kProblem, error);
  }
  const std::string zqext =
      prefix.empty()
          ? std::string("zqext")
          : (std::filesystem::path(prefix) / ZQ_INSTALL_BINDIR / "zqext")
                .string();
  std::printf(
      "Wrote the plug-in project %s into %s. Build it (the build also runs\n"
      "its sample host, %s/build/installation/%s_host) and check it with:\n"
      "  cmake -S %s -B %s/build -DCMAKE_PREFIX_PATH=%s\n"
      "  cmake --build %s/build\n"
      "  %s doctor %s/build/installation\n",
      name.c_str(), dir.c_str(), dir.c_str(), name.c_str(), dir.c_str(),
      dir.c_str(),
      prefix.empty() ? "<where the SDK is installed>" : prefix.c_str(),
      dir.c_str(), zqext.c_str(), dir.c_str());
  return kOk;
}

int Guid(const std::vector<std::string>& args) {
  Options options;
  if (int status = ParseOptions("guid", args, {}, false, &options))
    return status;
  if (!options.positional.empty())
    return UsageError("guid", "takes no arguments");
  const std::string id = zqext::NewId();
  if (id.empty())
    return Error(kProblem, "guid: the random generator failed");
  std::printf(
      "%s\n"
      "inline constexpr ZQGUID kId = by::GuidFromLiteral(\"%s\");\n",
      id.c_str(), id.c_str());
  return kOk;
}

// Opens /dev/null on whichever of standard input, output and error is
// closed, so that no descriptor the tool opens later lands on 0 to 2, where
// a child's redirection of its standard streams would replace it.
void OpenStandardDescriptors() {
  for (;;) {
    const int fd = open("/dev/null", O_RDWR);
    if (fd < 0)
      return;
    if (fd > STDERR_FILENO) {
      close(fd);
      return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  OpenStandardDescriptors();
  // The library loader's trace lines are no output of this tool.
  zqextensionkit::ZQELogService::GetInstance()->SetLoaderTraceOutput(
      zqextensionkit::ZQELoaderTraceOutput::kNone);
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty())
    return Error(kUsage, "no command (see zqext --help)");
  const std::string& command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  const bool help = std::any_of(rest.begin(), rest.end(), IsHelp);
  struct Command {
    const char* name;
    const char* help;
    int (*run)(const std::vector<std::string>&);
  };
  const Command commands[] = {
      {"doctor", kDoctorHelp, &Doctor},
      {"config", kConfigHelp, &Config},
      {"md5", kMd5Help, &Md5},
      {"new-plugin", kNewPluginHelp, &NewPlugin},
      {"guid", kGuidHelp, &Guid},
      {"graph", kGraphHelp, &Graph},
      {"keygen", kKeygenHelp, &Keygen},
      {"sign", kSignHelp, &Sign},
  };
  if (IsHelp(command) || command == "help") {
    std::fputs(kToolHelp, stdout);
    return kOk;
  }
  if (command == "--version") {
    std::printf("zqext %s\n", ZQ_VERSION);
    return kOk;
  }
  for (const Command& candidate : commands) {
    if (command != candidate.name)
      continue;
    if (help) {
      std::fputs(candidate.help, stdout);
      return kOk;
    }
    return candidate.run(rest);
  }
  std::vector<std::string> known = {"help", "--help", "--version"};
  for (const Command& candidate : commands)
    known.push_back(candidate.name);
  return Error(kUsage, "unknown command " + command +
                           DidYouMean(command, known) + " (see zqext --help)");
}
