// Definitions the kit shares with its hosts: the host's module and feature
// codes.
//
// A module is enabled when the "modules" section of config.json lists its key;
// a feature is enabled when some module's settings hold the feature's key with
// the value "true" (see IZQEConfigurationManager::IsModuleEnabled and
// IsFeatueEnabled). The numeric values are part of the kit's interface and
// never change; codes without a key (kModuleCodeServiceBus,
// kModuleCodeLimit) are valid but never enabled. kModuleCodeLimit is not the
// last code: kModuleCodeRegionalShield and later follow it.
//
// Plain enumerations: no state, usable from any thread.

#ifndef ZQEXTENSIONKIT_DEFINES_ZQEXTENSIONKITDEFINES_H_
#define ZQEXTENSIONKIT_DEFINES_ZQEXTENSIONKITDEFINES_H_

#include <cstdint>

namespace zqextensionkit {

// The modules config.json may enable, by the key it lists them under.
enum ModuleCode : int32_t {
  kModuleCodeNone = -1,
  kModuleCodeTalk = 0,              // "talk"
  kModuleCodeChores = 1,            // "chores"
  kModuleCodeAgenda = 2,            // "agenda"
  kModuleCodeMeetingRoom = 3,       // "meeting-room"
  kModuleCodeMeetingHall = 4,       // "meeting_hall"
  kModuleCodeSharedPages = 5,       // "sharedpages"
  kModuleCodeFileVault = 6,         // "filevault"
  kModuleCodeBulletin = 7,          // "bulletin"
  kModuleCodeAlerts = 8,            // "alerts"
  kModuleCodeNudge = 9,             // "nudge"
  kModuleCodeDashboard = 10,        // "home_dashboard"
  kModuleCodePeople = 11,           // "people"
  kModuleCodeAdminConsole = 12,     // "adminconsole"
  kModuleCodeSidebar = 13,          // "sidebar"
  kModuleCodeSignIn = 14,           // "signin"
  kModuleCodeFederation = 15,       // "federation"
  kModuleCodeIdentity = 16,         // "identity"
  kModuleCodePreferences = 17,      // "preferences"
  kModuleCodeServiceBus = 18,       // no key
  kModuleCodeSafety = 19,           // "safety"
  kModuleCodeJournal = 20,          // "journal"
  kModuleCodeLetters = 21,          // "letters"
  kModuleCodeCipher = 22,           // "cipher"
  kModuleCodeStagedBroadcast = 23,  // "staged-broadcast-board"
  kModuleCodeRelay = 24,            // "relay-hub"
  kModuleCodeViewer = 25,           // "viewer"
  kModuleCodeArchive = 26,          // "archive"
  kModuleCodeBroadcast = 27,        // "broadcast-legacy"
  kModuleCodeDevPortal = 28,        // "devportal_extended"
  kModuleCodeMirroring = 29,        // "mirroring-cast"
  kModuleCodeWayfinder = 30,        // "wayfinder"
  kModuleCodeControlPanel = 31,     // "control_panel_hub"
  kModuleCodeKernel = 32,           // "kernel"
  kModuleCodeInsight = 33,          // "insight"
  kModuleCodeLimit = 34,            // no key
  kModuleCodeRegionalShield = 35,   // "shield_regional"
  kModuleCodeShield = 36,           // "shield"
  kModuleCodeCaster = 37,           // "caster"
};

// The features a module's settings may switch on, by their setting key.
enum FeatureCode : int32_t {
  kFeatureCodeNone = -1,
  kFeatureCodeTalkLargeRoom = 0,      // "talk_large_room_admin"
  kFeatureCodeTalkRichPreview = 1,    // "talk_allow_rich_preview"
  kFeatureCodeTalkRemoteSeal = 2,     // "talk_allow_remote_seal"
  kFeatureCodeTalkVanishing = 3,      // "talk_allow_vanishing"
  kFeatureCodeTalkFederation = 4,     // "federation"
  kFeatureCodeRoomCapture = 5,        // "room_allow_capture"
  kFeatureCodeRoomStreaming = 6,      // "room_allow_streaming"
  kFeatureCodeHallCapture = 7,        // "hall_capture"
  kFeatureCodeHallStreaming = 8,      // "hall_streaming"
  kFeatureCodeHallLaunch = 9,         // "hall_launch"
  kFeatureCodeHallDirectLaunch = 10,  // "hall_direct_launch"
  kFeatureCodeNudgeText = 11,         // "nudge.option.text.on"
  kFeatureCodeNudgeVoice = 12,        // "nudge.option.voice.on"
  kFeatureCodeNudgeReply = 13,        // "nudge.option.reply.on"
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_DEFINES_ZQEXTENSIONKITDEFINES_H_
