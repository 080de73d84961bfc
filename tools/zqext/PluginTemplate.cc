#include "tools/zqext/PluginTemplate.h"

#include <cctype>

#include "base/guid.h"

namespace zqext {

namespace {

constexpr char kCMakeLists[] =
    R"(# @NAME@: a ZQExtensionKit plug-in (made with `zqext new-plugin`).
#
#   cmake -S . -B build -DCMAKE_PREFIX_PATH=<where the SDK is installed>
#   cmake --build build
#   zqext doctor build/installation
cmake_minimum_required(VERSION 3.25)
project(@NAME@ VERSION 1.0.0 LANGUAGES CXX)

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)

find_package(ZQExtensionKit REQUIRED)

# @NAME@.so: a MODULE library with hidden visibility that links nothing of
# the kit (the SDK's zq_add_plugin sees to that).
zq_add_plugin(@NAME@ SOURCES src/@NAME@.cc)
target_include_directories(@NAME@ PRIVATE include)

# A sample installation to try the plug-in in, as a client installs it:
#   installation/extension_adapter_mapping.json
#   installation/extensions/config.json            lists the package
#   installation/extensions/@NAME@/manifest.json   with the library's MD5
#   installation/extensions/@NAME@/lib/@NAME@.so
set(INSTALLATION_DIR "${CMAKE_BINARY_DIR}/installation")
set(PACKAGE_DIR "${INSTALLATION_DIR}/extensions/@NAME@")
add_custom_command(
  OUTPUT "${PACKAGE_DIR}/manifest.json"
         "${INSTALLATION_DIR}/extensions/config.json"
         "${INSTALLATION_DIR}/extension_adapter_mapping.json"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${PACKAGE_DIR}/lib"
  COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:@NAME@>" "${PACKAGE_DIR}/lib/"
  COMMAND "${CMAKE_COMMAND}"
    "-DLIBRARY=$<TARGET_FILE:@NAME@>"
    "-DTEMPLATE=${CMAKE_CURRENT_SOURCE_DIR}/package/manifest.json.in"
    "-DOUTPUT=${PACKAGE_DIR}/manifest.json"
    -P "${CMAKE_CURRENT_SOURCE_DIR}/cmake/WriteManifest.cmake"
  COMMAND "${CMAKE_COMMAND}" -E copy
    "${CMAKE_CURRENT_SOURCE_DIR}/package/config.json"
    "${INSTALLATION_DIR}/extensions/config.json"
  COMMAND "${CMAKE_COMMAND}" -E copy
    "${CMAKE_CURRENT_SOURCE_DIR}/package/extension_adapter_mapping.json"
    "${INSTALLATION_DIR}/extension_adapter_mapping.json"
  DEPENDS @NAME@ package/manifest.json.in package/config.json
          package/extension_adapter_mapping.json cmake/WriteManifest.cmake
  VERBATIM)
add_custom_target(installation ALL DEPENDS "${PACKAGE_DIR}/manifest.json")
)";

constexpr char kWriteManifest[] =
    R"(# Writes the package's manifest.json from its template, with the MD5 of
# the library (32 lower-case hex digits, as the kit compares it).
#   cmake -DLIBRARY=<.so> -DTEMPLATE=<manifest.json.in> -DOUTPUT=<file> -P <this>
file(MD5 "${LIBRARY}" LIB_FILE_MD5)
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
)";

constexpr char kInterface[] =
    R"(// The interface of the extension point "@NAME@.hello". Hosts that use the
// point include this header too; it needs only the component model.

#ifndef @GUARD@
#define @GUARD@

#include <string>

#include "dlcom/unknown.h"

namespace @NAMESPACE@ {

struct IHello : public by::IBaseUnknown {
  // "<salutation>, <name>!"
  virtual std::string SayHello(const std::string& name) = 0;
};
BY_DECLARE_IID(IHello, "@IID@")

}  // namespace @NAMESPACE@

#endif  // @GUARD@
)";

constexpr char kSource[] =
    R"(// The @NAME@ plug-in: its bundle class and the extension class of the point
// "@NAME@.hello". Built against the SDK's headers only.

#include <string>

#include "@NAME@/IHello.h"
#include "ZQExtensionKit/bundle/ZQEBaseBundle.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "dlcom/comfactory.h"

namespace {

constexpr ZQGUID kBundleClass =
    by::GuidFromLiteral("@BUNDLE_CLSID@");
constexpr ZQGUID kHelloClass =
    by::GuidFromLiteral("@HELLO_CLSID@");

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
    by::ComClass<Bundle>(kBundleClass),
    by::ComClass<Hello>(kHelloClass),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
)";

constexpr char kManifest[] = R"({
  "id": "@NAME@",
  "version": "1.0.0",
  "foundationVersion": "1.0",
  "mainEntry": "lib/@NAME@.so",
  "libFileMD5": "@LIB_FILE_MD5@",
  "BundleClassId": "@BUNDLE_CLSID@",
  "extensionPoints": [
    {
      "id": "@NAME@.hello",
      "iid": "@IID@",
      "extensions": [
        {
          "id": "@NAME@.hello.default",
          "version": "1.0.0",
          "clsid": "@HELLO_CLSID@",
          "isSingleton": false,
          "payloads": {"salutation": "Hello"}
        }
      ]
    }
  ]
}
)";

constexpr char kConfig[] = R"({"artifacts": ["@NAME@"]}
)";

constexpr char kMapping[] = "{}\n";

constexpr char kReadme[] = R"(# @NAME@

A ZQExtensionKit plug-in: `src/@NAME@.cc` holds its bundle class and the
extension class of the point `@NAME@.hello`, whose interface is
`include/@NAME@/IHello.h`; `package/manifest.json.in` describes the package.

    cmake -S . -B build -DCMAKE_PREFIX_PATH=<where the SDK is installed>
    cmake --build build
    zqext doctor build/installation

The build assembles `build/installation/`, a client installation holding
only this package; `zqext doctor` checks it, loading the library in a child
process. To ship the plug-in, copy `build/installation/extensions/@NAME@/`
into the client's `extensions/` directory and add `"@NAME@"` to the
"artifacts" of its `config.json`.
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

std::string FreshId() {
  return "{" + base::GenerateGUID() + "}";
}

}  // namespace

bool IsValidPluginName(const std::string& name) {
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0])))
    return false;
  for (const char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
      return false;
  }
  return true;
}

std::map<std::string, std::string> PluginProjectFiles(const std::string& name) {
  std::string guard;
  for (const char c : name)
    guard += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::map<std::string, std::string> values = {
      {"@NAME@", name},
      {"@NAMESPACE@", name + "_plugin"},
      {"@GUARD@", guard + "_IHELLO_H_"},
      {"@IID@", FreshId()},
      {"@BUNDLE_CLSID@", FreshId()},
      {"@HELLO_CLSID@", FreshId()},
  };
  return {
      {"CMakeLists.txt", Replace(kCMakeLists, values)},
      {"README.md", Replace(kReadme, values)},
      {"cmake/WriteManifest.cmake", kWriteManifest},
      {"include/" + name + "/IHello.h", Replace(kInterface, values)},
      {"src/" + name + ".cc", Replace(kSource, values)},
      {"package/manifest.json.in", Replace(kManifest, values)},
      {"package/config.json", Replace(kConfig, values)},
      {"package/extension_adapter_mapping.json", kMapping},
  };
}

}  // namespace zqext
