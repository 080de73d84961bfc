// The extension data model: package-derived answers, ownership and the list
// operations of Artifact and ExtensionPointImpl.

#include "ZQExtensionKit/config/ExtensionImpl.h"

#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/ExtensionAction.h"
#include "ZQExtensionKit/config/ExtensionPointImpl.h"
#include "base/files/file_path.h"
#include "gtest/gtest.h"

namespace zqextensionkit {
namespace {

// Builds the package "/opt/pkg" with entry library, MD5s and bundle class id,
// one point "ep.chat" and one extension in it.
struct Package {
  Package() : artifact(base::FilePath("/opt/pkg")) {
    artifact.SetBinFilePath("lib/libchat.so");
    artifact.SetResourcesPath("/opt/pkg/resources");
    artifact.SetLibFileMD5("lib-md5");
    artifact.SetSignMD5("sign-md5");
    artifact.SetBundleClassId("{bundle}");
    auto ep = std::make_unique<ExtensionPointImpl>(&artifact);
    ep->SetInfo("ep.chat", "{iid}");
    point = ep.get();
    auto ext = std::make_unique<ExtensionImpl>(point);
    ext->SetID("ext.1");
    extension = ext.get();
    point->AddExtension(std::move(ext));
    artifact.AddExtensionPoint(std::move(ep));
  }

  Artifact artifact;
  ExtensionPointImpl* point = nullptr;
  ExtensionImpl* extension = nullptr;
};

TEST(ExtensionImplTest, ExtensionWithoutOwnerAnswersEmptyPackageValues) {
  ExtensionImpl ext;
  EXPECT_EQ(ext.GetBinPath(), "");
  EXPECT_EQ(ext.GetLibFileMD5(), "");
  EXPECT_EQ(ext.GetSignMD5(), "");
  EXPECT_EQ(ext.GetBundleClassId(), "");
  EXPECT_EQ(ext.GetExtensionPointUUID(), "");
  EXPECT_TRUE(ext.GetRootPath().empty());
  EXPECT_EQ(ext.GetResourcesPath(), "");
  EXPECT_FALSE(ext.IsNative());
  EXPECT_FALSE(ext.IsSingleton());

  ext.SetResourcePath("/own/resources");
  EXPECT_EQ(ext.GetResourcesPath(), "/own/resources");
}

TEST(ExtensionImplTest, PointWithoutArtifactGivesUuidButNoPackageValues) {
  ExtensionPointImpl point(nullptr);
  point.SetInfo("ep", "{iid}");
  ExtensionImpl ext(&point);
  EXPECT_EQ(ext.GetExtensionPointUUID(), "{iid}");
  EXPECT_EQ(ext.GetBinPath(), "");
  EXPECT_EQ(ext.GetResourcesPath(), "");
  EXPECT_TRUE(ext.GetRootPath().empty());
  EXPECT_FALSE(ext.IsNative());
}

TEST(ExtensionImplTest, ExtensionWithPackageAnswersFromItsArtifact) {
  Package pkg;
  const Extension& ext = *pkg.extension;
  EXPECT_EQ(ext.GetBinPath(), "lib/libchat.so");
  EXPECT_EQ(ext.GetLibFileMD5(), "lib-md5");
  EXPECT_EQ(ext.GetSignMD5(), "sign-md5");
  EXPECT_EQ(ext.GetBundleClassId(), "{bundle}");
  EXPECT_EQ(ext.GetExtensionPointUUID(), "{iid}");
  EXPECT_EQ(ext.GetRootPath().value(), "/opt/pkg");
  EXPECT_EQ(ext.GetResourcesPath(), "/opt/pkg/resources");
  EXPECT_TRUE(ext.IsNative());

  pkg.extension->SetResourcePath("/elsewhere");
  EXPECT_EQ(ext.GetResourcesPath(), "/elsewhere");
}

TEST(ExtensionImplTest, PackageWithoutEntryLibraryIsNotNative) {
  Package pkg;
  pkg.artifact.SetBinFilePath("");
  EXPECT_FALSE(pkg.extension->IsNative());
}

TEST(ArtifactTest, FreshArtifactIsEmptyExceptItsRootPath) {
  Artifact artifact(base::FilePath("/opt/pkg"));
  EXPECT_EQ(artifact.GetRootPath().value(), "/opt/pkg");
  EXPECT_FALSE(artifact.GetVersion().IsValid());
  EXPECT_FALSE(artifact.GetFoundationVersion().IsValid());
  EXPECT_EQ(artifact.GetID(), "");
  EXPECT_EQ(artifact.GetBinFilePath(), "");
  EXPECT_EQ(artifact.GetResourcesPath(), "");
  EXPECT_EQ(artifact.GetLibFileMD5(), "");
  EXPECT_EQ(artifact.GetSignMD5(), "");
  EXPECT_EQ(artifact.GetBundleClassId(), "");
  EXPECT_EQ(artifact.provider.tanent_id_, "0");
  EXPECT_EQ(artifact.provider.company_name_, "unknown");
  std::vector<ExtensionPoint*> points;
  EXPECT_TRUE(artifact.GetExtensionPoints(points));
  EXPECT_TRUE(points.empty());
}

TEST(ArtifactTest, ListOperationsAppendAfterExistingEntries) {
  Package pkg;
  auto second = std::make_unique<ExtensionPointImpl>(&pkg.artifact);
  ExtensionPointImpl* second_raw = second.get();
  pkg.artifact.AddExtensionPoint(std::move(second));

  ExtensionPointImpl sentinel_point(nullptr);
  std::vector<ExtensionPoint*> points{&sentinel_point};
  EXPECT_TRUE(pkg.artifact.GetExtensionPoints(points));
  EXPECT_EQ(points, (std::vector<ExtensionPoint*>{&sentinel_point, pkg.point,
                                                  second_raw}));

  ExtensionImpl sentinel_ext;
  std::vector<Extension*> extensions{&sentinel_ext};
  EXPECT_TRUE(pkg.point->GetExtensions(extensions));
  EXPECT_EQ(extensions,
            (std::vector<Extension*>{&sentinel_ext, pkg.extension}));
}

// Records its destruction in a shared log, to observe ownership.
class TracedExtension : public ExtensionImpl {
 public:
  TracedExtension(std::vector<std::string>* log, std::string name)
      : log_(log), name_(std::move(name)) {}
  ~TracedExtension() override { log_->push_back(name_); }

