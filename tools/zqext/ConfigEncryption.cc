#include "tools/zqext/ConfigEncryption.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/security/internal/ZQEOpenSsl.h"
#include "tools/zqext/KitLog.h"

namespace zqext {

namespace {

// Bytes of cipher text per line of Base64: 48 bytes make 64 characters.
constexpr size_t kBytesPerLine = 48;

}  // namespace

bool EncryptConfig(const std::string& plain,
                   const std::string& key,
                   std::string* text) {
  if (key.size() != 32)
    return false;
  zqextensionkit::openssl::ScopedCipherCtx context(EVP_CIPHER_CTX_new());
  // PKCS#5 padding is EVP's default: always 1 to 16 bytes are added.
  std::string cipher(plain.size() + 16, '\0');
  int length = 0;
  int final_length = 0;
  if (!context ||
      EVP_EncryptInit_ex(context.get(), EVP_aes_256_ecb(), nullptr,
                         reinterpret_cast<const unsigned char*>(key.data()),
                         nullptr) != 1 ||
      EVP_EncryptUpdate(
          context.get(), reinterpret_cast<unsigned char*>(cipher.data()),
          &length, reinterpret_cast<const unsigned char*>(plain.data()),
          static_cast<int>(plain.size())) != 1 ||
      EVP_EncryptFinal_ex(
          context.get(),
          reinterpret_cast<unsigned char*>(cipher.data()) + length,
          &final_length) != 1) {
    return false;
  }
  cipher.resize(static_cast<size_t>(length + final_length));

  std::string encoded;
  unsigned char line[4 * kBytesPerLine / 3 + 1];
  for (size_t offset = 0; offset < cipher.size(); offset += kBytesPerLine) {
    const size_t count = std::min(kBytesPerLine, cipher.size() - offset);
    const int written = EVP_EncodeBlock(
        line, reinterpret_cast<const unsigned char*>(cipher.data()) + offset,
        static_cast<int>(count));
    encoded.append(reinterpret_cast<const char*>(line),
                   static_cast<size_t>(written));
    encoded += '\n';
  }
  *text = std::move(encoded);
  return true;
}

bool DecryptConfig(const std::string& text,
                   const std::string& key,
                   std::string* plain,
                   std::string* error) {
  KitLog::Install();
  KitLog::TakeLast();
  zqextensionkit::ZQEConfigurationManagerImpl manager;
  std::string decrypted;
  if (!manager.SetSecKey(key) ||
      !manager.DecryptConfigurations(text, &decrypted)) {
    *error = KitLog::TakeLast();
    return false;
  }
  *plain = std::move(decrypted);
  return true;
}

}  // namespace zqext
