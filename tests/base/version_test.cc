#include "base/version.h"

#include <sstream>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(VersionTest, ParsesDigitsOnlyComponents) {
  const struct {
    const char* text;
    bool valid;
    const char* canonical;
  } kCases[] = {
      {"1", true, "1"},
      {"1.2.3.4", true, "1.2.3.4"},
      {"0", true, "0"},
      {"0.1", true, "0.1"},
      {"1.02", true, "1.2"},  // only the first component is strict
      {"1.0.0", true, "1.0.0"},
      {"4294967295", true, "4294967295"},
      {"", false, ""},
      {"01.2", false, ""},
      {"00", false, ""},
      {"1..2", false, ""},
      {".1", false, ""},
      {"1.", false, ""},
      {"+1", false, ""},
      {"-1", false, ""},
      {"1.-2", false, ""},
      {" 1", false, ""},
      {"1 ", false, ""},
      {"1.2a", false, ""},
      {"1.0x1", false, ""},
      {"4294967296", false, ""},
      {"1.99999999999999999999", false, ""},
  };
  for (const auto& c : kCases) {
    Version version(c.text);
    EXPECT_EQ(c.valid, version.IsValid()) << '"' << c.text << '"';
    EXPECT_EQ(c.canonical, version.GetString()) << '"' << c.text << '"';
    EXPECT_EQ(c.valid, !version.components().empty()) << '"' << c.text << '"';
  }
  EXPECT_FALSE(Version().IsValid());
}

TEST(VersionTest, ComparesComponentwiseWithMissingTrailingZeros) {
  const struct {
    const char* lhs;
    const char* rhs;
    int expected;
  } kCases[] = {
      {"1", "1.0.0", 0},     {"1.0.0", "1", 0},   {"1.2", "1.10", -1},
      {"1.10", "1.9", 1},    {"2", "1.99.99", 1}, {"1.0.1", "1", 1},
      {"1.2.3", "1.2.3", 0}, {"1.02", "1.2", 0},  {"0.9", "1", -1},
  };
  for (const auto& c : kCases) {
    Version lhs(c.lhs), rhs(c.rhs);
    EXPECT_EQ(c.expected, lhs.CompareTo(rhs)) << c.lhs << " vs " << c.rhs;
    EXPECT_EQ(-c.expected, rhs.CompareTo(lhs)) << c.rhs << " vs " << c.lhs;
    EXPECT_EQ(c.expected == 0, lhs == rhs);
    EXPECT_EQ(c.expected != 0, lhs != rhs);
    EXPECT_EQ(c.expected < 0, lhs < rhs);
    EXPECT_EQ(c.expected <= 0, lhs <= rhs);
    EXPECT_EQ(c.expected > 0, lhs > rhs);
    EXPECT_EQ(c.expected >= 0, lhs >= rhs);
  }
}

TEST(VersionTest, StreamsCanonicalText) {
  std::ostringstream out;
  out << Version("3.04.5");
  EXPECT_EQ("3.4.5", out.str());
}

}  // namespace
}  // namespace base
