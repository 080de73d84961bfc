#include "tools/zqext/PluginTemplate.h"

#include <cctype>

#include "base/guid.h"

namespace zqext {

namespace {

constexpr char kCMakeLists[] =
    R"(# @NAME@: a ZQExtensionKit plug-in (made with `zqext new-plugin`).
#
#   cmake -S . -B build -DCMAKE_PREFIX_PATH=@SDK_PREFIX@
#   cmake --build build      # builds, assembles build/installation, runs the host
#   zqext doctor build/installation
cmake_minimum_required(VERSION 3.25)
project(@NAME@ VERSION 1.0.0 LANGUAGES CXX)

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)

find_package(ZQExtensionKit REQUIRED)

# The package's directory and "id". The ids the code and the manifest share
# (extension point, interface and classes) are written once, in
# include/@NAME@/Ids.h; the build writes them into the manifest.
set(PACKAGE_ID "@NAME@")
set(IDS_HEADER "${CMAKE_CURRENT_SOURCE_DIR}/include/@NAME@/Ids.h")

# @NAME@.so: a MODULE library with hidden visibility that links nothing of
# the kit (the SDK's zq_add_plugin sees to that).
zq_add_plugin(@NAME@ SOURCES src/@NAME@.cc)
target_include_directories(@NAME@ PRIVATE include)

# A sample installation to try the plug-in in, as a client installs it. The
# kit reads its files beside the running executable, so the sample host lives
# there too:
#   installation/@NAME@_host                           the sample host
#   installation/extension_adapter_mapping.json
#   installation/extensions/config.json                lists the package
#   installation/extensions/<PACKAGE_ID>/manifest.json with the library's MD5
#   installation/extensions/<PACKAGE_ID>/lib/@NAME@.so
set(INSTALLATION_DIR "${CMAKE_BINARY_DIR}/installation")
set(PACKAGE_DIR "${INSTALLATION_DIR}/extensions/${PACKAGE_ID}")
add_custom_command(
  OUTPUT "${PACKAGE_DIR}/manifest.json"
         "${INSTALLATION_DIR}/extensions/config.json"
         "${INSTALLATION_DIR}/extension_adapter_mapping.json"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${PACKAGE_DIR}/lib"
  COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:@NAME@>" "${PACKAGE_DIR}/lib/"
  COMMAND "${CMAKE_COMMAND}"
    "-DLIBRARY=$<TARGET_FILE:@NAME@>"
    "-DIDS_HEADER=${IDS_HEADER}"
    "-DPACKAGE_ID=${PACKAGE_ID}"
    "-DTEMPLATE=${CMAKE_CURRENT_SOURCE_DIR}/package/manifest.json.in"
    "-DOUTPUT=${PACKAGE_DIR}/manifest.json"
    -P "${CMAKE_CURRENT_SOURCE_DIR}/cmake/WriteManifest.cmake"
  COMMAND "${CMAKE_COMMAND}"
    "-DPACKAGE_ID=${PACKAGE_ID}"
    "-DTEMPLATE=${CMAKE_CURRENT_SOURCE_DIR}/package/config.json.in"
    "-DOUTPUT=${INSTALLATION_DIR}/extensions/config.json"
    -P "${CMAKE_CURRENT_SOURCE_DIR}/cmake/WriteManifest.cmake"
  COMMAND "${CMAKE_COMMAND}" -E copy
    "${CMAKE_CURRENT_SOURCE_DIR}/package/extension_adapter_mapping.json"
    "${INSTALLATION_DIR}/extension_adapter_mapping.json"
  DEPENDS @NAME@ "${IDS_HEADER}" package/manifest.json.in package/config.json.in
          package/extension_adapter_mapping.json cmake/WriteManifest.cmake
          cmake/ReadIds.cmake
  VERBATIM)
add_custom_target(installation ALL DEPENDS "${PACKAGE_DIR}/manifest.json")

# The sample host: loads the installation it lies in, prints the kit's
# messages to standard error and greets through every extension of the point.
add_executable(@NAME@_host host/@NAME@_host.cc)
target_include_directories(@NAME@_host PRIVATE include)
target_link_libraries(@NAME@_host PRIVATE ZQExtensionKit::ZQExtensionKit)
set_target_properties(@NAME@_host PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY "${INSTALLATION_DIR}")

# The build runs the host whenever the plug-in, the host or the installation
# changed: a build that succeeds has a plug-in that loads and answers. The
# host's output (and the kit's messages, when something is wrong) shows in
# the build's output. `ctest` runs it too.
add_custom_command(
  OUTPUT "${CMAKE_BINARY_DIR}/@NAME@_host.ran"
  COMMAND @NAME@_host
  COMMAND "${CMAKE_COMMAND}" -E touch "${CMAKE_BINARY_DIR}/@NAME@_host.ran"
  DEPENDS @NAME@_host "${PACKAGE_DIR}/manifest.json"
  WORKING_DIRECTORY "${INSTALLATION_DIR}"
  COMMENT "Running the sample host in ${INSTALLATION_DIR}"
  VERBATIM)
add_custom_target(run_host ALL DEPENDS "${CMAKE_BINARY_DIR}/@NAME@_host.ran")

enable_testing()
add_test(NAME sample_host COMMAND @NAME@_host)
)";

