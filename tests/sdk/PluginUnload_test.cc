// Plug-in libraries built with zq_add_plugin leave the process once their
// loader is gone.

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dlcom/comsentry.h"
#include "dlcom/loadcom.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/sdk/DynamicSymbols.h"

namespace zqextensionkit {
namespace test {
namespace {

using ::testing::Contains;
using ::testing::IsEmpty;

// Only g++ gives objects unique global symbols (STB_GNU_UNIQUE); clang never
// does.
#if defined(__GNUC__) && !defined(__clang__)
constexpr bool kCompilerMakesUniqueSymbols = true;
#else
constexpr bool kCompilerMakesUniqueSymbols = false;
#endif

std::string PluginPath(const char* file) {
  return std::filesystem::canonical(std::string(ZQ_TEST_PLUGIN_DIR) + "/" +
                                    file)
      .string();
}

// True while /proc/self/maps lists a mapping of the file at `path`
// (canonical).
bool IsMapped(const std::string& path) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.size() > path.size() &&
        line.compare(line.size() - path.size(), path.size(), path) == 0 &&
        line[line.size() - path.size() - 1] == ' ')
      return true;
  }
  return false;
}

std::vector<std::string> UniqueSymbols(const std::string& path) {
  std::vector<DynamicSymbol> symbols;
  std::string error;
  EXPECT_TRUE(ReadDynamicSymbols(path, &symbols, &error)) << error;
  std::vector<std::string> unique;
  for (const DynamicSymbol& symbol : symbols) {
    if (symbol.type == 'u')
      unique.push_back(symbol.name);
  }
  return unique;
}

TEST(PluginUnloadTest, PluginsBuiltWithZqAddPluginDefineNoUniqueSymbol) {
  for (const char* file :
       {kGoodPluginFile, kNoUnregisterPluginFile, kNoFactoryPluginFile,
        kCreateFailsPluginFile, kGreetingPluginFile, kBundleProbePluginFile,
        kUnloadProbePluginFile}) {
    SCOPED_TRACE(file);
    EXPECT_THAT(UniqueSymbols(PluginPath(file)), IsEmpty());
  }
  // The probe's source does give g++ something to make unique.
  if (kCompilerMakesUniqueSymbols) {
    EXPECT_THAT(UniqueSymbols(PluginPath(kPlainUnloadProbePluginFile)),
                Contains("CComLoader::GetFunDefs()::kFunDefs"));
  }
}

// The probe is loaded, an object of it is created, used and released, and
// the loader is destroyed. Built with zq_add_plugin, the library is unmapped
// then; built as a plain MODULE by g++, a unique symbol pins it in memory.
TEST(PluginUnloadTest,
     PluginBuiltWithZqAddPluginIsUnmappedOnceItsLoaderIsGone) {
  struct Case {
    const char* file;
    bool stays_mapped;
  };
  const Case cases[] = {
      {kUnloadProbePluginFile, false},
      {kPlainUnloadProbePluginFile, kCompilerMakesUniqueSymbols},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = PluginPath(c.file);
    ASSERT_FALSE(IsMapped(path));

    auto loader = std::make_unique<CComLoader>();
    ASSERT_TRUE(loader->LoadCom(path.c_str()));
    by::com_ptr<ITestPluginObject> object;
    ASSERT_EQ(S_OK, loader->CreateInstance(CLSID_LoaderHolder, nullptr, nullptr,
                                           by::__uuid_s<ITestPluginObject>::iid,
                                           object.vpp()));
    EXPECT_EQ(5, object->Add(2, 3));
    EXPECT_TRUE(IsMapped(path));
    object.dispose();
    loader.reset();

    EXPECT_EQ(c.stays_mapped, IsMapped(path));
  }
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
