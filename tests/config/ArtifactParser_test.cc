// ArtifactParser: manifests written into fresh package directories, and the
// in-memory form of ParseExtension.

#include "ZQExtensionKit/config/internal/ArtifactParser.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/ExtensionImpl.h"
#include "ZQExtensionKit/config/ExtensionPointImpl.h"
#include "base/files/file_path.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"
#include "tests/support/ScopedTempDir.h"

namespace zqextensionkit {
namespace {

namespace fs = std::filesystem;

const char kFullManifest[] = R"({
  "id": "com.example.chat",
  "version": "2.3.1",
  "foundationVersion": "1.10",
  "mainEntry": "lib/libchat.so",
  "libFileMD5": "0123456789abcdef0123456789abcdef",
  "signMD5": "fedcba9876543210fedcba9876543210",
  "BundleClassId": "{11111111-2222-3333-4444-555555555555}",
  "name": "ignored",
  "extensionPoints": [
    {
      "id": "ep.toolbar",
      "type": "action",
      "iid": "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}",
      "extensions": [
        {
          "id": "ext.button",
          "version": "1.0.0",
          "clsid": "{99999999-8888-7777-6666-555555555555}",
          "isSingleton": false,
          "payloads": {"icon": "button.png", "title": "Send"},
          "constraints": [
            {"key": "platform", "value": ["linux", "mac"]},
            {"key": "role", "value": ["admin"]}
          ],
          "settingMap": {
            "modalPosition": "center",
            "modalSize": "400x300",
            "host": "https://apps.example.com",
            "uri": "/chat/index.html",
            "openType": "modal"
          },
          "unifiedId": "unified-1"
        },
        {"id": "ext.plain"}
      ]
    },
    {"id": "ep.empty"}
  ]
})";

// A fresh package directory, removed with everything in it afterwards.
class ArtifactParserTest : public ::testing::Test {
 protected:
  base::FilePath PackageDir() const {
    return base::FilePath(temp_.path().string());
  }

  void WriteManifest(const std::string& text) {
    temp_.WriteFile("manifest.json", text);
  }

  // Parses `text` as a package's manifest; the artifact or null.
  std::unique_ptr<Artifact> ParseManifest(const std::string& text) {
    WriteManifest(text);
    Artifact* artifact = nullptr;
    if (!ArtifactParser::Parse(PackageDir(), &artifact))
      return nullptr;
    return std::unique_ptr<Artifact>(artifact);
  }

  test::ScopedTempDir temp_;
};

std::vector<ExtensionPoint*> PointsOf(Artifact& artifact) {
  std::vector<ExtensionPoint*> points;
  artifact.GetExtensionPoints(points);
  return points;
}

std::vector<ExtensionImpl*> ExtensionsOf(ExtensionPoint* point) {
  std::vector<Extension*> extensions;
  point->GetExtensions(extensions);
  std::vector<ExtensionImpl*> result;
  for (Extension* extension : extensions)
    result.push_back(static_cast<ExtensionImpl*>(extension));
  return result;
}

