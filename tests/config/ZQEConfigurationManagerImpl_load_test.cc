// ZQEConfigurationManagerImpl: the local load of config.json and the
// artifacts it lists, plain and encrypted, and the decryption rules.

#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "base/json/json_reader.h"
#include "tests/config/ConfigurationTestSupport.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

using test::kTestSecKey;
using Texts = std::vector<std::string>;

constexpr char kLoadSucceeded[] =
    "configuration manager impl - load all extension infos success";
constexpr char kLoadFailed[] =
    "configuration manager impl - load all extension infos failed, because "
    "of find extensions failed";
constexpr char kDirFound[] =
    "configuration manager impl - get extensions dir success";
constexpr char kBase64Failed[] =
    "configuration manager impl - decrypt configurations failed, becuase of "
    "base64 decode encrypted configs failed";
constexpr char kDecryptFailed[] =
    "configuration manager impl - decrypt configurations failed, becuase of "
    "decrypt config.json failed";

// A manifest with one extension point holding extensions of the given ids.
std::string Manifest(const std::string& id,
                     const std::string& top_level,
                     const std::string& point,
                     const std::vector<std::string>& extension_ids) {
  std::string extensions;
  for (const std::string& extension : extension_ids) {
    if (!extensions.empty())
      extensions += ",";
    extensions += R"({"id": ")" + extension + R"(", "version": ")" + id +
                  R"(", "clsid": "{C1}"})";
  }
  return R"({"id": ")" + id + "\"" + top_level +
         R"(, "extensionPoints": [{"id": ")" + point +
         R"(", "iid": "{I1}", "extensions": [)" + extensions + "]}]}";
}

std::vector<std::string> IdsOf(
    const std::vector<std::shared_ptr<Extension>>& records) {
  std::vector<std::string> ids;
  for (const auto& record : records)
    ids.push_back(record->GetID());
  return ids;
}

class ZQEConfigurationManagerLoadTest : public test::LogCaptureTest {
 protected:
  std::vector<std::string> ArtifactIds() {
    std::vector<Artifact*> artifacts;
    manager_.GetAllArtifacts(artifacts);
    std::vector<std::string> ids;
    for (Artifact* artifact : artifacts)
      ids.push_back(artifact->GetID());
    return ids;
  }

  std::vector<std::shared_ptr<Extension>> RecordsOf(const std::string& point) {
    std::vector<std::shared_ptr<Extension>> records;
    manager_.GetExtensionInfosByExntensionPointID(point, records);
    return records;
  }

  ZQEConfigurationManagerImpl manager_;
};

// Writes the installation used by the load tests below: artifacts listed in
// an order of their own, some that cannot load, one that needs a newer host,
// and two that share an extension point.
void WriteListedArtifacts(test::InstallationSandbox& sandbox,
                          const std::string& config_json) {
  sandbox.WriteAdapterMapping(R"({"ep": {"mapped": {}}})");
  sandbox.WriteConfig(config_json);
  sandbox.WriteManifest(
      "pkg.a", Manifest("pkg.a", R"(, "foundationVersion": "1.0")", "ep.shared",
                        {"ext.a1", "ext.dup", "ext.a2"}));
  sandbox.WriteManifest(
      "pkg.b", Manifest("pkg.b", "", "ep.shared", {"ext.b1", "ext.dup"}));
  sandbox.WriteManifest(
      "future", Manifest("future", R"(, "foundationVersion": "9")", "ep.future",
                         {"ext.f"}));
  sandbox.WriteManifest("broken", "{not json");
  // A package beside the extensions directory, named with "..".
  sandbox.WriteFile("outside/manifest.json",
                    Manifest("outside", "", "ep.outside", {"ext.o"}));
}

constexpr char kListedConfig[] = R"({
  "artifacts": [7, "", "missing", "broken", "../outside", "pkg.b", "pkg.a",
                "future"],
  "modules": [{"id": "talk"}],
  "ExtensionAuthInfo": {"Native": [{"bundleId": "pkg.b", "accessKey": "kb"}]}
})";

