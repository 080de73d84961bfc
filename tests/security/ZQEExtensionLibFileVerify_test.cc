#include "ZQExtensionKit/security/internal/ZQEExtensionLibFileVerify.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/security/internal/ZQEExtensionSignVerify.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScopedTempDir.h"

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
  std::string WriteFile(const std::string& name, const std::string& content) {
    return temp_.WriteFile(name, content);
  }

  test::ScopedTempDir temp_;
  const std::filesystem::path& dir_ = temp_.path();
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
