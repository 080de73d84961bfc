#include "ZQExtensionKit/security/ZQEExtensionLibFileVerify.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/security/ZQEExtensionSignVerify.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

constexpr char kSuccess[] = "[SignVerify] Verify lib file md5 success.";
constexpr char kGenerateFailed[] =
    "[SignVerify] Verify lib file md5 failed, because of generate lib file "
    "md5 failed.";
constexpr char kAbcMd5[] = "900150983cd24fb0d6963f7d28e17f72";
constexpr char kEmptyMd5[] = "d41d8cd98f00b204e9800998ecf8427e";

class ZQEExtensionLibFileVerifyTest : public test::LogCaptureTest {
 protected:
  void SetUp() override {
    test::LogCaptureTest::SetUp();
    std::string tmpl =
        (std::filesystem::temp_directory_path() / "zq_verify_XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    test::LogCaptureTest::TearDown();
  }

  std::string WriteFile(const std::string& name, const std::string& content) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::filesystem::path dir_;
};

TEST_F(ZQEExtensionLibFileVerifyTest, MatchingDigestPassesAndIsLogged) {
  const std::string path = WriteFile("libplugin.so", "abc");
  EXPECT_TRUE(ZQEExtensionLibFileVerify::GetInstance()->Verify(path, kAbcMd5));
  EXPECT_EQ(capture().texts(), std::vector<std::string>{kSuccess});
}

TEST_F(ZQEExtensionLibFileVerifyTest, EmptyFileMatchesTheEmptyDigest) {
  const std::string path = WriteFile("empty.so", "");
  EXPECT_TRUE(
      ZQEExtensionLibFileVerify::GetInstance()->Verify(path, kEmptyMd5));
}

TEST_F(ZQEExtensionLibFileVerifyTest, OtherDigestsFailWithoutAMessage) {
  const std::string path = WriteFile("libplugin.so", "abc");
  ZQEExtensionLibFileVerify* verify = ZQEExtensionLibFileVerify::GetInstance();
  EXPECT_FALSE(verify->Verify(path, "900150983CD24FB0D6963F7D28E17F72"));
  EXPECT_FALSE(verify->Verify(path, kEmptyMd5));
  EXPECT_FALSE(verify->Verify(path, ""));
  EXPECT_FALSE(verify->Verify(path, std::string(kAbcMd5) + " "));
  EXPECT_TRUE(capture().texts().empty()) << capture().Dump();
}

TEST_F(ZQEExtensionLibFileVerifyTest, MissingFileFailsWithItsMessage) {
  EXPECT_FALSE(ZQEExtensionLibFileVerify::GetInstance()->Verify(
      (dir_ / "missing.so").string(), kEmptyMd5));
  EXPECT_EQ(capture().texts(), std::vector<std::string>{kGenerateFailed});
}

TEST_F(ZQEExtensionLibFileVerifyTest, InstancesAreProcessWide) {
  EXPECT_NE(ZQEExtensionLibFileVerify::GetInstance(), nullptr);
  EXPECT_EQ(ZQEExtensionLibFileVerify::GetInstance(),
            ZQEExtensionLibFileVerify::GetInstance());
  EXPECT_NE(ZQEExtensionSignVerify::GetInstance(), nullptr);
  EXPECT_EQ(ZQEExtensionSignVerify::GetInstance(),
            ZQEExtensionSignVerify::GetInstance());
}

TEST_F(ZQEExtensionLibFileVerifyTest, SignVerifyAcceptsEveryFile) {
  ZQEExtensionSignVerify* sign = ZQEExtensionSignVerify::GetInstance();
  EXPECT_TRUE(sign->SignVerify("", "", ""));
  EXPECT_TRUE(
      sign->SignVerify((dir_ / "missing.so").string(), "sign", kAbcMd5));
  EXPECT_TRUE(capture().texts().empty()) << capture().Dump();
}

}  // namespace
}  // namespace zqextensionkit