TEST_F(ZQEConfigurationManagerLoadTest,
       PlainConfigurationLoadsListedArtifacts) {
  test::InstallationSandbox sandbox;
  WriteListedArtifacts(sandbox, kListedConfig);
  sandbox.Run([&] {
    manager_.SetFoundationVersion("3.2");
    ClearLog();
    ASSERT_TRUE(manager_.LoadAllExtensionInfos()) << capture().Dump();
    EXPECT_EQ((Texts{kDirFound, "", kLoadSucceeded}),
              capture().TextsNotAtLevel(3));
    // The duplicate "ext.dup".
    EXPECT_EQ(Texts{""}, capture().TextsAtLevel(2));
    // Each entry that loads nothing is explained, in list order.
    const std::string dir = sandbox.dir().string() + "/extensions/";
    const std::string skipped =
        "configuration manager impl - load package skipped, because of ";
    EXPECT_EQ((Texts{skipped + "artifacts[0] in " + dir +
                         "config.json is not a "
                         "package name",
                     skipped + "artifacts[1] in " + dir +
                         "config.json is not a "
                         "package name",
                     skipped + dir + "missing does not exist",
                     skipped + dir +
                         "broken/manifest.json is not valid JSON: line "
                         "1, column 3, Dictionary keys must be quoted.",
                     skipped + dir + "../outside lies outside " +
                         dir.substr(0, dir.size() - 1),
                     skipped + dir +
                         "future/manifest.json needs foundation version "
                         "9, the host's is 3.2"}),
              capture().TextsAtLevel(3));

    // Bad entries are skipped; the rest load in list order, "future"
    // included, though it contributes no extension point.
    EXPECT_EQ((Texts{"pkg.b", "pkg.a", "future"}), ArtifactIds());
    EXPECT_TRUE(RecordsOf("ep.future").empty());
    EXPECT_TRUE(RecordsOf("ep.outside").empty());
    // Both packages feed one list; the first "ext.dup" (pkg.b's) stays.
    const auto shared = RecordsOf("ep.shared");
    EXPECT_EQ((Texts{"ext.b1", "ext.dup", "ext.a1", "ext.a2"}), IdsOf(shared));
    EXPECT_EQ("pkg.b", shared[1]->GetVersion());
    // Modules and access keys came with the same file.
    bool enabled = false;
    EXPECT_TRUE(manager_.IsModuleEnabled(kModuleCodeTalk, enabled));
    EXPECT_TRUE(enabled);
    EXPECT_EQ("kb", manager_.GetExtensionAccessKey("pkg.b"));

    // A second load adds the artifacts again; each list keeps its records.
    ASSERT_TRUE(manager_.LoadAllExtensionInfos());
    EXPECT_EQ((Texts{"pkg.b", "pkg.a", "future", "pkg.b", "pkg.a", "future"}),
              ArtifactIds());
    EXPECT_EQ(IdsOf(shared), IdsOf(RecordsOf("ep.shared")));

    // Unloading keeps module settings and the mapping.
    ASSERT_TRUE(manager_.UnloadAllExtensionInfos());
    EXPECT_TRUE(ArtifactIds().empty());
    EXPECT_TRUE(RecordsOf("ep.shared").empty());
    EXPECT_EQ("", manager_.GetExtensionAccessKey("pkg.b"));
    EXPECT_TRUE(manager_.IsModuleEnabled(kModuleCodeTalk, enabled));
    EXPECT_TRUE(enabled);
    EXPECT_NE(nullptr, manager_.GetExtensionAdapterInfoById("ep.mapped"));

    // Without a foundation version only packages needing none load points.
    ZQEConfigurationManagerImpl versionless;
    ASSERT_TRUE(versionless.LoadAllExtensionInfos());
    std::vector<std::shared_ptr<Extension>> records;
    versionless.GetExtensionInfosByExntensionPointID("ep.shared", records);
    EXPECT_EQ((Texts{"ext.b1", "ext.dup"}), IdsOf(records));
  });
}

// `openssl enc` wraps its Base64 output every 64 characters and ends it with
// a newline, as files written by common tools do.
std::string EncryptWithOpenSslCommand(const std::string& plain) {
  std::string hex_key;
  for (unsigned char c : std::string(kTestSecKey)) {
    char digits[3];
    snprintf(digits, sizeof(digits), "%02x", c);
    hex_key += digits;
  }
  test::Installation scratch;
  EXPECT_TRUE(scratch.WriteFile("plain.json", plain));
  const std::string command = "openssl enc -aes-256-ecb -nosalt -base64 -K " +
                              hex_key + " -in " +
                              (scratch.dir() / "plain.json").string();
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
      output.append(buffer, count);
    EXPECT_EQ(0, pclose(pipe)) << command;
  }
  return output;
}