TEST_F(ArtifactParserTest, FullManifestIsReadBackFieldByField) {
  std::unique_ptr<Artifact> artifact = ParseManifest(kFullManifest);
  ASSERT_TRUE(artifact);
  EXPECT_EQ(artifact->GetID(), "com.example.chat");
  EXPECT_EQ(artifact->GetVersion(), base::Version("2.3.1"));
  EXPECT_EQ(artifact->GetFoundationVersion(), base::Version("1.10"));
  EXPECT_EQ(artifact->GetBinFilePath(), "lib/libchat.so");
  EXPECT_EQ(artifact->GetLibFileMD5(), "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(artifact->GetSignMD5(), "fedcba9876543210fedcba9876543210");
  EXPECT_EQ(artifact->GetBundleClassId(),
            "{11111111-2222-3333-4444-555555555555}");
  EXPECT_EQ(artifact->GetRootPath().value(), PackageDir().value());
  EXPECT_EQ(artifact->GetResourcesPath(),
            PackageDir().Append("resources").value());

  std::vector<ExtensionPoint*> points = PointsOf(*artifact);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0]->GetID(), "ep.toolbar");
  EXPECT_EQ(points[0]->GetIId(), "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
  EXPECT_EQ(points[0]->GetExtensionType(), ExtensionPointTypeUnkown);
  EXPECT_EQ(static_cast<ExtensionPointImpl*>(points[0])->GetOwnerArtifact(),
            artifact.get());
  EXPECT_EQ(points[1]->GetID(), "ep.empty");
  EXPECT_EQ(points[1]->GetIId(), "");
  EXPECT_TRUE(ExtensionsOf(points[1]).empty());

  std::vector<ExtensionImpl*> extensions = ExtensionsOf(points[0]);
  ASSERT_EQ(extensions.size(), 2u);
  const ExtensionImpl& button = *extensions[0];
  EXPECT_EQ(button.GetID(), "ext.button");
  EXPECT_EQ(button.GetVersion(), "1.0.0");
  EXPECT_EQ(button.GetExtensionPointID(), "ep.toolbar");
  EXPECT_EQ(button.GetExtensionPointUUID(),
            "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
  EXPECT_EQ(button.GetClassID(), "{99999999-8888-7777-6666-555555555555}");
  EXPECT_FALSE(button.IsSingleton());
  EXPECT_EQ(button.GetPayloads(),
            (std::map<std::string, std::string>{{"icon", "button.png"},
                                                {"title", "Send"}}));
  EXPECT_EQ(button.GetConstraints(),
            (std::map<std::string, std::vector<std::string>>{
                {"platform", {"linux", "mac"}}, {"role", {"admin"}}}));
  SettingMap settings = button.GetSettingMap();
  EXPECT_EQ(settings.modal_position_, "center");
  EXPECT_EQ(settings.modal_size_, "400x300");
  EXPECT_EQ(settings.host_, "https://apps.example.com");
  EXPECT_EQ(settings.uri_, "/chat/index.html");
  EXPECT_EQ(settings.open_type_, "modal");
  EXPECT_EQ(settings.url_, "https://apps.example.com/chat/index.html");
  EXPECT_EQ(button.GetUnifiedId(), "unified-1");
  EXPECT_EQ(button.GetOwnerExtensionPoint(), points[0]);
  // Package-derived answers come from the artifact.
  EXPECT_TRUE(button.IsNative());
  EXPECT_EQ(button.GetBinPath(), "lib/libchat.so");
  EXPECT_EQ(button.GetRootPath().value(), PackageDir().value());
  EXPECT_EQ(button.GetResourcesPath(), artifact->GetResourcesPath());
  EXPECT_EQ(button.GetLibFileMD5(), artifact->GetLibFileMD5());
  EXPECT_EQ(button.GetBundleClassId(), artifact->GetBundleClassId());

  const ExtensionImpl& plain = *extensions[1];
  EXPECT_EQ(plain.GetID(), "ext.plain");
  EXPECT_EQ(plain.GetVersion(), "");
  EXPECT_EQ(plain.GetClassID(), "");
  EXPECT_TRUE(plain.IsSingleton());
  EXPECT_TRUE(plain.GetPayloads().empty());
  EXPECT_TRUE(plain.GetConstraints().empty());
  EXPECT_EQ(plain.GetSettingMap().url_, "");
  EXPECT_EQ(plain.GetUnifiedId(), "");
}

TEST_F(ArtifactParserTest, EmptyObjectGivesAnEmptyArtifact) {
  std::unique_ptr<Artifact> artifact = ParseManifest("{}");
  ASSERT_TRUE(artifact);
  EXPECT_EQ(artifact->GetID(), "");
  EXPECT_FALSE(artifact->GetVersion().IsValid());
  EXPECT_FALSE(artifact->GetFoundationVersion().IsValid());
  EXPECT_EQ(artifact->GetBinFilePath(), "");
  EXPECT_EQ(artifact->GetResourcesPath(),
            PackageDir().Append("resources").value());
  EXPECT_TRUE(PointsOf(*artifact).empty());
}

TEST_F(ArtifactParserTest, MistypedTopLevelKeysTakeTheirDefaults) {
  std::unique_ptr<Artifact> artifact = ParseManifest(
      R"({"id": 7, "version": 2, "foundationVersion": "x.1",
          "mainEntry": null, "libFileMD5": [], "signMD5": {},
          "BundleClassId": true, "bundleClassId": "lower-case is ignored",
          "extensionPoints": {"id": "not an array"}})");
  ASSERT_TRUE(artifact);
  EXPECT_EQ(artifact->GetID(), "");
  EXPECT_FALSE(artifact->GetVersion().IsValid());
  EXPECT_FALSE(artifact->GetFoundationVersion().IsValid());
  EXPECT_EQ(artifact->GetBinFilePath(), "");
  EXPECT_EQ(artifact->GetLibFileMD5(), "");
  EXPECT_EQ(artifact->GetSignMD5(), "");
  EXPECT_EQ(artifact->GetBundleClassId(), "");
  EXPECT_TRUE(PointsOf(*artifact).empty());
}

