#include <set>
#include <string>

#include "base/base64.h"
#include "base/guid.h"
#include "base/strings/string_util.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(Base64Test, DecodesCanonicalForms) {
  const struct {
    const char* encoded;
    const char* decoded;
  } kCases[] = {
      {"", ""},        {"QQ==", "A"},        {"QUI=", "AB"},
      {"QUJD", "ABC"}, {"QUJDRA==", "ABCD"}, {"+/+/", "\xFB\xFF\xBF"},
  };
  for (const auto& c : kCases) {
    std::string out = "stale";
    EXPECT_TRUE(Base64Decode(c.encoded, &out)) << c.encoded;
    EXPECT_EQ(c.decoded, out) << c.encoded;
  }
}

TEST(Base64Test, RejectsLooseFormsAndLeavesOutputUntouched) {
  for (const char* encoded :
       {"QQ", "QUI", "QQ=", "Q===", "====", "QU=I", "QQ==QQ==", "QU I",
        "QUJD\n", " QUJD", "QUJ-", "QUJ_", "QUJ*", "QUJD====="}) {
    std::string out = "stale";
    EXPECT_FALSE(Base64Decode(encoded, &out)) << encoded;
    EXPECT_EQ("stale", out) << encoded;
  }
}

bool IsUpperHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

TEST(GuidTest, GeneratesDistinctVersion4Guids) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string guid = GenerateGUID();
    ASSERT_EQ(36u, guid.size()) << guid;
    for (size_t j = 0; j < guid.size(); ++j) {
      if (j == 8 || j == 13 || j == 18 || j == 23)
        EXPECT_EQ('-', guid[j]) << guid;
      else
        EXPECT_TRUE(IsUpperHex(guid[j])) << guid;
    }
    EXPECT_EQ('4', guid[14]) << guid;
    EXPECT_NE(std::string::npos, std::string("89AB").find(guid[19])) << guid;
    seen.insert(guid);
  }
  EXPECT_EQ(1000u, seen.size());
}

TEST(StringUtilTest, StartsWith) {
  EXPECT_TRUE(
      StartsWith("javascript:x", "javascript:", CompareCase::SENSITIVE));
  EXPECT_FALSE(
      StartsWith("JavaScript:x", "javascript:", CompareCase::SENSITIVE));
  EXPECT_TRUE(StartsWith("JavaScript:x",
                         "javascript:", CompareCase::INSENSITIVE_ASCII));
  EXPECT_TRUE(StartsWith("abc", "", CompareCase::SENSITIVE));
  EXPECT_FALSE(StartsWith("ab", "abc", CompareCase::INSENSITIVE_ASCII));
  // Only ASCII letters fold.
  EXPECT_FALSE(StartsWith("\xC3\x89t\xC3\xA9", "\xC3\xA9",
                          CompareCase::INSENSITIVE_ASCII));
}

}  // namespace
}  // namespace base
