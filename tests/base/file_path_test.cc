#include "base/files/file_path.h"

#include <stdint.h>
#include <sys/stat.h>
#include <unistd.h>

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

  // Files that are not regular are refused before anything is read: a FIFO
  // without a writer would block, a device would never end.
  ASSERT_EQ(0, mkfifo(dir_.Append("fifo").value().c_str(), 0600));
  ASSERT_EQ(0, symlink("/dev/zero", dir_.Append("zero").value().c_str()));
  for (const char* name : {"fifo", "zero"}) {
    SCOPED_TRACE(name);
    contents = "stale";
    EXPECT_FALSE(ReadFileToString(dir_.Append(name), &contents));
    EXPECT_FALSE(ReadFileToStringWithMaxSize(dir_.Append(name), &contents, 1));
    EXPECT_EQ("", contents);
  }
}

TEST_F(FileUtilTest, MaxSizeBoundsWhatIsRead) {
  const std::string payload(100000, 'x');  // more than one read chunk
  FilePath file = dir_.Append("big");
  std::ofstream(file.value(), std::ios::binary) << payload;
  std::string contents;
  struct Case {
    size_t max_size;
    bool ok;
  };
  for (const Case& c : {Case{payload.size(), true}, Case{SIZE_MAX, true},
                        Case{payload.size() - 1, false}, Case{0, false}}) {
    SCOPED_TRACE(c.max_size);
    contents = "stale";
    EXPECT_EQ(c.ok, ReadFileToStringWithMaxSize(file, &contents, c.max_size));
    EXPECT_EQ(c.ok ? payload : "", contents);
  }
  // An empty file fits any bound.
  FilePath empty = dir_.Append("empty");
  std::ofstream(empty.value(), std::ios::binary).flush();
  EXPECT_TRUE(ReadFileToStringWithMaxSize(empty, &contents, 0));
}

}  // namespace
}  // namespace base