constexpr char kReadIds[] =
    R"zq(# zq_read_ids(<header>): sets a variable for every constant of the header
# written as
#   inline constexpr char kName[] = "text";
#   inline constexpr ZQGUID kName = by::GuidFromLiteral("{...}");
# (line breaks and spaces between the parts as clang-format leaves them),
# named after the constant and holding its text: the manifest template
# writes @kName@ where the text goes. Lines that are comments are skipped.
function(zq_read_ids header)
  file(READ "${header}" text)
  string(REGEX REPLACE "(^|\n)[ \t]*//[^\n]*" "\\1" text "${text}")
  set(s "[ \t\r\n]")
  set(name "[A-Za-z_][A-Za-z0-9_]*")
  string(REGEX MATCHALL
    "constexpr${s}+[A-Za-z_:]+${s}+${name}${s}*(\\[\\])?${s}*=${s}*(by::GuidFromLiteral${s}*\\(${s}*)?\"[^\"]*\""
    constants "${text}")
  foreach(constant IN LISTS constants)
    string(REGEX REPLACE "^constexpr${s}+[A-Za-z_:]+${s}+(${name}).*$" "\\1"
      id_name "${constant}")
    string(REGEX REPLACE "^.*\"([^\"]*)\"$" "\\1" id_text "${constant}")
    set(${id_name} "${id_text}" PARENT_SCOPE)
  endforeach()
endfunction()
)zq";

constexpr char kWriteManifest[] =
    R"zq(# Writes a file of the installation from its template: @LIB_FILE_MD5@ is
# the MD5 of the library (32 lower-case hex digits, as the kit compares it),
# @PACKAGE_ID@ the package's id, and @kName@ the text of the constant kName
# of the ids header. A name the template uses but nothing defines stops the
# build, so the manifest never carries an empty id.
#   cmake [-DLIBRARY=<.so>] [-DIDS_HEADER=<Ids.h>] -DPACKAGE_ID=<id>
#         -DTEMPLATE=<file.in> -DOUTPUT=<file> -P <this>
include("${CMAKE_CURRENT_LIST_DIR}/ReadIds.cmake")
if(LIBRARY)
  file(MD5 "${LIBRARY}" LIB_FILE_MD5)
endif()
if(IDS_HEADER)
  zq_read_ids("${IDS_HEADER}")
endif()
file(READ "${TEMPLATE}" template)
string(REGEX MATCHALL "@[A-Za-z_][A-Za-z0-9_]*@" names "${template}")
foreach(name IN LISTS names)
  string(REPLACE "@" "" name "${name}")
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "${TEMPLATE} uses @${name}@, which is neither "
      "LIB_FILE_MD5, PACKAGE_ID nor a constant of ${IDS_HEADER} (written "
      "inline constexpr ... ${name} = \"...\";)")
  endif()
endforeach()
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
)zq";

constexpr char kIds[] =
    R"(// The ids of the @NAME@ plug-in, each written once: the code uses these
// constants, and the build writes their texts into the manifest
// (package/manifest.json.in names the constant kName as "@kName@"). Make a
// fresh id with `zqext guid`.

#ifndef @GUARD@_IDS_H_
#define @GUARD@_IDS_H_

#include "dlcom/unknown.h"

namespace @NAMESPACE@ {

// The extension point whose extensions implement IHello.
inline constexpr char kHelloPointId[] = "@NAME@.hello";
// IHello, the interface of the point.
inline constexpr ZQIID kHelloInterfaceId =
    by::GuidFromLiteral("@IID@");
// The library's bundle class, created once when the kit loads the library.
inline constexpr ZQGUID kBundleClassId =
    by::GuidFromLiteral("@BUNDLE_CLSID@");
// The class of the point's extension "@NAME@.hello.default".
inline constexpr ZQGUID kHelloClassId =
    by::GuidFromLiteral("@HELLO_CLSID@");

}  // namespace @NAMESPACE@

