// ZQEConfigurationManagerImpl: the "modules" section of config.json, module
// settings, and module and feature switches.

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

using Settings = std::map<std::string, std::string>;

class ZQEConfigurationManagerModulesTest : public test::LogCaptureTest {
 protected:
  void Parse(const std::string& json) {
    scoped_ptr<base::DictionaryValue> root =
        base::DictionaryValue::From(base::JSONReader::Read(json));
    ASSERT_TRUE(root) << json;
    manager_.ParseModuleConfigurations(*root);
  }

  Settings SettingsOf(ModuleCode code) {
    Settings settings;
    EXPECT_TRUE(manager_.GetConfigurationsByID(code, &settings));
    return settings;
  }

  ZQEConfigurationManagerImpl manager_;
};

TEST_F(ZQEConfigurationManagerModulesTest, SectionIsReadElementByElement) {
  Parse(R"({"modules": [
    "not an object",
    {"configurations": [{"key": "k", "value": "v"}]},
    {"id": ""},
    {"id": "talk", "configurations": [
      {"key": "plain", "value": "v1"},
      {"key": "defaulted", "value": "", "defaultValue": "d"},
      {"key": "empty", "value": ""},
      {"key": "number", "value": 1},
      {"value": "no key"},
      {"key": "no value"},
      "not an object",
      {"key": "plain", "value": "v2"}]},
    {"id": "agenda", "configurations": [{"key": "k", "value": "v"}]},
    {"id": "agenda"},
    {"id": "meeting-room"}
  ]})");
  // Later settings of a key win; the second "agenda" replaces the first
  // entirely.
  EXPECT_EQ((Settings{{"defaulted", "d"}, {"empty", ""}, {"plain", "v2"}}),
            SettingsOf(kModuleCodeTalk));
  EXPECT_EQ(Settings{}, SettingsOf(kModuleCodeAgenda));
  EXPECT_EQ(Settings{}, SettingsOf(kModuleCodeMeetingRoom));

  // A later section adds to, and replaces within, what is there.
  Parse(R"({"modules": [{"id": "agenda", "configurations":
                            [{"key": "k", "value": "v"}]}]})");
  EXPECT_EQ((Settings{{"k", "v"}}), SettingsOf(kModuleCodeAgenda));
  EXPECT_EQ(3u, SettingsOf(kModuleCodeTalk).size());
  Parse(R"({"other": 1})");
  EXPECT_EQ(3u, SettingsOf(kModuleCodeTalk).size());
}

TEST_F(ZQEConfigurationManagerModulesTest, SettingsAreCopiedOutOrLeftAlone) {
  Parse(R"({"modules": [{"id": "talk", "configurations": [
             {"key": "a", "value": "1"}, {"key": "b", "value": "2"}]}]})");
  ClearLog();
  Settings settings = {{"caller", "kept?"}};
  EXPECT_TRUE(manager_.GetConfigurationsByID(kModuleCodeTalk, &settings));
  EXPECT_EQ((Settings{{"a", "1"}, {"b", "2"}}), settings);

  settings = {{"caller", "kept"}};
  EXPECT_FALSE(manager_.GetConfigurationsByID(kModuleCodeAgenda, &settings));
  EXPECT_FALSE(manager_.GetConfigurationsByID(kModuleCodeAgenda, nullptr));
  EXPECT_EQ((Settings{{"caller", "kept"}}), settings);
  EXPECT_EQ((std::vector<std::string>{
                "configuration manager impl - get configurations by module "
                "code:talk, configurations is founded, total(2)",
                "configuration manager impl - get configurations by module "
                "code:agenda, configurations is not founded",
                "configuration manager impl - get configurations by module "
                "code:agenda, configurations is not founded"}),
            capture().texts());
}

TEST_F(ZQEConfigurationManagerModulesTest, ModuleSwitchIsWhetherItIsListed) {
  Parse(R"({"modules": [{"id": "talk"}, {"id": "unknown-module"}]})");
  ClearLog();
  struct Case {
    ModuleCode code;
    bool result;
    bool enabled;
  };
  for (const Case& c :
       {Case{kModuleCodeTalk, true, true}, Case{kModuleCodeAgenda, true, false},
        Case{kModuleCodeServiceBus, true, false},
        Case{kModuleCodeNone, false, false}}) {
    bool enabled = !c.enabled;  // Always written.
    EXPECT_EQ(c.result, manager_.IsModuleEnabled(c.code, enabled)) << c.code;
    EXPECT_EQ(c.enabled, enabled) << c.code;
  }
  EXPECT_EQ((std::vector<std::string>{
                "configuration manager impl - query module is enabled success, "
                "module code:talk module is true",
                "configuration manager impl - query module is enabled success, "
                "module code:agenda module is false",
                "configuration manager impl - query module is enabled success, "
                "module code: module is false",
                "configuration manager impl - query module is enabled failed, "
                "becuase of module code: module is invalid"}),
            capture().texts());
}

TEST_F(ZQEConfigurationManagerModulesTest, FirstModuleHoldingAFeatureDecides) {
  // "agenda" sorts before "talk"; "unknown-module" is reachable only here.
  Parse(R"({"modules": [
    {"id": "talk", "configurations": [
      {"key": "talk_large_room_admin", "value": "false"},
      {"key": "talk_allow_rich_preview", "value": "TRUE"},
      {"key": "talk_allow_vanishing", "value": "1"}]},
    {"id": "agenda", "configurations": [
      {"key": "talk_large_room_admin", "value": "true"}]},
    {"id": "unknown-module", "configurations": [
      {"key": "nudge.option.text.on", "value": "true"}]}
  ]})");
  ClearLog();
  struct Case {
    FeatureCode code;
    bool enabled;
  };
  for (const Case& c : {Case{kFeatureCodeTalkLargeRoom, true},
                        Case{kFeatureCodeTalkRichPreview, false},
                        Case{kFeatureCodeTalkVanishing, false},
                        Case{kFeatureCodeNudgeText, true}}) {
    bool enabled = !c.enabled;
    EXPECT_TRUE(manager_.IsFeatueEnabled(c.code, enabled)) << c.code;
    EXPECT_EQ(c.enabled, enabled) << c.code;
  }
  ClearLog();
  bool enabled = true;
  EXPECT_FALSE(manager_.IsFeatueEnabled(kFeatureCodeHallLaunch, enabled));
  EXPECT_TRUE(enabled);  // Untouched.
  EXPECT_EQ((std::vector<std::string>{
                "configuration manager impl - query feature is enabled failed, "
                "feature code:hall_launch feature is not founded"}),
            capture().texts());
  EXPECT_TRUE(manager_.IsFeatueEnabled(kFeatureCodeTalkLargeRoom, enabled));
  EXPECT_TRUE(LogContains(
      "configuration manager impl - query feature is enabled success, feature "
      "code:talk_large_room_admin feature is true"));
}

}  // namespace
}  // namespace zqextensionkit
