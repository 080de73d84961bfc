#include "ZQExtensionKit/security/ZQEUtility.h"

#include <openssl/evp.h>

#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"

namespace zqextensionkit {

namespace {

constexpr size_t kMd5Length = 16;

}  // namespace

bool ZQEUtility_MD5_Hex(const std::string& content, std::string& md5) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(content.data(), content.size(), digest, &length, EVP_md5(),
                 nullptr) != 1 ||
      length != kMd5Length) {
    return false;
  }
  md5.assign(reinterpret_cast<const char*>(digest), length);
  return true;
}

bool ZQEUtility_MD5_String(const std::string& content, std::string& md5) {
  std::string raw;
  if (!ZQEUtility_MD5_Hex(content, raw))
    return false;
  md5 = Md5TextOf(raw);
  return true;
}

bool ZQEUtility_MD5_File_Hex(const std::string& file, std::string& md5) {
  const ZQEHashedFile hashed = ZQEHashedFile::Open(file);
  if (!hashed.ok())
    return false;
  md5 = hashed.raw_md5();
  return true;
}

bool ZQEUtility_MD5_File_String(const std::string& file, std::string& md5) {
  std::string raw;
  if (!ZQEUtility_MD5_File_Hex(file, raw))
    return false;
  md5 = Md5TextOf(raw);
  return true;
}

}  // namespace zqextensionkit
