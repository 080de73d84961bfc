// What the test plug-in libraries share with the tests that load them: the
// test interface, the class ids the libraries implement, and their file
// names (inside ZQ_TEST_PLUGIN_DIR). Written only against comenv/include, like
// any plug-in.

#ifndef TESTS_PLUGINS_TESTPLUGIN_H_
#define TESTS_PLUGINS_TESTPLUGIN_H_

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
// A text file, not a shared object.
inline constexpr char kNotALibraryFile[] = "zq_test_plugin_not_a_library.so";

#endif  // TESTS_PLUGINS_TESTPLUGIN_H_