TEST_F(ArtifactParserTest, UnusablePackagesAreRejectedWithoutTouchingOutput) {
  Artifact sentinel(base::FilePath("/sentinel"));
  Artifact* out = &sentinel;

  // No manifest.json in the directory; a directory that does not exist.
  EXPECT_FALSE(ArtifactParser::Parse(PackageDir(), &out));
  EXPECT_FALSE(ArtifactParser::Parse(PackageDir().Append("missing"), &out));

  for (const char* text : {"", "{", "{\"id\": \"a\",}", "// comment\n{}", "[]",
                           "[{}]", "\"id\"", "42", "null", "true", "{} {}"}) {
    SCOPED_TRACE(text);
    WriteManifest(text);
    EXPECT_FALSE(ArtifactParser::Parse(PackageDir(), &out));
  }
  EXPECT_EQ(out, &sentinel);

  // A valid manifest but no out-parameter.
  WriteManifest("{}");
  EXPECT_FALSE(ArtifactParser::Parse(PackageDir(), nullptr));
}

TEST_F(ArtifactParserTest, ManifestThatIsNotARegularFileIsRejected) {
  // A directory, and a link to an endless device that would otherwise be
  // read until memory runs out.
  fs::create_directory(temp_.path() / "manifest.json");
  Artifact* out = nullptr;
  EXPECT_FALSE(ArtifactParser::Parse(PackageDir(), &out));
  fs::remove(temp_.path() / "manifest.json");
  fs::create_symlink("/dev/zero", temp_.path() / "manifest.json");
  EXPECT_FALSE(ArtifactParser::Parse(PackageDir(), &out));
  EXPECT_EQ(out, nullptr);
}

TEST_F(ArtifactParserTest, PointsAndExtensionsWithoutStringIdAreSkipped) {
  std::unique_ptr<Artifact> artifact = ParseManifest(R"({
    "extensionPoints": [
      "not an object",
      {"iid": "{no-id}", "extensions": [{"id": "lost"}]},
      {"id": 5},
      {"id": "ep.kept", "extensions": [
        7, [], {"version": "1"}, {"id": null}, {"id": "ext.kept"},
        {"id": ""}
      ]},
      {"id": "ep.scalar-extensions", "extensions": "none"}
    ]
  })");
  ASSERT_TRUE(artifact);
  std::vector<ExtensionPoint*> points = PointsOf(*artifact);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0]->GetID(), "ep.kept");
  EXPECT_EQ(points[1]->GetID(), "ep.scalar-extensions");
  EXPECT_TRUE(ExtensionsOf(points[1]).empty());

  std::vector<ExtensionImpl*> extensions = ExtensionsOf(points[0]);
  ASSERT_EQ(extensions.size(), 2u);
  EXPECT_EQ(extensions[0]->GetID(), "ext.kept");
  // An empty string is still a string id.
  EXPECT_EQ(extensions[1]->GetID(), "");
}

class ManifestExtensionTest : public ArtifactParserTest {
 protected:
  // The records parsed from extension objects `extensions_json` (a JSON array
  // body) in a one-point manifest.
  std::vector<ExtensionImpl*> Parse(const std::string& extensions_json) {
    artifact_ = ParseManifest(R"({"extensionPoints": [{"id": "ep",
        "extensions": [)" + extensions_json +
                              "]}]}");
    if (!artifact_)
      return {};
    std::vector<ExtensionPoint*> points = PointsOf(*artifact_);
    if (points.size() != 1)
      return {};
    return ExtensionsOf(points[0]);
  }

  std::unique_ptr<Artifact> artifact_;
};

TEST_F(ManifestExtensionTest, IsSingletonIsTrueUnlessABooleanSaysOtherwise) {
  std::vector<ExtensionImpl*> ext = Parse(R"(
      {"id": "absent"},
      {"id": "zero", "isSingleton": 0},
      {"id": "text", "isSingleton": "false"},
      {"id": "false", "isSingleton": false},
      {"id": "true", "isSingleton": true})");
  ASSERT_EQ(ext.size(), 5u);
  EXPECT_TRUE(ext[0]->IsSingleton());
  EXPECT_TRUE(ext[1]->IsSingleton());
  EXPECT_TRUE(ext[2]->IsSingleton());
  EXPECT_FALSE(ext[3]->IsSingleton());
  EXPECT_TRUE(ext[4]->IsSingleton());
}

