#include "base/files/file_path.h"

#include <sys/stat.h>

#include <fstream>
#include <string>

#include "base/files/file_util.h"
#include "gtest/gtest.h"
#include "tests/support/ScopedTempDir.h"

namespace base {
namespace {

TEST(FilePathTest, AppendJoinsWithOneSeparator) {
  const struct {
    const char* base;
    const char* component;
    const char* expected;
  } kCases[] = {
      {"/a", "b", "/a/b"}, {"/a/", "b", "/a/b"}, {"/a///", "b", "/a/b"},
      {"/", "b", "/b"},    {"//", "b", "//b"},   {"///", "b", "/b"},
      {"", "b", "b"},      {"/a", "", "/a"},     {"a", "b/c", "a/b/c"},
      {".", "b", "b"},     {".", ".", "."},      {".", "", "."},
      {"a", "..", "a/.."},  // verbatim; ReadFileToString refuses such paths
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.expected, FilePath(c.base).Append(c.component).value())
        << '"' << c.base << "\" + \"" << c.component << '"';
  }
  EXPECT_EQ("/x/y", FilePath("/x").Append(FilePath("y")).value());
  // Text after a NUL byte never reaches the path.
  EXPECT_EQ("/x/y", FilePath("/x").Append(std::string("y\0z", 3)).value());
  EXPECT_EQ("/x", FilePath(std::string("/x\0y", 4)).value());
}

TEST(FilePathTest, DirNameAndBaseName) {
  const struct {
    const char* path;
    const char* dir;
    const char* base;
  } kCases[] = {
      {"/a/b/c", "/a/b", "c"}, {"/a/b/", "/a", "b"}, {"/a", "/", "a"},
      {"/", "/", "/"},         {"//", "//", "//"},   {"//a", "//", "a"},
      {"///a", "//", "a"},     {"a", ".", "a"},      {"a/b", "a", "b"},
      {"", ".", ""},           {".", ".", "."},      {"a//b", "a", "b"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.dir, FilePath(c.path).DirName().value()) << c.path;
    EXPECT_EQ(c.base, FilePath(c.path).BaseName().value()) << c.path;
  }
}

TEST(FilePathTest, ReferencesParentAndEncodings) {
  EXPECT_TRUE(FilePath("../a").ReferencesParent());
  EXPECT_TRUE(FilePath("a/../b").ReferencesParent());
  EXPECT_TRUE(FilePath("a/..").ReferencesParent());
  EXPECT_TRUE(FilePath("a/.. /b").ReferencesParent());
  EXPECT_FALSE(FilePath("a/..b/c").ReferencesParent());
  EXPECT_FALSE(FilePath("/a/./b").ReferencesParent());
  EXPECT_TRUE(FilePath("/abs").IsAbsolute());
  EXPECT_FALSE(FilePath("rel").IsAbsolute());
  EXPECT_EQ("", FilePath("/caf\xC3\xA9").MaybeAsASCII());
  EXPECT_EQ("/cafe", FilePath("/cafe").MaybeAsASCII());
  EXPECT_EQ("/caf\xC3\xA9", FilePath("/caf\xC3\xA9").AsUTF8Unsafe());
}

class FileUtilTest : public ::testing::Test {
 protected:
  zqextensionkit::test::ScopedTempDir temp_;
  const FilePath dir_{temp_.path().string()};
};

TEST_F(FileUtilTest, ReadsWholeFilesAndRefusesEverythingElse) {
  const std::string payload("line one\n\0binary\xFF", 17);
  FilePath file = dir_.Append("file.txt");
  std::ofstream(file.value(), std::ios::binary) << payload;
  ASSERT_EQ(0, mkdir(dir_.Append("sub").value().c_str(), 0700));

  EXPECT_TRUE(PathExists(file));
  EXPECT_TRUE(PathExists(dir_));
  EXPECT_FALSE(PathExists(dir_.Append("missing")));

  std::string contents = "stale";
  ASSERT_TRUE(ReadFileToString(file, &contents));
  EXPECT_EQ(payload, contents);
  EXPECT_TRUE(ReadFileToString(file, nullptr));

  contents = "stale";
  EXPECT_FALSE(ReadFileToString(dir_.Append("missing"), &contents));
  EXPECT_EQ("", contents);
  contents = "stale";
  EXPECT_FALSE(ReadFileToString(dir_.Append("sub"), &contents));
  EXPECT_EQ("", contents);
  // A ".." component is refused even though the file exists.
  contents = "stale";
  EXPECT_FALSE(ReadFileToString(
      dir_.Append("sub").Append("..").Append("file.txt"), &contents));
  EXPECT_EQ("", contents);
}

}  // namespace
}  // namespace base