#endif  // @GUARD@_IDS_H_
)";

constexpr char kInterface[] =
    R"(// The interface of the extension point @NAMESPACE@::kHelloPointId. Hosts
// that use the point include this header too; it needs only the component
// model.

#ifndef @GUARD@_IHELLO_H_
#define @GUARD@_IHELLO_H_

#include <string>

#include "dlcom/unknown.h"
#include "@NAME@/Ids.h"

namespace @NAMESPACE@ {

struct IHello : public by::IBaseUnknown {
  // "<salutation>, <name>!"
  virtual std::string SayHello(const std::string& name) = 0;
};
BY_DECLARE_IID(IHello, kHelloInterfaceId)

}  // namespace @NAMESPACE@

#endif  // @GUARD@_IHELLO_H_
)";

constexpr char kSource[] =
    R"(// The @NAME@ plug-in: its bundle class and the extension class of the point
// "@NAME@.hello". Built against the SDK's headers only.

#include <string>

#include "ZQExtensionKit/bundle/ZQEBaseBundle.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "dlcom/comfactory.h"
#include "@NAME@/IHello.h"
#include "@NAME@/Ids.h"

namespace {

// Created once, right after the kit loads the library; Initialize() sets up
// what the library's extensions share.
class Bundle : public zqextensionkit::ZQEBaseBundle {
 public:
  void Initialize() override {}
};

// The kit fills the context from the manifest ("payloads", "constraints",
// paths, launch settings) before it calls Initialization().
class Hello : public @NAMESPACE@::IHello,
              public zqextensionkit::ZQBaseExtension {
 public:
  BY_INTERFACES(@NAMESPACE@::IHello, zqextensionkit::IZQBaseExtension)

  std::string SayHello(const std::string& name) override {
    std::string salutation = "Hello";
    ValueForKey("salutation", salutation);
    return salutation + ", " + name + "!";
  }
};

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<Bundle>(@NAMESPACE@::kBundleClassId),
    by::ComClass<Hello>(@NAMESPACE@::kHelloClassId),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
)";

constexpr char kHost[] =
    R"(// The sample host: loads the installation it lies in, as a client
// does, and greets through every extension of the point "@NAME@.hello".
// The kit's messages go to standard error; the greetings to standard output.
// Exit status 0 when at least one extension answered, 1 otherwise.

#include <cstdio>
#include <string>
#include <vector>

#include "ZQExtensionKit/ZQExtensionKitSDK.h"
#include "@NAME@/IHello.h"
#include "@NAME@/Ids.h"

namespace {

class StderrLogger : public zqextensionkit::IZQELogger {
 public:
  void LogMessage(int /*level*/, std::string message) override {
    std::fprintf(stderr, "%s\n", message.c_str());
  }
};

}  // namespace

int main() {
  using zqextensionkit::ZQExtensionManager;

  zqextensionkit::ZQELogService* log =
      zqextensionkit::ZQELogService::GetInstance();
  // The log service owns the logger from now on.
  log->RegisterLogger(new StderrLogger);
  // The library loader's trace lines would land on standard output among
  // the greetings; ZQELoaderTraceOutput::kLogService sends them to the
  // logger instead.
  log->SetLoaderTraceOutput(zqextensionkit::ZQELoaderTraceOutput::kNone);
  zqextensionkit::ZQExtensionKit::InitSDK();

  ZQExtensionManager* extensions = ZQExtensionManager::GetInstance();
  // The host's foundation version: packages may ask for up to this one.
  extensions->SetFoundationVersion("1.0");
  if (!extensions->Load()) {
    std::fprintf(stderr, "@NAME@_host: the installation did not load\n");
    return 1;
  }
  std::vector<void*> hellos;
  if (!extensions->GetExtensionList(@NAMESPACE@::kHelloPointId, hellos) ||
      hellos.empty()) {
    std::fprintf(stderr, "@NAME@_host: no extension of the point %s\n",
                 @NAMESPACE@::kHelloPointId);
    return 1;
  }
  for (void* instance : hellos) {
    auto* hello = static_cast<@NAMESPACE@::IHello*>(instance);
    std::printf("%s\n", hello->SayHello("world").c_str());
    hello->Release();  // each instance came with one reference for us
  }
  return 0;
}
)";