TEST_F(ManifestExtensionTest, PayloadsKeepOnlyNonEmptyStrings) {
  std::vector<ExtensionImpl*> ext = Parse(R"(
      {"id": "a", "payloads": {"kept": "v", "empty": "", "number": 3,
                               "nested": {"x": "y"}, "dotted.key": "d"}},
      {"id": "b", "payloads": ["not", "an", "object"]})");
  ASSERT_EQ(ext.size(), 2u);
  // Member names are taken literally, dots included.
  EXPECT_EQ(ext[0]->GetPayloads(), (std::map<std::string, std::string>{
                                       {"dotted.key", "d"}, {"kept", "v"}}));
  EXPECT_TRUE(ext[1]->GetPayloads().empty());
}

TEST_F(ManifestExtensionTest, ConstraintsFirstKeyWinsAndNonStringsAreSkipped) {
  std::vector<ExtensionImpl*> ext = Parse(R"(
      {"id": "a", "constraints": [
        {"key": "k", "value": ["one", 2, "three", null, ""]},
        {"key": "k", "value": ["ignored"]},
        "not an object",
        {"value": ["no key"]},
        {"key": 9, "value": ["numeric key is a second empty key"]},
        {"key": "none"},
        {"key": "scalar", "value": "x"},
        {"key": "empty", "value": []}
      ]},
      {"id": "b", "constraints": {"key": "k", "value": ["object form"]}})");
  ASSERT_EQ(ext.size(), 2u);
  EXPECT_EQ(ext[0]->GetConstraints(),
            (std::map<std::string, std::vector<std::string>>{
                {"k", {"one", "three", ""}},
                {"", {"no key"}},
                {"none", {}},
                {"scalar", {}},
                {"empty", {}}}));
  EXPECT_TRUE(ext[1]->GetConstraints().empty());
}

TEST_F(ManifestExtensionTest, SettingMapNeedsAllFiveStrings) {
  std::vector<ExtensionImpl*> ext = Parse(R"(
      {"id": "full", "settingMap": {"modalPosition": "p", "modalSize": "s",
          "host": "https://h.example", "uri": "/page", "openType": "t"}},
      {"id": "no-open-type", "settingMap": {"modalPosition": "p",
          "modalSize": "s", "host": "https://h.example", "uri": "/page"}},
      {"id": "number", "settingMap": {"modalPosition": "p", "modalSize": 1,
          "host": "h", "uri": "u", "openType": "t"}},
      {"id": "not-object", "settingMap": "x"})");
  ASSERT_EQ(ext.size(), 4u);
  // Plain concatenation: no separator is added or removed.
  EXPECT_EQ(ext[0]->GetSettingMap().url_, "https://h.example/page");
  EXPECT_EQ(ext[0]->GetSettingMap().open_type_, "t");
  for (size_t i = 1; i < ext.size(); ++i) {
    SCOPED_TRACE(ext[i]->GetID());
    SettingMap settings = ext[i]->GetSettingMap();
    EXPECT_EQ(settings.modal_position_, "");
    EXPECT_EQ(settings.host_, "");
    EXPECT_EQ(settings.url_, "");
  }
}

TEST_F(ManifestExtensionTest, ExtensionPointIdComesFromTheEnclosingPoint) {
  std::vector<ExtensionImpl*> ext =
      Parse(R"({"id": "a", "extensionPointId": "other", "version": 3})");
  ASSERT_EQ(ext.size(), 1u);
  EXPECT_EQ(ext[0]->GetExtensionPointID(), "ep");
  EXPECT_EQ(ext[0]->GetVersion(), "");
}

// The in-memory form, as the adapter records use it.
class DescriptionExtensionTest : public ::testing::Test {
 protected:
  DescriptionExtensionTest() : artifact_(base::FilePath("/opt/adapter")) {
    artifact_.SetResourcesPath("/opt/adapter/resources");
    point_ = std::make_unique<ExtensionPointImpl>(&artifact_);
    point_->SetInfo("ep.internal", "{iid}");
  }

  // Parses `json` (an object) with the in-memory form.
  std::unique_ptr<ExtensionImpl> ParseDescription(const std::string& json) {
    scoped_ptr<base::DictionaryValue> dict =
        base::DictionaryValue::From(base::JSONReader::Read(json));
    EXPECT_TRUE(dict) << json;
    ExtensionImpl* ext = nullptr;
    if (!ArtifactParser::ParseExtension(point_.get(), std::move(dict), &ext))
      return nullptr;
    return std::unique_ptr<ExtensionImpl>(ext);
  }

