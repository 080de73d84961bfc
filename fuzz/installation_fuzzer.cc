// A whole client installation -> the configuration manager's load from the
// files beside the executable (adapter mapping, config.json plain or
// encrypted, every listed package's manifest.json), every query, a remote
// merge of records delivered for the loaded extension points, the fetch of
// missing access keys, and unloading.
//
// The input is split at its zero bytes. The first byte holds flags: bit 0
// encrypts config.json with the test key, bits 1-2 pick the host's
// foundation version (none, "1.0", "2", "1.2.3"). Then, zero-separated:
// extension_adapter_mapping.json, config.json, and the manifests of the
// packages p0, p1, ... (at most kMaxPackages). A missing part leaves its
// file out.

#include <stddef.h>
#include <stdint.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ExtensionFactory.h"
#include "ZQExtensionKit/config/ZQExtensionAuthInfo.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "fuzz/FuzzSupport.h"
#include "tests/support/ConfigCipher.h"

namespace {

using zqextensionkit::Extension;
using zqextensionkit::ZQEConfigurationManagerImpl;
using zqextensionkit::ZQExtensionAuthInfo;

constexpr size_t kMaxPackages = 8;

std::string* g_dir = nullptr;

std::vector<std::string> SplitAtZeros(const uint8_t* data, size_t size) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      parts.emplace_back();
    else
      parts.back().push_back(static_cast<char>(data[i]));
  }
  return parts;
}

// For every extension point the local load produced, one remote record of
// the id of that point's record and one of its own; and a keyless
// access-key record for every point id, used as a bundle id.
std::shared_ptr<zqextensionkit::fuzz::StaticRemoteSource> RemoteSource(
    const std::vector<std::string>& point_ids,
    const std::vector<std::string>& extension_ids) {
  zqextensionkit::fuzz::StaticRemoteSource::Config config;
  zqextensionkit::fuzz::StaticRemoteSource::AuthInfos auth;
  for (size_t i = 0; i < point_ids.size(); ++i) {
    const std::string& point = point_ids[i];
    config[point].push_back(zqextensionkit::ExtensionFactory::createExtension(
        extension_ids[i], point, {{"r", "1"}}, {}, {}, "u"));
    config[point].push_back(zqextensionkit::ExtensionFactory::createExtension(
        point + ".remote", point, {}, {}, {}, ""));
    auth.push_back(std::make_shared<ZQExtensionAuthInfo>("", point, ""));
  }
  return std::make_shared<zqextensionkit::fuzz::StaticRemoteSource>(
      std::move(config), std::move(auth));
}

void WriteInstallation(const std::vector<std::string>& parts, bool encrypt) {
  namespace fs = std::filesystem;
  const fs::path dir(*g_dir);
  std::error_code ignored;
  fs::remove_all(dir / "extensions", ignored);
  fs::remove(dir / "extension_adapter_mapping.json", ignored);
  zqextensionkit::test::Installation installation =
      zqextensionkit::test::Installation::Adopt(dir);
  if (parts.size() > 0)
    installation.WriteAdapterMapping(parts[0]);
  if (parts.size() > 1) {
    installation.WriteConfig(
        encrypt ? zqextensionkit::test::Base64Encode(
                      zqextensionkit::test::AesEcbEncrypt(
                          zqextensionkit::test::Pkcs5Pad(parts[1])))
                : parts[1]);
  }
  for (size_t i = 2; i < parts.size() && i - 2 < kMaxPackages; ++i)
    installation.WriteManifest("p" + std::to_string(i - 2), parts[i]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  g_dir = new std::string(
      zqextensionkit::fuzz::EnterScratchInstallation(argc, argv));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0)
    return 0;
  const uint8_t flags = data[0];
  const bool encrypt = (flags & 1) != 0;
  WriteInstallation(SplitAtZeros(data + 1, size - 1), encrypt);

  ZQEConfigurationManagerImpl manager;
  static const char* const kVersions[] = {"", "1.0", "2", "1.2.3"};
  const char* version = kVersions[(flags >> 1) & 3];
  if (*version)
    manager.SetFoundationVersion(version);
  if (encrypt && !manager.SetSecKey(zqextensionkit::test::kTestSecKey))
    __builtin_trap();
  manager.LoadAllExtensionInfos();

  size_t checksum = 0;
  std::vector<zqextensionkit::Artifact*> artifacts;
  manager.GetAllArtifacts(artifacts);
  checksum += artifacts.size();
  std::vector<Extension*> records;
  manager.GetAllExtensionInfos(records);
  std::vector<std::string> point_ids;
  std::vector<std::string> extension_ids;
  for (Extension* record : records) {
    const std::string id = record->GetID();
    extension_ids.push_back(id);
    point_ids.push_back(record->GetExtensionPointID());
    Extension* copy = nullptr;
    if (manager.GetExtensionInfoByID(id, &copy)) {
      if (!copy || copy->GetID() != id)
        __builtin_trap();  // The record asked for, by its id.
      checksum += copy->GetPayloads().size() + copy->IsNative();
      delete copy;
    }
    std::vector<std::shared_ptr<Extension>> list;
    manager.GetExtensionInfosByExntensionPointID(record->GetExtensionPointID(),
                                                 list);
    checksum += list.size();
  }
  for (int code = -1; code <= 38; ++code) {
    bool enabled = false;
    checksum += manager.IsModuleEnabled(
        static_cast<zqextensionkit::ModuleCode>(code), enabled);
    checksum += manager.IsFeatueEnabled(
        static_cast<zqextensionkit::FeatureCode>(code), enabled);
  }
  checksum += manager.GetH5ExtensionBundleId("https://h5.example.com/a").size();

  // The remote merge, through the mapping the load read, and the fetch of
  // the keys it left missing.
  manager.SetRemoteConfigDataSource(RemoteSource(point_ids, extension_ids));
  manager.FetchRemoteConfig(true, nullptr, nullptr);
  manager.SetFetchExtensionAuthInfoCallback(
      zqextensionkit::fuzz::AnswerEveryKey("k"));
  manager.CheckAndFetchExtensionAuthInfo();
  for (const std::string& point : point_ids) {
    std::vector<std::shared_ptr<Extension>> list;
    manager.GetExtensionInfosByExntensionPointID(point, list);
    checksum += list.size() + manager.GetExtensionAccessKey(point).size();
  }

  manager.UnloadAllExtensionInfos();
  records.clear();
  manager.GetAllExtensionInfos(records);
  if (!records.empty())
    __builtin_trap();  // Unloading empties the configuration.
  volatile size_t sink = checksum;
  (void)sink;
  return 0;
}
