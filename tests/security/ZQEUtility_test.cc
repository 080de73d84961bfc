#include "ZQExtensionKit/security/ZQEUtility.h"

#include <stdio.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ScopedTempDir.h"

namespace zqextensionkit {
namespace {

// The test suite of RFC 1321, appendix A.5.
const std::vector<std::pair<std::string, std::string>>& Rfc1321Vectors() {
  static const std::vector<std::pair<std::string, std::string>> vectors = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890"
       "1234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  return vectors;
}

std::string HexToRaw(const std::string& text) {
  std::string raw;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    raw.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return raw;
}

// Bytes that do not repeat with any short period, so that a chunk fed twice
// or skipped changes the digest.
std::string PatternBytes(size_t size) {
  std::string bytes(size, '\0');
  unsigned int state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

class ZQEUtilityMd5Test : public ::testing::Test {
 protected:
  std::string WriteFile(const std::string& name, const std::string& content) {
    return temp_.WriteFile(name, content);
  }

  test::ScopedTempDir temp_;
  const std::filesystem::path& dir_ = temp_.path();
};

TEST_F(ZQEUtilityMd5Test, StringDigestsMatchRfc1321) {
  for (const auto& [input, expected] : Rfc1321Vectors()) {
    SCOPED_TRACE(input);
    std::string text = "previous content";
    ASSERT_TRUE(ZQEUtility_MD5_String(input, text));
    EXPECT_EQ(text, expected);

    std::string raw;
    ASSERT_TRUE(ZQEUtility_MD5_Hex(input, raw));
    EXPECT_EQ(raw, HexToRaw(expected));
  }
}

TEST_F(ZQEUtilityMd5Test, FileDigestsMatchRfc1321) {
  int n = 0;
  for (const auto& [input, expected] : Rfc1321Vectors()) {
    SCOPED_TRACE(input);
    const std::string path = WriteFile("v" + std::to_string(n++), input);
    std::string text;
    ASSERT_TRUE(ZQEUtility_MD5_File_String(path, text));
    EXPECT_EQ(text, expected);
    std::string raw;
    ASSERT_TRUE(ZQEUtility_MD5_File_Hex(path, raw));
    EXPECT_EQ(raw, HexToRaw(expected));
  }
}

TEST_F(ZQEUtilityMd5Test, EmbeddedNulBytesAreHashed) {
  const std::string content("a\0b", 3);
  std::string with_nul, prefix;
  ASSERT_TRUE(ZQEUtility_MD5_String(content, with_nul));
  ASSERT_TRUE(ZQEUtility_MD5_String("a", prefix));
  EXPECT_NE(with_nul, prefix);

  std::string from_file;
  ASSERT_TRUE(ZQEUtility_MD5_File_String(WriteFile("nul", content), from_file));
  EXPECT_EQ(from_file, with_nul);
}

// Sizes at and around the boundaries of any plausible read chunk: a size
// that is an exact multiple ends with an empty read that must add nothing.
TEST_F(ZQEUtilityMd5Test, FileDigestMatchesInMemoryDigestAtChunkBoundaries) {
  for (size_t size : {1023u, 1024u, 1025u, 4096u, 65535u, 65536u, 65537u,
                      3u * 65536u + 1024u}) {
    SCOPED_TRACE(size);
    const std::string content = PatternBytes(size);
    std::string expected, actual;
    ASSERT_TRUE(ZQEUtility_MD5_String(content, expected));
    ASSERT_TRUE(ZQEUtility_MD5_File_String(
        WriteFile("f" + std::to_string(size), content), actual));
    EXPECT_EQ(actual, expected);
  }
}

TEST_F(ZQEUtilityMd5Test, FileDigestMatchesMd5sum) {
  const std::string path = WriteFile("md5sum_input", PatternBytes(300000));
  const std::string command = "md5sum '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[256] = {};
  const bool read_ok = fgets(line, sizeof(line), pipe) != nullptr;
  const int status = pclose(pipe);
  if (!read_ok || status != 0)
    GTEST_SKIP() << "md5sum is not available";

  std::string digest;
  ASSERT_TRUE(ZQEUtility_MD5_File_String(path, digest));
  EXPECT_EQ(digest, std::string(line, 32));
}

TEST_F(ZQEUtilityMd5Test, UnreadableFilesFailAndLeaveTheResultAlone) {
  const std::string existing = WriteFile("exists", "abc");
  const std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const std::vector<std::string> unreadable = {
      (dir_ / "missing").string(),
      dir_.string(),                    // a directory
      existing + std::string(1, '\0'),  // names no file
      std::string(),
      fifo,         // no writer: would block verification forever
      "/dev/zero",  // a device: would never end
  };
  for (const std::string& path : unreadable) {
    SCOPED_TRACE(path);
    std::string md5 = "untouched";
    EXPECT_FALSE(ZQEUtility_MD5_File_Hex(path, md5));
    EXPECT_EQ(md5, "untouched");
    EXPECT_FALSE(ZQEUtility_MD5_File_String(path, md5));
    EXPECT_EQ(md5, "untouched");
  }
}

TEST_F(ZQEUtilityMd5Test, ResultMayAliasTheInput) {
  std::string value = "abc";
  ASSERT_TRUE(ZQEUtility_MD5_String(value, value));
  EXPECT_EQ(value, "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
}  // namespace zqextensionkit
