// What the test plug-in libraries share with the tests that load them: the
// test interfaces, the class ids the libraries implement, and their file
// names (inside ZQ_TEST_PLUGIN_DIR). Written only against comenv/include, like
// any plug-in's interface header.

#ifndef TESTS_PLUGINS_TESTPLUGIN_H_
#define TESTS_PLUGINS_TESTPLUGIN_H_

#include <cstdio>
#include <string>

#include "dlcom/unknown.h"

// The interface both classes of the good plug-in implement beside
// by::IBaseUnknown.
struct ITestPluginObject : public by::IBaseUnknown {
  // The implementing class's name ("TestObjectA", "TestObjectB").
  virtual const char* Name() = 0;
  virtual int Add(int a, int b) = 0;
  // Objects of the library's classes alive right now (factories excluded).
  virtual long LiveObjects() = 0;
};
BY_DECLARE_IID(ITestPluginObject, "{7A3C1F52-9D4E-4B8A-B1C2-0D9E8F7A6B51}")

inline constexpr char kTestPluginObjectIidText[] =
    "{7A3C1F52-9D4E-4B8A-B1C2-0D9E8F7A6B51}";

// Classes of the good plug-in.
inline constexpr char kTestObjectAClsidText[] =
    "{5B0E2A71-3C4D-4E5F-8A9B-1C2D3E4F5A61}";
inline constexpr ZQGUID CLSID_TestObjectA =
    by::GuidFromLiteral("{5B0E2A71-3C4D-4E5F-8A9B-1C2D3E4F5A61}");
inline constexpr char kTestObjectBClsidText[] =
    "{5b0e2a71-3c4d-4e5f-8a9b-1c2d3e4f5a62}";
inline constexpr ZQGUID CLSID_TestObjectB =
    by::GuidFromLiteral("{5b0e2a71-3c4d-4e5f-8a9b-1c2d3e4f5a62}");

// The class of the plug-in whose objects refuse to be created (init_class
// fails with E_FAIL).
inline constexpr char kFailingObjectClsidText[] =
    "{5B0E2A71-3C4D-4E5F-8A9B-1C2D3E4F5A6F}";
inline constexpr ZQGUID CLSID_FailingObject =
    by::GuidFromLiteral("{5B0E2A71-3C4D-4E5F-8A9B-1C2D3E4F5A6F}");

// The extension point interface of the greeting plug-in (the example of
// docs/plugins.md), and its two classes: the library's bundle and the
// extension.
struct IGreeting : public by::IBaseUnknown {
  // "<salutation>, <name>!": the salutation is the extension's "salutation"
  // payload, or else the one the library's bundle set up.
  virtual std::string Greet(const std::string& name) = 0;
};
BY_DECLARE_IID(IGreeting, "{20978722-4375-4D5E-A6F5-A872BF7CC9F2}")

inline constexpr ZQGUID CLSID_GreetingBundle =
    by::GuidFromLiteral("{264C8F68-AA7E-471D-AF3C-B53234E1C93B}");
inline constexpr ZQGUID CLSID_Greeter =
    by::GuidFromLiteral("{44C202A8-30DD-46E4-A034-0EFA4B460408}");

inline constexpr char kGreetingIidText[] =
    "{20978722-4375-4D5E-A6F5-A872BF7CC9F2}";
inline constexpr char kGreetingBundleClsidText[] =
    "{264C8F68-AA7E-471D-AF3C-B53234E1C93B}";
inline constexpr char kGreeterClsidText[] =
    "{44C202A8-30DD-46E4-A034-0EFA4B460408}";

// The bundle class of the probe plug-in answers this beside IZQEBundle, so
// tests can watch what the bundle manager does with it. Counts are
// library-wide.
struct ITestBundleProbe : public by::IBaseUnknown {
  // Initialize() calls on this library's bundle objects so far.
  virtual long InitializeCalls() = 0;
  // This library's bundle objects alive right now.
  virtual long LiveBundles() = 0;
  // `hook(context)` runs in this object's destructor.
  virtual void SetDestructionHook(void (*hook)(void* context),
                                  void* context) = 0;
};
BY_DECLARE_IID(ITestBundleProbe, "{057AA7D6-8260-407E-8F38-EFA999AB39BC}")

inline constexpr char kProbeBundleClsidText[] =
    "{84593700-7BC2-41F5-B461-2BB13F28FEB9}";
inline constexpr ZQGUID CLSID_ProbeBundle =
    by::GuidFromLiteral("{84593700-7BC2-41F5-B461-2BB13F28FEB9}");