  Artifact artifact_;
  std::unique_ptr<ExtensionPointImpl> point_;
};

TEST_F(DescriptionExtensionTest, SettingMapTakesAnyPresentKey) {
  std::unique_ptr<ExtensionImpl> ext = ParseDescription(
      R"({"id": "a", "settingMap": {"modalPosition": "p", "modalSize": "s",
          "host": "https://h.example", "uri": "/page"}})");
  ASSERT_TRUE(ext);
  SettingMap settings = ext->GetSettingMap();
  EXPECT_EQ(settings.modal_position_, "p");
  EXPECT_EQ(settings.modal_size_, "s");
  EXPECT_EQ(settings.host_, "https://h.example");
  EXPECT_EQ(settings.uri_, "/page");
  EXPECT_EQ(settings.open_type_, "");
  EXPECT_EQ(settings.url_, "https://h.example/page");

  ext = ParseDescription(R"({"id": "b", "settingMap": {"uri": "/only"}})");
  ASSERT_TRUE(ext);
  EXPECT_EQ(ext->GetSettingMap().url_, "/only");

  ext = ParseDescription(R"({"id": "c", "settingMap": {"host": 1}})");
  ASSERT_TRUE(ext);
  EXPECT_EQ(ext->GetSettingMap().url_, "");
}

TEST_F(DescriptionExtensionTest, RecordBelongsToThePointGiven) {
  std::unique_ptr<ExtensionImpl> ext = ParseDescription(
      R"({"id": "{GUID}", "version": "1", "clsid": "{cls}",
          "iid": "ignored", "unifiedId": "u",
          "payloads": {"extensionId": "src"}, "isSingleton": false})");
  ASSERT_TRUE(ext);
  EXPECT_EQ(ext->GetOwnerExtensionPoint(), point_.get());
  EXPECT_EQ(ext->GetExtensionPointID(), "ep.internal");
  EXPECT_EQ(ext->GetExtensionPointUUID(), "{iid}");
  EXPECT_EQ(ext->GetClassID(), "{cls}");
  EXPECT_EQ(ext->GetUnifiedId(), "u");
  EXPECT_EQ(ext->GetPayloads().at("extensionId"), "src");
  EXPECT_FALSE(ext->IsSingleton());
  EXPECT_EQ(ext->GetResourcesPath(), "/opt/adapter/resources");
  EXPECT_FALSE(ext->IsNative());
}

TEST_F(DescriptionExtensionTest, MissingArgumentsFailWithoutTouchingOutput) {
  ExtensionImpl sentinel;
  ExtensionImpl* out = &sentinel;
  EXPECT_FALSE(ArtifactParser::ParseExtension(
      point_.get(), scoped_ptr<base::DictionaryValue>(), &out));
  EXPECT_FALSE(ArtifactParser::ParseExtension(
      point_.get(), make_scoped_ptr(new base::DictionaryValue), &out));
  auto with_id = make_scoped_ptr(new base::DictionaryValue);
  with_id->SetString("id", "x");
  EXPECT_FALSE(
      ArtifactParser::ParseExtension(nullptr, std::move(with_id), &out));
  EXPECT_EQ(out, &sentinel);

  base::DictionaryValue dict;
  dict.SetString("id", "x");
  EXPECT_FALSE(ArtifactParser::ParseExtension(point_.get(), &dict, nullptr));
  EXPECT_FALSE(ArtifactParser::ParseExtension(nullptr, &dict, &out));
  EXPECT_EQ(out, &sentinel);

  ExtensionPointImpl* point_out = nullptr;
  EXPECT_FALSE(
      ArtifactParser::ParseExtensionPoint(&artifact_, nullptr, &point_out));
  EXPECT_FALSE(ArtifactParser::ParseExtensionPoint(&artifact_, &dict, nullptr));
  Artifact* artifact_out = nullptr;
  EXPECT_FALSE(ArtifactParser::ParseArtifact(base::FilePath("/p"), nullptr,
                                             &artifact_out));
  EXPECT_FALSE(
      ArtifactParser::ParseArtifact(base::FilePath("/p"), &dict, nullptr));
  EXPECT_EQ(point_out, nullptr);
  EXPECT_EQ(artifact_out, nullptr);
}

}  // namespace
}  // namespace zqextensionkit