constexpr char kManifest[] = R"({
  "id": "@PACKAGE_ID@",
  "version": "1.0.0",
  "foundationVersion": "1.0",
  "mainEntry": "lib/@NAME@.so",
  "libFileMD5": "@LIB_FILE_MD5@",
  "BundleClassId": "@kBundleClassId@",
  "extensionPoints": [
    {
      "id": "@kHelloPointId@",
      "iid": "@kHelloInterfaceId@",
      "extensions": [
        {
          "id": "@NAME@.hello.default",
          "version": "1.0.0",
          "clsid": "@kHelloClassId@",
          "isSingleton": false,
          "payloads": {"salutation": "Hello"}
        }
      ]
    }
  ]
}
)";

constexpr char kConfig[] = R"({"artifacts": ["@PACKAGE_ID@"]}
)";

constexpr char kMapping[] = "{}\n";

constexpr char kReadme[] = R"(# @NAME@

A ZQExtensionKit plug-in: `src/@NAME@.cc` holds its bundle class and the
extension class of the point `@NAME@.hello`, whose interface is
`include/@NAME@/IHello.h`; `package/manifest.json.in` describes the package.
The ids that code and manifest share are written once, in
`include/@NAME@/Ids.h`; the build fills them into the manifest. `zqext guid`
makes fresh ones.

    cmake -S . -B build -DCMAKE_PREFIX_PATH=@SDK_PREFIX@
    cmake --build build
    zqext doctor build/installation

The build assembles `build/installation/`, a client installation holding
only this package, and the sample host `build/installation/@NAME@_host`
(`host/@NAME@_host.cc`), which the build then runs: it loads the
installation, prints the kit's messages to standard error and greets
through the plug-in. A build that succeeds has a plug-in that loads and
answers; when it does not, the kit's messages in the build's output say
why, and `zqext doctor` explains the installation file by file, loading
the library in a child process. `ctest --test-dir build` runs the host
again.

To ship the plug-in, copy `build/installation/extensions/@NAME@/` into the
client's `extensions/` directory and add `"@NAME@"` to the "artifacts" of
its `config.json`.
)";

std::string Replace(std::string text,
                    const std::map<std::string, std::string>& values) {
  for (const auto& value : values) {
    for (size_t at = text.find(value.first); at != std::string::npos;
         at = text.find(value.first, at + value.second.size())) {
      text.replace(at, value.first.size(), value.second);
    }
  }
  return text;
}

constexpr char kSdkPrefixPlaceholder[] = "<where the SDK is installed>";

}  // namespace

std::string NewId() {
  const std::string guid = base::GenerateGUID();
  return guid.empty() ? guid : "{" + guid + "}";
}

bool IsValidPluginName(const std::string& name) {
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0])))
    return false;
  for (const char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
      return false;
  }
  return true;
}

std::map<std::string, std::string> PluginProjectFiles(
    const std::string& name,
    const std::string& sdk_prefix) {
  const std::string iid = NewId();
  const std::string bundle_clsid = NewId();
  const std::string hello_clsid = NewId();
  if (iid.empty() || bundle_clsid.empty() || hello_clsid.empty())
    return {};
  std::string guard;
  for (const char c : name)
    guard += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::map<std::string, std::string> values = {
      {"@NAME@", name},
      {"@NAMESPACE@", name + "_plugin"},
      {"@GUARD@", guard},
      {"@IID@", iid},
      {"@BUNDLE_CLSID@", bundle_clsid},
      {"@HELLO_CLSID@", hello_clsid},
      {"@SDK_PREFIX@", sdk_prefix.empty() ? kSdkPrefixPlaceholder : sdk_prefix},
  };
  return {
      {"CMakeLists.txt", Replace(kCMakeLists, values)},
      {"README.md", Replace(kReadme, values)},
      {"cmake/ReadIds.cmake", kReadIds},
      {"cmake/WriteManifest.cmake", kWriteManifest},
      {"include/" + name + "/Ids.h", Replace(kIds, values)},
      {"include/" + name + "/IHello.h", Replace(kInterface, values)},
      {"src/" + name + ".cc", Replace(kSource, values)},
      {"host/" + name + "_host.cc", Replace(kHost, values)},
      {"package/manifest.json.in", Replace(kManifest, values)},
      {"package/config.json.in", kConfig},
      {"package/extension_adapter_mapping.json", kMapping},
  };
}

}  // namespace zqext
