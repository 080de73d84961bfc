// ExtensionFactory: free-standing records, copies of parsed records and the
// merge of a local native record into a remote one.

#include "ZQExtensionKit/config/ExtensionFactory.h"

#include <memory>
#include <string>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/ExtensionImpl.h"
#include "ZQExtensionKit/config/ExtensionPointImpl.h"
#include "base/files/file_path.h"
#include "gtest/gtest.h"

namespace zqextensionkit {
namespace {

class ExtensionFactoryTest : public ::testing::Test {
 protected:
  ExtensionFactoryTest() : artifact_(base::FilePath("/opt/pkg")) {
    artifact_.SetBinFilePath("libpkg.so");
    artifact_.SetResourcesPath("/opt/pkg/resources");
    artifact_.SetLibFileMD5("md5");
    auto point = std::make_unique<ExtensionPointImpl>(&artifact_);
    point->SetInfo("ep.chat", "{iid}");
    point_ = point.get();
    auto ext = std::make_unique<ExtensionImpl>(point_);
    ext->SetID("ext.1");
    ext->SetVersion("1.2");
    ext->SetExtensionPointID("ep.chat");
    ext->SetClassID("{cls}");
    ext->SetPayloads({{"p", "v"}});
    ext->SetConstraints({{"k", {"a", "b"}}});
    SettingMap settings;
    settings.host_ = "https://h";
    settings.uri_ = "/u";
    settings.url_ = "https://h/u";
    ext->SetSettingMap(settings);
    ext->SetIsSingleton(true);
    ext->SetUnifiedId("uni");
    local_ = ext.get();
    point_->AddExtension(std::move(ext));
    artifact_.AddExtensionPoint(std::move(point));
  }

