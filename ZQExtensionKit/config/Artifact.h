// Artifact: one installed extension package (a directory holding a
// manifest.json) and the extension points it declares.
//
// Ownership: an Artifact owns its extension points (and through them their
// extensions) and destroys them in the order they were added.
// GetExtensionPoints() hands out non-owning pointers valid while the artifact
// lives. Records that live apart from the tree (copies made by
// ExtensionFactory, adapter and merged remote records) point at the tree's
// extension points; when the artifact is held by a std::shared_ptr, as the
// configuration manager holds every artifact it loads, they share ownership
// of it, so it lives, with its points, as long as the last of them. An
// artifact held any other way must outlive their package-derived answers.
//
// Getters return copies; setters replace. Nothing here fails, logs or locks;
// the configuration manager's lock guards the artifacts it keeps.
//
//   Artifact* artifact = nullptr;
//   if (ArtifactParser::Parse(package_dir, &artifact)) {
//     std::unique_ptr<Artifact> owned(artifact);
//     std::vector<ExtensionPoint*> points;
//     owned->GetExtensionPoints(points);
//   }

#ifndef ZQEXTENSIONKIT_CONFIG_ARTIFACT_H_
#define ZQEXTENSIONKIT_CONFIG_ARTIFACT_H_

#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/ExtensionPoint.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "base/files/file_path.h"
#include "base/version.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT Artifact
    : public std::enable_shared_from_this<Artifact> {
 public:
  // Who supplies the package. Descriptive only: the kit neither fills nor
  // reads it.
  struct Provider {
    std::string tanent_id_ = "0";           // the supplier's tenant
    std::string company_name_ = "unknown";  // the supplier's name
  };

  // `path` is the package directory. Every string starts empty and both
  // versions start invalid.
  explicit Artifact(const base::FilePath& path);
  Artifact(const Artifact&) = delete;
  Artifact& operator=(const Artifact&) = delete;
  ~Artifact();

  // The package id (the manifest's "id").
  std::string GetID() const;
  void SetID(const std::string& id);

  // The package version (the manifest's "version").
  base::Version GetVersion() const;
  void SetVersion(const base::Version& version);

  // The lowest foundation version of the host that the package needs.
  base::Version GetFoundationVersion() const;
  void SetFoundationVersion(const base::Version& version);

  // The entry library as written in the manifest, relative to the package
  // directory; empty when the package has none.
  std::string GetBinFilePath() const;
  void SetBinFilePath(const std::string& path);

  // The package's resources directory, `<package>/resources`.
  std::string GetResourcesPath() const;
  void SetResourcesPath(const std::string& path);

  // The MD5 the manifest records for the entry library ("libFileMD5").
  std::string GetLibFileMD5() const;
  void SetLibFileMD5(const std::string& md5);

  // The manifest's "signMD5".
  std::string GetSignMD5() const;
  void SetSignMD5(const std::string& md5);

  // The class id of the library's bundle object ("BundleClassId"), or "".
  std::string GetBundleClassId() const;
  void SetBundleClassId(const std::string& clsid);

  // The package directory given at construction.
  base::FilePath GetRootPath() const;

  // Appends `extension_point` and takes ownership of it. Null is ignored.
  void AddExtensionPoint(std::unique_ptr<ExtensionPoint> extension_point);

  // Appends a non-owning pointer to each owned point, in the order they were
  // added, after whatever `extension_points` already holds. Returns true.
  bool GetExtensionPoints(std::vector<ExtensionPoint*>& extension_points);

 private:
  std::string id_;
  std::string name_;
  std::string en_name_;
  std::string group_id_;
  base::Version version_;
  base::Version foundation_version_;
  std::string bin_file_path_;
  base::FilePath root_path_;
  std::string resources_path_;
  std::string lib_file_md5_;
  std::string sign_md5_;
  std::string bundle_clsId_;
  std::vector<std::unique_ptr<ExtensionPoint>> extension_points_;

 public:
  Provider provider;  // who supplies the package (descriptive only)
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_ARTIFACT_H_
