// The signature of a library: the message as the README documents it, which
// texts count as trusted keys, and the reason each refused signature is
// refused for.

#include "ZQExtensionKit/security/internal/ZQELibrarySignature.h"

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/SignKeys.h"

namespace zqextensionkit {
namespace {

using test::LibraryMessage;
using test::Sha256Hex;

constexpr char kLibrary[] = "the library's bytes";

std::string RawSha256(const std::string& bytes) {
  std::string raw;
  const std::string hex = Sha256Hex(bytes);
  for (size_t i = 0; i < hex.size(); i += 2)
    raw.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return raw;
}

TEST(ZQELibrarySignatureTest, MessageIsTheDocumentedTextOrRefused) {
  const struct {
    std::string id, version, main_entry;
    bool ok;
  } cases[] = {
      {"com.example.chat", "1.2.0", "lib/chat.so", true},
      {"", "", "", true},
      {"com.ex\u00e4mple", "1", "lib/a b.so", true},
      {"com.example\nversion=9", "1", "lib/a.so", false},
      {"com.example", "1\r", "lib/a.so", false},
      {"com.example", "1", "lib/a.so\nid=x", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id + "|" + c.version + "|" + c.main_entry);
    std::string message = "untouched";
    EXPECT_EQ(c.ok, LibrarySignatureMessage(RawSha256(kLibrary), c.id,
                                            c.version, c.main_entry, &message));
    EXPECT_EQ(c.ok ? LibraryMessage(Sha256Hex(kLibrary), c.id, c.version,
                                    c.main_entry)
                   : "untouched",
              message);
  }
  std::string message;
  EXPECT_FALSE(LibrarySignatureMessage(std::string(31, 'x'), "id", "1",
                                       "lib/a.so", &message));
}

// The format as the documentation shows it (tests/data), each "<...>"
// standing for one field, is the message the kit signs and checks.
TEST(ZQELibrarySignatureTest, MessageIsTheDocumentedFormat) {
  std::ifstream in(std::string(ZQ_TEST_DATA_DIR) +
                   "/library_signature_message.txt");
  const std::vector<std::string> fields = {Sha256Hex(kLibrary), "com.a", "1.2",
                                           "lib/a.so"};
  std::string documented, line;
  for (size_t i = 0; std::getline(in, line); ++i) {
    const size_t open = line.find('<');
    if (open != std::string::npos) {
      ASSERT_LT(i - 1, fields.size());
      line = line.substr(0, open) + fields[i - 1];
    }
    documented += line + "\n";
  }
  std::string message;
  ASSERT_TRUE(LibrarySignatureMessage(RawSha256(kLibrary), "com.a", "1.2",
                                      "lib/a.so", &message));
  EXPECT_EQ(documented, message);
}

TEST(ZQELibrarySignatureTest, OnlyOneEd25519PublicKeyInPemIsAKey) {
  const test::SignKeyPair pair = test::NewEd25519KeyPair();
  const std::string other = test::NewEd25519KeyPair().public_pem;
  const struct {
    const char* name;
    std::string text;
    bool key;
  } cases[] = {
      {"ed25519 public key", pair.public_pem, true},
      {"surrounded by white space", "\n  " + pair.public_pem + "\n\n", true},
      {"ed25519 private key", pair.private_pem, false},
      {"rsa public key", test::NewOtherPublicKeyPem("RSA"), false},
      {"ec public key", test::NewOtherPublicKeyPem("EC"), false},
      {"x25519 public key", test::NewOtherPublicKeyPem("X25519"), false},
      {"two keys", pair.public_pem + other, false},
      {"text after the key", pair.public_pem + "trust me\n", false},
      {"text before the key", "trust me\n" + pair.public_pem, false},
      {"garbage", "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----",
       false},
      {"empty", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.key ? pair.public_pem : "",
              ZQESignKeyRing::CanonicalPublicKeyPem(c.text));
    EXPECT_EQ(c.key ? 1u : 0u, ZQESignKeyRing({c.text}).size());
  }
}

TEST(ZQELibrarySignatureTest, EachRefusalNamesItsReason) {
  test::ScopedTempDir dir;
  const std::string library = dir.WriteFile("lib.so", kLibrary);
  const test::SignKeyPair trusted = test::NewEd25519KeyPair();
  const test::SignKeyPair second = test::NewEd25519KeyPair();
  const test::SignKeyPair stranger = test::NewEd25519KeyPair();
  const ZQESignKeyRing keys({trusted.public_pem, second.public_pem});
  const std::string sha = Sha256Hex(kLibrary);
  auto sign = [&](const test::SignKeyPair& key, const std::string& message) {
    return test::SignBase64(key.private_pem, message);
  };
  const std::string good = LibraryMessage(sha, "com.a", "1.2", "lib.so");
  const std::string prefix = "sign verify - package id:com.a, verify lib file ";
  const std::string not_signed =
      "sign failed, because of no trusted key signed this library with this "
      "package id, version and main entry";
  const struct {
    const char* name;
    std::string sign_md5;
    LibrarySignatureCheck check;
    std::string message;
    std::string id = "com.a";
  } cases[] = {
      {"signed", sign(trusted, good), LibrarySignatureCheck::kSigned,
       "sign success"},
      {"by the second key", sign(second, good), LibrarySignatureCheck::kSigned,
       "sign success"},
      {"empty", "", LibrarySignatureCheck::kNoSignature,
       "sign failed, because of signMD5 holds no signature"},
      {"not base64", "not a signature", LibrarySignatureCheck::kMalformed,
       "sign failed, because of signMD5 is not the base64 of an ed25519 "
       "signature"},
      {"63 bytes", std::string(84, 'A'), LibrarySignatureCheck::kMalformed,
       "sign failed, because of signMD5 is not the base64 of an ed25519 "
       "signature"},
      {"untrusted key", sign(stranger, good), LibrarySignatureCheck::kNotSigned,
       not_signed},
      {"another library",
       sign(trusted,
            LibraryMessage(Sha256Hex("other"), "com.a", "1.2", "lib.so")),
       LibrarySignatureCheck::kNotSigned, not_signed},
      {"another id",
       sign(trusted, LibraryMessage(sha, "com.b", "1.2", "lib.so")),
       LibrarySignatureCheck::kNotSigned, not_signed},
      {"another version",
       sign(trusted, LibraryMessage(sha, "com.a", "1.3", "lib.so")),
       LibrarySignatureCheck::kNotSigned, not_signed},
      {"another main entry",
       sign(trusted, LibraryMessage(sha, "com.a", "1.2", "lib/lib.so")),
       LibrarySignatureCheck::kNotSigned, not_signed},
      {"another format",
       sign(trusted, "ZQExtensionKit library signature 2" +
                         good.substr(good.find('\n'))),
       LibrarySignatureCheck::kNotSigned, not_signed},
      {"line break in the id", sign(trusted, good),
       LibrarySignatureCheck::kUnsignable,
       "sign failed, because of package id, version or main entry holds a "
       "line break",
       "com.a\n"},
  };
  // The SHA-256 from the pass that made the MD5, or read afterwards.
  for (const auto digests :
       {ZQEHashedFile::Digests::kMd5AndSha256, ZQEHashedFile::Digests::kMd5}) {
    const ZQEHashedFile file = ZQEHashedFile::Open(library, digests);
    ASSERT_TRUE(file.ok());
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      Artifact artifact(base::FilePath(dir.path().string()));
      artifact.SetID(c.id);
      artifact.SetVersion(base::Version("1.02"));  // Read as "1.2".
      artifact.SetBinFilePath("lib.so");
      artifact.SetSignMD5(c.sign_md5);
      const LibrarySignatureVerdict verdict =
          CheckLibrarySignature(artifact, file, keys);
      EXPECT_EQ(c.check, verdict.check);
      EXPECT_EQ(c.check == LibrarySignatureCheck::kSigned, verdict.ok());
      if (c.id == "com.a") {
        EXPECT_EQ(prefix + c.message, verdict.message);
      }
    }
  }
}

}  // namespace
}  // namespace zqextensionkit