// The extension class of the extension probe plug-in answers this beside
// IZQBaseExtension, so tests can watch what the extension manager does.
struct ITestExtensionProbe : public by::IBaseUnknown {
  // "ProbeExtension" for the plug-in's class; test classes answer their own.
  virtual const char* ClassName() = 0;
  // This library's extension objects alive right now.
  virtual long LiveObjects() = 0;
  // Initialization() calls on this object so far.
  virtual long InitializationCalls() = 0;
};
BY_DECLARE_IID(ITestExtensionProbe, "{9B3A6C21-5E4F-4D7A-8B1C-2D3E4F5A6B71}")

inline constexpr char kTestExtensionProbeIidText[] =
    "{9B3A6C21-5E4F-4D7A-8B1C-2D3E4F5A6B71}";
inline constexpr char kProbeExtensionClsidText[] =
    "{9B3A6C21-5E4F-4D7A-8B1C-2D3E4F5A6B72}";
inline constexpr ZQGUID CLSID_ProbeExtension =
    by::GuidFromLiteral("{9B3A6C21-5E4F-4D7A-8B1C-2D3E4F5A6B72}");

// Classes of the hand-written plug-in (HandWrittenClasses.h): a bundle
// answering ITestBundleProbe and an extension answering ITestExtensionProbe,
// each through its own QueryInterface.
inline constexpr char kHandWrittenBundleClsidText[] =
    "{3D6F1E20-8A4B-4C7D-9E1F-2A3B4C5D6E71}";
inline constexpr ZQGUID CLSID_HandWrittenBundle =
    by::GuidFromLiteral("{3D6F1E20-8A4B-4C7D-9E1F-2A3B4C5D6E71}");
inline constexpr char kHandWrittenExtensionClsidText[] =
    "{3D6F1E20-8A4B-4C7D-9E1F-2A3B4C5D6E72}";
inline constexpr ZQGUID CLSID_HandWrittenExtension =
    by::GuidFromLiteral("{3D6F1E20-8A4B-4C7D-9E1F-2A3B4C5D6E72}");

// The class of the unload probe plug-in: its objects hold a CComLoader and
// answer ITestPluginObject.
inline constexpr ZQGUID CLSID_LoaderHolder =
    by::GuidFromLiteral("{789D42D3-D6F4-4BD6-BAFA-527FB1003733}");

// Classes of the misbehaving plug-in: creating CLSID_CrashingExtension
// aborts the process; CLSID_HangingBundle never returns from Initialize().
inline constexpr char kCrashingExtensionClsidText[] =
    "{F3A0C8D2-6B1E-4F7A-9C3D-2E5B8A1F0C41}";
inline constexpr ZQGUID CLSID_CrashingExtension =
    by::GuidFromLiteral("{F3A0C8D2-6B1E-4F7A-9C3D-2E5B8A1F0C41}");
inline constexpr char kHangingBundleClsidText[] =
    "{F3A0C8D2-6B1E-4F7A-9C3D-2E5B8A1F0C42}";
inline constexpr ZQGUID CLSID_HangingBundle =
    by::GuidFromLiteral("{F3A0C8D2-6B1E-4F7A-9C3D-2E5B8A1F0C42}");
// CLSID_ForkingBundle's Initialize() starts a process that keeps everything
// the library's process has open and lives on (five minutes at most);
// CLSID_ClosingHangingBundle's closes every descriptor above standard error
// and never returns; CLSID_SessionLeavingBundle's starts one like
// CLSID_ForkingBundle's that calls setsid() first.
inline constexpr char kForkingBundleClsidText[] =
    "{F3A0C8D2-6B1E-4F7A-9C3D-2E5B8A1F0C43}";
inline constexpr ZQGUID CLSID_ForkingBundle =
    by::GuidFromLiteral("{F3A0C8D2-6B1E-4F7A-9C3D-2E5B8A1F0C43}");
inline constexpr char kClosingHangingBundleClsidText[] =
    "{F3A0C8D2-6B1E-4F7A-9C3D-2E5B8A1F0C44}";
inline constexpr ZQGUID CLSID_ClosingHangingBundle =
    by::GuidFromLiteral("{F3A0C8D2-6B1E-4F7A-9C3D-2E5B8A1F0C44}");
inline constexpr char kSessionLeavingBundleClsidText[] =
    "{F3A0C8D2-6B1E-4F7A-9C3D-2E5B8A1F0C45}";
inline constexpr ZQGUID CLSID_SessionLeavingBundle =
    by::GuidFromLiteral("{F3A0C8D2-6B1E-4F7A-9C3D-2E5B8A1F0C45}");

