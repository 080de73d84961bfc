// Test support: an installation (Installation.h) of packages that each bring
// a copy of the greeting plug-in (its bundle class and one extension), for
// tests that watch when and how the kit loads their libraries.
//
// Package `name` lies in extensions/<name>, its library at lib/plugin.so,
// and its manifest records the library's MD5 and the greeting bundle class
// and declares the point `name` (interface IGreeting) with the extension
// "<name>.greeter". A tampered package's library was changed after its MD5
// was recorded: the file holds other bytes than those the digest describes.
// Header-only; not thread-safe.

#ifndef TESTS_SUPPORT_GREETINGPACKAGES_H_
#define TESTS_SUPPORT_GREETINGPACKAGES_H_

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ZQExtensionKit/security/ZQEUtility.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/Installation.h"

namespace zqextensionkit {
namespace test {

struct GreetingPackage {
  std::string name;
  bool tampered = false;
};

// The bytes of the greeting plug-in.
inline std::string GreetingPluginBytes() {
  std::ifstream in(std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kGreetingPluginFile,
                   std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The library file of package `name` in `installation`.
inline std::string GreetingLibraryPath(const Installation& installation,
                                       const std::string& name) {
  return (installation.extensions_dir() / name / "lib" / "plugin.so").string();
}

// Writes the mapping, config.json listing `packages` in order, and each
// package. False (with installation.error()) on failure.
inline bool WriteGreetingPackages(
    Installation& installation,
    const std::vector<GreetingPackage>& packages) {
  const std::string plugin = GreetingPluginBytes();
  std::string md5;
  ZQEUtility_MD5_String(plugin, md5);
  std::string list;
  for (const GreetingPackage& package : packages) {
    const std::string& name = package.name;
    list += (list.empty() ? "\"" : ", \"") + name + "\"";
    const std::string library =
        package.tampered ? plugin + "changed after its digest" : plugin;
    if (!installation.WriteFile("extensions/" + name + "/lib/plugin.so",
                                library) ||
        !installation.WriteManifest(
            name,
            R"({"id": ")" + name +
                R"(", "mainEntry": "lib/plugin.so", "libFileMD5": ")" + md5 +
                R"(", "BundleClassId": ")" + kGreetingBundleClsidText +
                R"(", "extensionPoints": [{"id": ")" + name + R"(", "iid": ")" +
                kGreetingIidText + R"(", "extensions": [{"id": ")" + name +
                R"(.greeter", "clsid": ")" + kGreeterClsidText +
                R"(", "isSingleton": false}]}]})")) {
      return false;
    }
  }
  return installation.WriteAdapterMapping("{}") &&
         installation.WriteConfig(R"({"artifacts": [)" + list + "]}");
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_GREETINGPACKAGES_H_
