// What ZQExtensionKit.so exports under its base layer's names.

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/sdk/DynamicSymbols.h"

namespace zqextensionkit {
namespace test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

bool IsIdentifierCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '_' || c == ':';
}

// A host that also links another library with a top-level namespace `base`
// must never find one of its symbols defined in ZQExtensionKit.so with a
// different layout: every top-level `base::` name the kit exports, alone or
// inside another symbol's signature, is in the inline namespace base::zqe.
TEST(ExportedSymbolsTest, BaseNamesCarryTheKitsInlineNamespace) {
  std::vector<DynamicSymbol> symbols;
  std::string error;
  ASSERT_TRUE(ReadDynamicSymbols(ZQ_KIT_LIBRARY, &symbols, &error)) << error;

  std::vector<std::string> names;
  std::vector<std::string> outside_the_kits_namespace;
  for (const DynamicSymbol& symbol : symbols) {
    names.push_back(symbol.name);
    const std::string& name = symbol.name;
    for (size_t at = name.find("base::"); at != std::string::npos;
         at = name.find("base::", at + 1)) {
      if (at > 0 && IsIdentifierCharacter(name[at - 1]))
        continue;  // "database::", "foo::base::": not the top-level base
      if (name.compare(at, 11, "base::zqe::") != 0)
        outside_the_kits_namespace.push_back(name);
    }
  }
  EXPECT_THAT(outside_the_kits_namespace, IsEmpty());

  // The check sees the base layer at all: its types and functions, and the
  // kit's signatures that take them, are exported.
  EXPECT_THAT(names, Contains("typeinfo for base::zqe::DictionaryValue"));
  EXPECT_THAT(names, Contains(HasSubstr("base::zqe::Version::Version(")));
  EXPECT_THAT(names, Contains(HasSubstr("base::zqe::JSONReader::Read(")));
  EXPECT_THAT(
      names, Contains(HasSubstr("zqextensionkit::Artifact::Artifact(base::zqe::"
                                "FilePath const&)")));
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