TEST_F(ZQEConfigurationManagerLoadTest, EncryptedConfigurationLoads) {
  std::string config = kListedConfig;
  config += std::string(200, ' ');  // Several Base64 lines.
  test::InstallationSandbox sandbox;
  std::string encrypted;
  if (!sandbox.inside()) {
    encrypted = EncryptWithOpenSslCommand(config);
    ASSERT_NE(std::string::npos, encrypted.find('\n')) << encrypted;
  }
  WriteListedArtifacts(sandbox, encrypted);
  sandbox.Run([&] {
    // Without the key the file is not JSON.
    ASSERT_FALSE(manager_.LoadAllExtensionInfos());
    EXPECT_TRUE(capture().ContainsSubstring("parse json config.json failed"));

    ASSERT_TRUE(manager_.SetSecKey(kTestSecKey));
    ASSERT_TRUE(manager_.LoadAllExtensionInfos()) << capture().Dump();
    EXPECT_EQ((Texts{"pkg.b", "pkg.a", "future"}), ArtifactIds());
    EXPECT_EQ("kb", manager_.GetExtensionAccessKey("pkg.b"));
  });
}

// Each failing step of the load, with the messages it leaves: the step's
// own, and the explanation that names the file by its full path and the
// reason (logged at level 3).
TEST_F(ZQEConfigurationManagerLoadTest, FailuresNameTheirStep) {
  // Where and why the reader stops in `text`: "line <n>, column <m>, <cause>".
  const auto position = [](const std::string& text) {
    int code = 0;
    int line = 0;
    int column = 0;
    base::JSONReader::ReadAndReturnError(text, base::JSON_PARSE_RFC, &code,
                                         nullptr, &line, &column);
    return "line " + std::to_string(line) + ", column " +
           std::to_string(column) + ", " +
           base::JSONReader::ErrorCodeToString(
               static_cast<base::JSONReader::JsonParseError>(code));
  };
  std::string syntax_error;
  base::JSONReader::ReadAndReturnError("{oops", base::JSON_PARSE_RFC, nullptr,
                                       &syntax_error);
  const std::string not_exist =
      "configuration manager impl - load local configurations failed, "
      "becuase of config.json is not exist";
  // Explanations; "@" stands for the installation directory.
  const std::string mapping =
      "configuration manager impl - read adapter mapping failed, because of "
      "@/extension_adapter_mapping.json ";
  const std::string config =
      "configuration manager impl - read config.json failed, because of "
      "@/extensions/config.json ";
  struct Case {
    const char* name;
    const char* mapping;  // Null: no mapping file.
    const char* config;   // Null: no config.json; "/": a directory.
    bool with_key;
    Texts texts;         // The steps' own messages.
    Texts explanations;  // At level 3.
  };
  const Case cases[] = {
      {"no mapping",
       nullptr,
       "{}",
       false,
       {kLoadFailed},
       {mapping + "does not exist"}},
      {"mapping not json",
       "{",
       "{}",
       false,
       {kLoadFailed},
       {mapping + "is not valid JSON: " + position("{")}},
      {"mapping not an object",
       "[]",
       "{}",
       false,
       {kLoadFailed},
       {"configuration manager impl - read adapter mapping failed, because "
        "of the top level of @/extension_adapter_mapping.json is not an "
        "object"}},
      {"no config.json",
       "{}",
       nullptr,
       false,
       {kDirFound, not_exist, kLoadFailed},
       {config + "does not exist"}},
      {"config.json unreadable",
       "{}",
       "/",
       false,
       {kDirFound,
        "configuration manager impl - load local configurations failed, "
        "becuase of load config.json failed",
        kLoadFailed},
       {config + "cannot be read (not a regular file, unreadable, or larger "
                 "than 64 MiB)"}},
      {"config.json not json",
       "{}",
       "{oops",
       false,
       {kDirFound,
        "configuration manager impl - load local configurations failed, "
        "becuase of parse json config.json failed, " +
            syntax_error,
        kLoadFailed},
       {config + "is not valid JSON: " + position("{oops")}},
      {"plain config.json with a key",
       "{}",
       "{}",
       true,
       {kDirFound, kBase64Failed, kLoadFailed},
       {"configuration manager impl - decrypt config.json failed, because of "
        "@/extensions/config.json is not Base64 text: the file is plain JSON "
        "but a key is set"}},
      {"root is an array",
       "{}",
       "[\"pkg.b\"]",
       false,
       {kDirFound, kLoadSucceeded},
       {"configuration manager impl - read config.json skipped, because of "
        "the top level of @/extensions/config.json is not an object: no "
        "packages, modules or access keys are read from it"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::InstallationSandbox sandbox;
    if (c.mapping)
      sandbox.WriteAdapterMapping(c.mapping);
    if (c.config && std::string(c.config) == "/")
      sandbox.WriteFile("extensions/config.json/placeholder", "");
    else if (c.config)
      sandbox.WriteConfig(c.config);
    sandbox.WriteManifest("pkg.b", Manifest("pkg.b", "", "ep", {"e"}));
    sandbox.Run([&] {
      if (c.with_key) {
        ASSERT_TRUE(manager_.SetSecKey(kTestSecKey));
      }
      const bool loads = c.texts.back() == kLoadSucceeded;
      EXPECT_EQ(loads, manager_.LoadAllExtensionInfos());
      EXPECT_EQ(c.texts, capture().TextsNotAtLevel(3));
      Texts explanations;
      for (std::string text : c.explanations)
        explanations.push_back(
            text.replace(text.find('@'), 1, sandbox.dir().string()));
      EXPECT_EQ(explanations, capture().TextsAtLevel(3));
      EXPECT_TRUE(ArtifactIds().empty());
    });
  }
}

// The Base64 text of `plain` encrypted as it is, without padding added.
std::string EncryptedRaw(const std::string& plain) {
  return test::Base64Encode(test::AesEcbEncrypt(plain));
}

TEST_F(ZQEConfigurationManagerLoadTest, DecryptionAppliesThePaddingRule) {
  const std::string block = "{\"k\":\"01234567\"}";  // 16 bytes.
  ASSERT_EQ(16u, block.size());
  struct Case {
    const char* name;
    std::string file;
    bool ok;
    std::string plain;  // When ok.
  };
  std::string wrapped = " \t";
  const std::string base64 = test::EncryptedConfig(block + block);
  for (size_t i = 0; i < base64.size(); i += 10)
    wrapped += base64.substr(i, 10) + (i % 20 ? "\r\n" : "\n");
  const Case cases[] = {
      {"pkcs#5 padding", test::EncryptedConfig("{\"a\":1}"), true, "{\"a\":1}"},
      {"base64 wrapped in white space", wrapped + "\f\v", true, block + block},
      {"a whole block of 0x10", EncryptedRaw(block + std::string(16, '\x10')),
       true, block},
      {"last byte 0x20 keeps all, cut at the first zero",
       EncryptedRaw(block + std::string("{}\0 tail bytes ", 16)), true,
       block + "{}"},
      {"last byte 0x11 keeps all",
       EncryptedRaw(block + std::string(16, '\x11')), true,
       block + std::string(16, '\x11')},
      {"last byte 0x00 removes nothing",
       EncryptedRaw(block + std::string(16, '\0')), true, block},
      {"last byte 0x90", EncryptedRaw(block + std::string(16, '\x90')), false,
       kDecryptFailed},
      {"padding removes everything", EncryptedRaw(std::string(16, '\x10')),
       false, kDecryptFailed},
      {"not a whole block", test::Base64Encode("0123456789"), false,
       kDecryptFailed},
      {"not base64", "{\"a\":1}", false, kBase64Failed},
      {"empty", "", false, kBase64Failed},
  };
  ASSERT_TRUE(manager_.SetSecKey(kTestSecKey));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearLog();
    std::string plain = "untouched";
    EXPECT_EQ(c.ok, manager_.DecryptConfigurations(c.file, &plain));
    if (c.ok) {
      EXPECT_EQ(c.plain, plain);
      EXPECT_TRUE(capture().texts().empty());
    } else {
      EXPECT_EQ(Texts{c.plain}, capture().texts());
    }
  }
}

}  // namespace
}  // namespace zqextensionkit