// The deliberately broken plug-ins (broken_plugin.cc, one library per
// mode): each has a bundle class and an IGreeting extension class, whose ids
// BrokenPluginClsidText() gives, and breaks as its mode says. The modes that
// leave out an entry point are macros too: the preprocessor leaves it out.
#define ZQ_BROKEN_NO_DLLGETCLASSOBJECT 1
#define ZQ_BROKEN_NO_DLLCANUNLOADNOW 2
#define ZQ_BROKEN_NO_DLLREGISTERSERVER 3
enum BrokenPluginMode : int {
  kBrokenNoDllGetClassObject = ZQ_BROKEN_NO_DLLGETCLASSOBJECT,
  kBrokenNoDllCanUnloadNow = ZQ_BROKEN_NO_DLLCANUNLOADNOW,
  kBrokenNoDllRegisterServer = ZQ_BROKEN_NO_DLLREGISTERSERVER,
  // DllGetClassObject answers S_OK for the framework factory and stores
  // nothing.
  kBrokenNoFrameworkFactory = 4,
  // DllGetClassObject throws when the kit asks for the framework factory.
  kBrokenLoadThrows = 5,
  // Loads; DllGetClassObject fails (E_FAIL, nothing stored) for the classes.
  kBrokenNoClassFactories = 6,
  // The class factories answer S_OK and hand back no object.
  kBrokenNullObjects = 7,
  // Creating an object of either class throws (from init_class).
  kBrokenFactoriesThrow = 8,
  kBrokenBundleInitializeThrows = 9,
  kBrokenExtensionInitializationThrows = 10,
  // The extension answers IZQBaseExtension but not IGreeting.
  kBrokenExtensionWithoutPointInterface = 11,
};
inline constexpr int kBrokenPluginModes = 11;

// The class id text of the bundle class (or, with `bundle` false, of the
// extension class) of the broken plug-in of `mode`.
inline std::string BrokenPluginClsidText(int mode, bool bundle) {
  char text[39];
  std::snprintf(text, sizeof(text), "{%08X-0000-4000-8000-%012X}",
                bundle ? 0xB0B0B0B0u : 0xE0E0E0E0u,
                static_cast<unsigned>(mode));
  return text;
}

// The broken plug-in of `mode`, inside ZQ_TEST_PLUGIN_DIR.
inline std::string BrokenPluginFile(int mode) {
  return "zq_test_plugin_broken_" + std::to_string(mode) + ".so";
}

// File names inside ZQ_TEST_PLUGIN_DIR.
inline constexpr char kGoodPluginFile[] = "zq_test_plugin_good.so";
// Exports every entry point but DllUnregisterServer.
inline constexpr char kNoUnregisterPluginFile[] =
    "zq_test_plugin_no_unregister.so";
// DllGetClassObject stores nothing for CLSID_MDClassFactory.
inline constexpr char kNoFactoryPluginFile[] = "zq_test_plugin_no_factory.so";
// Loads; creating CLSID_FailingObject fails.
inline constexpr char kCreateFailsPluginFile[] =
    "zq_test_plugin_create_fails.so";
// The example of docs/plugins.md: a bundle class and an IGreeting extension.
inline constexpr char kGreetingPluginFile[] = "zq_test_plugin_greeting.so";
// One bundle class (CLSID_ProbeBundle) answering ITestBundleProbe.
inline constexpr char kBundleProbePluginFile[] =
    "zq_test_plugin_bundle_probe.so";
// One extension class (CLSID_ProbeExtension) answering ITestExtensionProbe.
inline constexpr char kExtensionProbePluginFile[] =
    "zq_test_plugin_extension_probe.so";
// CLSID_HandWrittenBundle and CLSID_HandWrittenExtension.
inline constexpr char kHandWrittenPluginFile[] =
    "zq_test_plugin_hand_written.so";
// CLSID_LoaderHolder, built with zq_add_plugin.
inline constexpr char kUnloadProbePluginFile[] =
    "zq_test_plugin_unload_probe.so";
// The same source built as a plain MODULE: "lib" prefix, default visibility.
inline constexpr char kPlainUnloadProbePluginFile[] =
    "libzq_test_plugin_unload_probe_plain.so";

// CLSID_CrashingExtension and CLSID_HangingBundle, which misbehave.
inline constexpr char kMisbehavingPluginFile[] =
    "zq_test_plugin_misbehaving.so";
// A text file, not a shared object.
inline constexpr char kNotALibraryFile[] = "zq_test_plugin_not_a_library.so";

#endif  // TESTS_PLUGINS_TESTPLUGIN_H_