  Artifact artifact_;
  ExtensionPointImpl* point_ = nullptr;
  ExtensionImpl* local_ = nullptr;
};

// An Extension that is not an ExtensionImpl.
class ForeignExtension : public Extension {
 public:
  std::string GetID() const override { return "ext.1"; }
  std::string GetVersion() const override { return ""; }
  std::string GetExtensionPointID() const override { return ""; }
  std::string GetExtensionPointUUID() const override { return ""; }
  std::string GetClassID() const override { return ""; }
  std::map<std::string, std::string> GetPayloads() const override { return {}; }
  std::string GetBinPath() const override { return "lib.so"; }
  std::map<std::string, std::vector<std::string>> GetConstraints()
      const override {
    return {};
  }
  base::FilePath GetRootPath() const override { return base::FilePath(); }
  SettingMap GetSettingMap() const override { return SettingMap(); }
  std::string GetResourcesPath() const override { return ""; }
  bool IsSingleton() const override { return false; }
  std::string GetLibFileMD5() const override { return ""; }
  std::string GetSignMD5() const override { return ""; }
  std::string GetBundleClassId() const override { return ""; }
  bool IsNative() const override { return true; }
  std::string GetUnifiedId() const override { return ""; }
};

TEST_F(ExtensionFactoryTest, CreateExtensionMakesAnOwnerlessNonNativeRecord) {
  SettingMap settings;
  settings.open_type_ = "modal";
  std::shared_ptr<Extension> ext = ExtensionFactory::createExtension(
      "r1", "ep.chat", {{"p", "v"}}, {{"k", {"a"}}}, settings, "uni");
  ASSERT_TRUE(ext);
  EXPECT_EQ(ext->GetID(), "r1");
  EXPECT_EQ(ext->GetExtensionPointID(), "ep.chat");
  EXPECT_EQ(ext->GetPayloads().at("p"), "v");
  EXPECT_EQ(ext->GetConstraints().at("k"), std::vector<std::string>{"a"});
  EXPECT_EQ(ext->GetSettingMap().open_type_, "modal");
  EXPECT_EQ(ext->GetUnifiedId(), "uni");
  EXPECT_EQ(ext->GetVersion(), "");
  EXPECT_EQ(ext->GetClassID(), "");
  EXPECT_EQ(ext->GetResourcesPath(), "");
  EXPECT_FALSE(ext->IsSingleton());
  EXPECT_FALSE(ext->IsNative());
}

TEST_F(ExtensionFactoryTest, CopyKeepsEveryFieldAndTheOwnerPoint) {
  Extension* raw = nullptr;
  ExtensionFactory::CopyExtension(local_, &raw);
  ASSERT_NE(raw, nullptr);
  std::unique_ptr<Extension> copy(raw);
  EXPECT_NE(copy.get(), static_cast<Extension*>(local_));
  EXPECT_EQ(copy->GetID(), "ext.1");
  EXPECT_EQ(copy->GetVersion(), "1.2");
  EXPECT_EQ(copy->GetExtensionPointID(), "ep.chat");
  EXPECT_EQ(copy->GetClassID(), "{cls}");
  EXPECT_EQ(copy->GetPayloads(), local_->GetPayloads());
  EXPECT_EQ(copy->GetConstraints(), local_->GetConstraints());
  EXPECT_EQ(copy->GetSettingMap().url_, "https://h/u");
  EXPECT_TRUE(copy->IsSingleton());
  EXPECT_EQ(copy->GetUnifiedId(), "uni");
  EXPECT_EQ(static_cast<ExtensionImpl*>(copy.get())->GetOwnerExtensionPoint(),
            point_);
  EXPECT_TRUE(copy->IsNative());
  EXPECT_EQ(copy->GetExtensionPointUUID(), "{iid}");

  // The package's resources path is carried explicitly: it survives a change
  // of the package's.
  artifact_.SetResourcesPath("/moved");
  EXPECT_EQ(copy->GetResourcesPath(), "/opt/pkg/resources");
}

TEST_F(ExtensionFactoryTest, CopyLeavesOutParameterAloneForUnusableOrigins) {
  Extension* sentinel = local_;
  Extension* out = sentinel;
  ExtensionFactory::CopyExtension(nullptr, &out);
  EXPECT_EQ(out, sentinel);

  ForeignExtension foreign;
  ExtensionFactory::CopyExtension(&foreign, &out);
  EXPECT_EQ(out, sentinel);

  // A null out-parameter is tolerated.
  ExtensionFactory::CopyExtension(local_, nullptr);
}

TEST_F(ExtensionFactoryTest, ExtractTakesNativeInfoButKeepsRemoteContent) {
  SettingMap remote_settings;
  remote_settings.host_ = "https://remote";
  auto remote = ExtensionFactory::createExtension(
      "ext.1", "ep.remote", {{"rp", "rv"}}, {{"rk", {"r"}}}, remote_settings,
      "remote-uni");
  ExtensionFactory::ExtractLocalNativeExtensionInfoToRemote(remote.get(),
                                                            local_);
  EXPECT_EQ(remote->GetVersion(), "1.2");
  EXPECT_EQ(remote->GetExtensionPointID(), "ep.chat");
  EXPECT_EQ(remote->GetClassID(), "{cls}");
  EXPECT_TRUE(remote->IsSingleton());
  EXPECT_EQ(remote->GetResourcesPath(), "/opt/pkg/resources");
  EXPECT_TRUE(remote->IsNative());
  EXPECT_EQ(remote->GetBinPath(), "libpkg.so");
  EXPECT_EQ(remote->GetLibFileMD5(), "md5");
  // Its own content stays.
  EXPECT_EQ(remote->GetPayloads(),
            (std::map<std::string, std::string>{{"rp", "rv"}}));
  EXPECT_EQ(remote->GetConstraints().count("rk"), 1u);
  EXPECT_EQ(remote->GetSettingMap().host_, "https://remote");
  EXPECT_EQ(remote->GetUnifiedId(), "remote-uni");
}

TEST_F(ExtensionFactoryTest,
       ExtractChangesNothingUnlessIdsMatchAndLocalNative) {
  auto expect_untouched = [](const Extension& remote) {
    EXPECT_EQ(remote.GetVersion(), "");
    EXPECT_EQ(remote.GetExtensionPointID(), "ep.remote");
    EXPECT_EQ(remote.GetClassID(), "");
    EXPECT_FALSE(remote.IsSingleton());
    EXPECT_FALSE(remote.IsNative());
  };
  auto make_remote = [](const std::string& id) {
    return ExtensionFactory::createExtension(id, "ep.remote", {}, {},
                                             SettingMap(), "");
  };

  auto other_id = make_remote("ext.2");
  ExtensionFactory::ExtractLocalNativeExtensionInfoToRemote(other_id.get(),
                                                            local_);
  expect_untouched(*other_id);

  // Equal ids, but the local package names no entry library.
  artifact_.SetBinFilePath("");
  auto not_native = make_remote("ext.1");
  ExtensionFactory::ExtractLocalNativeExtensionInfoToRemote(not_native.get(),
                                                            local_);
  expect_untouched(*not_native);
  artifact_.SetBinFilePath("libpkg.so");

  // Records that are null or not ExtensionImpl.
  auto remote = make_remote("ext.1");
  ForeignExtension foreign;
  ExtensionFactory::ExtractLocalNativeExtensionInfoToRemote(remote.get(),
                                                            &foreign);
  ExtensionFactory::ExtractLocalNativeExtensionInfoToRemote(remote.get(),
                                                            nullptr);
  ExtensionFactory::ExtractLocalNativeExtensionInfoToRemote(nullptr, local_);
  expect_untouched(*remote);
}

}  // namespace
}  // namespace zqextensionkit
