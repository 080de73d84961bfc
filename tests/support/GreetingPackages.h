// Test support: an installation (Installation.h) of packages that each bring
// a copy of the greeting plug-in (its bundle class and one extension), for
// tests that watch when and how the kit loads their libraries.
//
// Package `name` lies in extensions/<name>, its library at lib/plugin.so,
// and its manifest records the library's MD5 and the greeting bundle class
// and declares the point `name` (interface IGreeting) with the extension
// "<name>.greeter". A tampered package's library was changed after its MD5
// was recorded: the file holds other bytes than those the digest describes.
// StartKit() starts the kit with managers of its own pointed at such an
// installation; Greetings() asks it for a point's extensions. Header-only;
// not thread-safe.

#ifndef TESTS_SUPPORT_GREETINGPACKAGES_H_
#define TESTS_SUPPORT_GREETINGPACKAGES_H_

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <memory>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/extension/internal/ZQExtensionManagerImpl.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "dlcom/comsentry.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/Installation.h"

namespace zqextensionkit {
namespace test {

struct GreetingPackage {
  std::string name;
  bool tampered = false;
  // Written as the manifest's "signMD5" when not empty.
  std::string signature = {};
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
                (package.signature.empty()
                     ? std::string()
                     : R"(", "signMD5": ")" + package.signature) +
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

// Starts the kit as a host does, then installs managers of its own (no
// earlier load's libraries, records or state), pointed at `installation`,
// with the MD5 check and lazy loading as given.
inline ZQExtensionManager* StartKit(const Installation& installation,
                                    bool verify,
                                    bool lazy) {
  ZQExtensionKit::InitSDK();
  ZQEBundleManager::GetInstance()->Initialize(
      std::make_shared<ZQEBundleManagerImpl>());
  ZQEConfigurationManager::GetInstance()->Initialize(
      std::make_shared<ZQEConfigurationManagerImpl>());
  ZQExtensionManager* manager = ZQExtensionManager::GetInstance();
  manager->Initialize(std::make_shared<ZQExtensionManagerImpl>());
  manager->SetInstallationDir(installation.dir().string());
  manager->SetLibFileVerifyEnable(verify);
  manager->SetLazyLibraryLoading(lazy);
  return manager;
}

// What each extension of point `point` answers Greet("Ann"), in order.
inline std::vector<std::string> Greetings(const std::string& point) {
  std::vector<void*> instances;
  ZQExtensionManager::GetInstance()->GetExtensionList(point, instances);
  std::vector<std::string> greetings;
  for (void* instance : instances) {
    by::com_ptr<IGreeting> greeting;
    greeting.attach(static_cast<IGreeting*>(instance));
    greetings.push_back(greeting->Greet("Ann"));
  }
  return greetings;
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_GREETINGPACKAGES_H_
