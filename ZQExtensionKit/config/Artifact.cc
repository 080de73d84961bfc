#include "ZQExtensionKit/config/Artifact.h"

#include <utility>

namespace zqextensionkit {

Artifact::Artifact(const base::FilePath& path) : root_path_(path) {}

Artifact::~Artifact() {
  // Points go in the order they were added; a vector leaves its element
  // destruction order unspecified.
  for (auto& extension_point : extension_points_)
    extension_point.reset();
}

std::string Artifact::GetID() const {
  return id_;
}

void Artifact::SetID(const std::string& id) {
  id_ = id;
}

base::Version Artifact::GetVersion() const {
  return version_;
}

void Artifact::SetVersion(const base::Version& version) {
  version_ = version;
}

base::Version Artifact::GetFoundationVersion() const {
  return foundation_version_;
}

void Artifact::SetFoundationVersion(const base::Version& version) {
  foundation_version_ = version;
}

std::string Artifact::GetBinFilePath() const {
  return bin_file_path_;
}

void Artifact::SetBinFilePath(const std::string& path) {
  bin_file_path_ = path;
}

std::string Artifact::GetResourcesPath() const {
  return resources_path_;
}

void Artifact::SetResourcesPath(const std::string& path) {
  resources_path_ = path;
}

std::string Artifact::GetLibFileMD5() const {
  return lib_file_md5_;
}

void Artifact::SetLibFileMD5(const std::string& md5) {
  lib_file_md5_ = md5;
}

std::string Artifact::GetSignMD5() const {
  return sign_md5_;
}

void Artifact::SetSignMD5(const std::string& md5) {
  sign_md5_ = md5;
}

std::string Artifact::GetBundleClassId() const {
  return bundle_clsId_;
}

void Artifact::SetBundleClassId(const std::string& clsid) {
  bundle_clsId_ = clsid;
}

base::FilePath Artifact::GetRootPath() const {
  return root_path_;
}

void Artifact::AddExtensionPoint(
    std::unique_ptr<ExtensionPoint> extension_point) {
  if (extension_point)
    extension_points_.push_back(std::move(extension_point));
}

bool Artifact::GetExtensionPoints(
    std::vector<ExtensionPoint*>& extension_points) {
  for (const auto& extension_point : extension_points_)
    extension_points.push_back(extension_point.get());
  return true;
}

}  // namespace zqextensionkit
