// The two directions of an encrypted config.json.
//
// On disk an encrypted config.json is the standard Base64 text of the
// AES-256-ECB cipher text of the JSON, PKCS#5-padded, under the 32 bytes of
// the key as they are. EncryptConfig writes exactly what
//   openssl enc -aes-256-ecb -nosalt -base64 -K <hex of the key>
// writes (Base64 in lines of 64 characters, each ending with "\n"), and
// DecryptConfig reads such a file through the kit's own decryption, so it
// sees exactly the text the kit will parse.
//
// Thread-safety: EncryptConfig is stateless; DecryptConfig uses the kit's log
// service (see KitLog) and runs on one thread.

#ifndef TOOLS_ZQEXT_CONFIGENCRYPTION_H_
#define TOOLS_ZQEXT_CONFIGENCRYPTION_H_

#include <string>

namespace zqext {

// Encrypts `plain` under `key` (32 bytes) into `*text`. False only when
// OpenSSL fails (or the key has another size).
bool EncryptConfig(const std::string& plain,
                   const std::string& key,
                   std::string* text);

// Decrypts `text` under `key` (32 bytes) as the kit does: white space in the
// Base64 text is ignored, the padding the last byte announces is removed and
// the plain text is cut at its first zero byte. False, with the kit's reason
// in `*error`, when the kit would refuse the file.
bool DecryptConfig(const std::string& text,
                   const std::string& key,
                   std::string* plain,
                   std::string* error);

}  // namespace zqext

#endif  // TOOLS_ZQEXT_CONFIGENCRYPTION_H_