 private:
  std::vector<std::string>* log_;
  std::string name_;
};

TEST(ArtifactTest, ArtifactDestroysPointsAndTheirExtensionsInOrder) {
  std::vector<std::string> log;
  {
    Artifact artifact(base::FilePath("/p"));
    for (const char* point_name : {"p1", "p2"}) {
      auto point = std::make_unique<ExtensionPointImpl>(&artifact);
      for (const char* ext_name : {"a", "b"}) {
        point->AddExtension(std::make_unique<TracedExtension>(
            &log, std::string(point_name) + ext_name));
      }
      artifact.AddExtensionPoint(std::move(point));
    }
    EXPECT_TRUE(log.empty());
  }
  EXPECT_EQ(log, (std::vector<std::string>{"p1a", "p1b", "p2a", "p2b"}));
}

TEST(ExtensionPointImplTest, OnlyIdIidAndPermissionsCanBeSet) {
  Artifact artifact(base::FilePath("/p"));
  ExtensionPointImpl point(&artifact);
  point.SetInfo("ep", "{iid}");
  point.SetPermissions({ExtensionPointPermissionMessage});
  EXPECT_EQ(point.GetID(), "ep");
  EXPECT_EQ(point.GetIId(), "{iid}");
  EXPECT_EQ(point.GetPermissions(), std::vector<ExtensionPointPermission>{
                                        ExtensionPointPermissionMessage});
  EXPECT_EQ(point.GetOwnerArtifact(), &artifact);
  EXPECT_EQ(point.GetName(), "");
  EXPECT_EQ(point.GetDescription(), "");
  EXPECT_EQ(point.GetModuleGroupID(), "");
  EXPECT_EQ(point.GetModuleId(), "");
  EXPECT_FALSE(point.GetModuleVersion().IsValid());
  EXPECT_FALSE(point.GetFoundationVersion().IsValid());
  EXPECT_EQ(point.GetExtensionType(), ExtensionPointTypeUnkown);
  EXPECT_TRUE(point.GetPayloadMetas().empty());
  // No action: Invoke does nothing and reports false.
  EXPECT_FALSE(point.Invoke());
}

TEST(ExtensionDefinesTest, EnumeratorsKeepTheirValues) {
  static_assert(
      ExtensionPointTypeUnkown == -1 && ExtensionPointTypeAction == 0 &&
          ExtensionPointTypeNativeSPI == 1 && ExtensioniPointTypeJSAPI == 2,
      "ExtensionPointType values are part of the interface");
  static_assert(ExtensionPointPayloadMetaItemTypeUnkown == -1 &&
                    ExtensionPointPayloadMetaItemTypeString == 0 &&
                    ExtensionPointPayloadMetaItemTypeBoolean == 1 &&
                    ExtensionPointPayloadMetaItemTypeInt == 2,
                "ExtensionPointPayloadMetaItemType values");
  static_assert(ExtensionPointPermissionUnkown == -1 &&
                    ExtensionPointPermissionConversation == 0 &&
                    ExtensionPointPermissionMessage == 1,
                "ExtensionPointPermission values");
  static_assert(ActionTypeUnkown == -1 && ActionTypeUIInvoke == 0 &&
                    ActionTypeJSInvoke == 1,
                "ExtensionActionType values");
  static_assert(
      sizeof(ExtensionPointType) == 4 && sizeof(ExtensionActionType) == 4,
      "enumerations are 32-bit");
}

}  // namespace
}  // namespace zqextensionkit
