// Test support: the writing side of an encrypted config.json, which the kit
// only reads: AES-256-ECB encryption without padding, PKCS#5 padding, and
// Base64 encoding, optionally in lines as common tools write it.
//
// Header-only and free of GoogleTest, for tests, benchmarks and fuzz targets
// alike. Stateless; safe from any thread.

#ifndef TESTS_SUPPORT_CONFIGCIPHER_H_
#define TESTS_SUPPORT_CONFIGCIPHER_H_

#include <openssl/evp.h>

#include <memory>
#include <string>

namespace zqextensionkit {
namespace test {

// A key of the 32 bytes the kit accepts.
inline constexpr char kTestSecKey[] = "0123456789abcdef0123456789ABCDEF";

// AES-256-ECB of `plain` under the 32 bytes of `key`, without padding:
// `plain` must be whole blocks of 16 bytes. "" on failure.
inline std::string AesEcbEncrypt(const std::string& plain,
                                 const std::string& key = kTestSecKey) {
  if (plain.size() % 16 != 0 || key.size() != 32)
    return std::string();
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(
      EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  std::string cipher(plain.size(), '\0');
  int written = 0;
  if (!context ||
      EVP_EncryptInit_ex(context.get(), EVP_aes_256_ecb(), nullptr,
                         reinterpret_cast<const unsigned char*>(key.data()),
                         nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1 ||
      EVP_EncryptUpdate(
          context.get(), reinterpret_cast<unsigned char*>(cipher.data()),
          &written, reinterpret_cast<const unsigned char*>(plain.data()),
          static_cast<int>(plain.size())) != 1) {
    return std::string();
  }
  return cipher;
}

// `plain` padded per PKCS#5 to whole blocks of 16 bytes.
inline std::string Pkcs5Pad(const std::string& plain) {
  const size_t count = 16 - plain.size() % 16;
  return plain + std::string(count, static_cast<char>(count));
}

// Standard Base64 of `bytes`, on one line.
inline std::string Base64Encode(const std::string& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                      reinterpret_cast<const unsigned char*>(bytes.data()),
                      static_cast<int>(bytes.size()));
  text.resize(static_cast<size_t>(length));
  return text;
}

// Standard Base64 of `bytes` in lines of `line_length` characters (a
// multiple of 4), each ending with "\n", as common tools write it.
inline std::string Base64EncodeLines(const std::string& bytes,
                                     size_t line_length) {
  const size_t chunk = line_length / 4 * 3;
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += chunk)
    text += Base64Encode(bytes.substr(i, chunk)) + "\n";
  return text;
}

// The text of an encrypted config.json holding `json`, on one line.
inline std::string EncryptedConfig(const std::string& json,
                                   const std::string& key = kTestSecKey) {
  return Base64Encode(AesEcbEncrypt(Pkcs5Pad(json), key));
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_CONFIGCIPHER_H_
