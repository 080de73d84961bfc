// ZQEConfigurationManagerImpl: module settings and module and feature
// switches, from the "modules" section of config.json.

#include <utility>

#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/log/ZQELogService.h"

namespace zqextensionkit {

namespace {

const char kModules[] = "modules";
const char kModuleId[] = "id";
const char kModuleConfigurations[] = "configurations";
const char kSettingKey[] = "key";
const char kSettingValue[] = "value";
const char kSettingDefaultValue[] = "defaultValue";

const char* BoolText(bool value) {
  return value ? "true" : "false";
}

// The key of `code` in `table`, or "".
template <typename Code>
std::string KeyOf(const std::map<Code, std::string>& table, Code code) {
  auto it = table.find(code);
  return it == table.end() ? std::string() : it->second;
}

}  // namespace

// static
std::string ZQEConfigurationManagerImpl::Util_GetModuleStringFromCode(
    ModuleCode code) {
  // Built once, thread-safely, on the first call; never destroyed.
  static const auto* const kMouduleMap = new std::map<ModuleCode, std::string>{
      {kModuleCodeTalk, "talk"},
      {kModuleCodeChores, "chores"},
      {kModuleCodeAgenda, "agenda"},
      {kModuleCodeMeetingRoom, "meeting-room"},
      {kModuleCodeMeetingHall, "meeting_hall"},
      {kModuleCodeSharedPages, "sharedpages"},
      {kModuleCodeFileVault, "filevault"},
      {kModuleCodeBulletin, "bulletin"},
      {kModuleCodeAlerts, "alerts"},
      {kModuleCodeNudge, "nudge"},
      {kModuleCodeDashboard, "home_dashboard"},
      {kModuleCodePeople, "people"},
      {kModuleCodeAdminConsole, "adminconsole"},
      {kModuleCodeSidebar, "sidebar"},
      {kModuleCodeSignIn, "signin"},
      {kModuleCodeFederation, "federation"},
      {kModuleCodeIdentity, "identity"},
      {kModuleCodePreferences, "preferences"},
      {kModuleCodeSafety, "safety"},
      {kModuleCodeJournal, "journal"},
      {kModuleCodeLetters, "letters"},
      {kModuleCodeCipher, "cipher"},
      {kModuleCodeStagedBroadcast, "staged-broadcast-board"},
      {kModuleCodeRelay, "relay-hub"},
      {kModuleCodeViewer, "viewer"},
      {kModuleCodeArchive, "archive"},
      {kModuleCodeBroadcast, "broadcast-legacy"},
      {kModuleCodeDevPortal, "devportal_extended"},
      {kModuleCodeMirroring, "mirroring-cast"},
      {kModuleCodeWayfinder, "wayfinder"},
      {kModuleCodeControlPanel, "control_panel_hub"},
      {kModuleCodeKernel, "kernel"},
      {kModuleCodeInsight, "insight"},
      {kModuleCodeRegionalShield, "shield_regional"},
      {kModuleCodeShield, "shield"},
      {kModuleCodeCaster, "caster"},
  };
  return KeyOf(*kMouduleMap, code);
}

// static
std::string ZQEConfigurationManagerImpl::Util_GetFeatureStringFromCode(
    FeatureCode code) {
  static const auto* const kFeatureMap = new std::map<FeatureCode, std::string>{
      {kFeatureCodeTalkLargeRoom, "talk_large_room_admin"},
      {kFeatureCodeTalkRichPreview, "talk_allow_rich_preview"},
      {kFeatureCodeTalkRemoteSeal, "talk_allow_remote_seal"},
      {kFeatureCodeTalkVanishing, "talk_allow_vanishing"},
      {kFeatureCodeTalkFederation, "federation"},
      {kFeatureCodeRoomCapture, "room_allow_capture"},
      {kFeatureCodeRoomStreaming, "room_allow_streaming"},
      {kFeatureCodeHallCapture, "hall_capture"},
      {kFeatureCodeHallStreaming, "hall_streaming"},
      {kFeatureCodeHallLaunch, "hall_launch"},
      {kFeatureCodeHallDirectLaunch, "hall_direct_launch"},
      {kFeatureCodeNudgeText, "nudge.option.text.on"},
      {kFeatureCodeNudgeVoice, "nudge.option.voice.on"},
      {kFeatureCodeNudgeReply, "nudge.option.reply.on"},
  };
  return KeyOf(*kFeatureMap, code);
}

void ZQEConfigurationManagerImpl::ParseModuleConfigurations(
    const base::DictionaryValue& root) {
  const base::ListValue* modules = nullptr;
  if (!root.GetListWithoutPathExpansion(kModules, &modules))
    return;
  for (const auto& element : *modules) {
    const base::DictionaryValue* module = nullptr;
    if (!element->GetAsDictionary(&module))
      continue;
    std::string id;
    if (!module->GetStringWithoutPathExpansion(kModuleId, &id) || id.empty())
      continue;

    std::map<std::string, std::string> settings;
    const base::ListValue* configurations = nullptr;
    if (module->GetListWithoutPathExpansion(kModuleConfigurations,
                                            &configurations)) {
      for (const auto& item : *configurations) {
        const base::DictionaryValue* setting = nullptr;
        if (!item->GetAsDictionary(&setting))
          continue;
        std::string key;
        std::string value;
        if (!setting->GetStringWithoutPathExpansion(kSettingKey, &key) ||
            !setting->GetStringWithoutPathExpansion(kSettingValue, &value)) {
          continue;
        }
        if (value.empty())
          setting->GetStringWithoutPathExpansion(kSettingDefaultValue, &value);
        // A later setting with the same key wins.
        settings[std::move(key)] = std::move(value);
      }
    }

    base::AutoLock lock(lock_);
    // Replaces whatever an earlier element with the same id stored.
    _configurations[id] = std::move(settings);
  }
}

bool ZQEConfigurationManagerImpl::GetConfigurationsByID(
    ModuleCode code,
    std::map<std::string, std::string>* configurations) {
  const std::string module = Util_GetModuleStringFromCode(code);
  base::AutoLock lock(lock_);
  auto it = _configurations.find(module);
  if (it == _configurations.end()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "configuration manager impl - get configurations by module code:%s, "
        "configurations is not founded",
        module.c_str());
    return false;
  }
  if (configurations)
    *configurations = it->second;
  ZQELogService::GetInstance()->LogMessage(
      0,
      "configuration manager impl - get configurations by module code:%s, "
      "configurations is founded, total(%d)",
      module.c_str(), static_cast<int>(it->second.size()));
  return true;
}

bool ZQEConfigurationManagerImpl::IsModuleEnabled(ModuleCode code,
                                                  bool& enabled) {
  const std::string module = Util_GetModuleStringFromCode(code);
  base::AutoLock lock(lock_);
  enabled = false;
  if (code == kModuleCodeNone) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "configuration manager impl - query module is enabled failed, "
        "becuase of module code:%s module is invalid",
        module.c_str());
    return false;
  }
  enabled = _configurations.count(module) != 0;
  ZQELogService::GetInstance()->LogMessage(
      0,
      "configuration manager impl - query module is enabled success, module "
      "code:%s module is %s",
      module.c_str(), BoolText(enabled));
  return true;
}

bool ZQEConfigurationManagerImpl::IsFeatueEnabled(FeatureCode code,
                                                  bool& enabled) {
  const std::string feature = Util_GetFeatureStringFromCode(code);
  base::AutoLock lock(lock_);
  // Modules in ascending key order: the first that holds the key decides.
  for (const auto& module : _configurations) {
    auto setting = module.second.find(feature);
    if (setting == module.second.end())
      continue;
    enabled = setting->second == "true";
    ZQELogService::GetInstance()->LogMessage(
        0,
        "configuration manager impl - query feature is enabled success, "
        "feature code:%s feature is %s",
        feature.c_str(), BoolText(enabled));
    return true;
  }
  ZQELogService::GetInstance()->LogMessage(
      0,
      "configuration manager impl - query feature is enabled failed, feature "
      "code:%s feature is not founded",
      feature.c_str());
  return false;
}

}  // namespace zqextensionkit
