#include "ZQExtensionKit/security/internal/ZQELibrarySignature.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <utility>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"
#include "ZQExtensionKit/security/internal/ZQEOpenSsl.h"
#include "base/base64.h"
#include "base/version.h"

namespace zqextensionkit {

namespace {

constexpr char kPemBegin[] = "-----BEGIN PUBLIC KEY-----";
constexpr char kPemEnd[] = "-----END PUBLIC KEY-----";
constexpr size_t kReadChunk = 64 * 1024;

using openssl::ScopedBio;
using openssl::ScopedMdCtx;
using openssl::ScopedPkey;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string Trimmed(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsSpace(text[begin]))
    ++begin;
  while (end > begin && IsSpace(text[end - 1]))
    --end;
  return text.substr(begin, end - begin);
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The Ed25519 public key of `pem`, which must be one PEM public key block
// and nothing else (white space aside), or null.
ScopedPkey ParsePublicKey(const std::string& pem) {
  const std::string block = Trimmed(pem);
  if (block.rfind(kPemBegin, 0) != 0 || !EndsWith(block, kPemEnd) ||
      block.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    return nullptr;
  }
  ScopedBio bio(BIO_new_mem_buf(block.data(), static_cast<int>(block.size())));
  if (!bio)
    return nullptr;
  ScopedPkey key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
  // A second block would follow the first one's END line: refused.
  if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519 ||
      BIO_pending(bio.get()) > 0) {
    return nullptr;
  }
  return key;
}

// The raw SHA-256 of everything `fd` holds, read with pread() from offset
// 0, or "" when a read fails.
std::string Sha256OfDescriptor(int fd) {
  ScopedMdCtx ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
    return std::string();
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadChunk]);
  off_t offset = 0;
  while (true) {
    const ssize_t got = pread(fd, buffer.get(), kReadChunk, offset);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return std::string();
    }
    if (got == 0)
      break;
    if (EVP_DigestUpdate(ctx.get(), buffer.get(), static_cast<size_t>(got)) !=
        1) {
      return std::string();
    }
    offset += got;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1 ||
      length != kLibrarySha256Size) {
    return std::string();
  }
  return std::string(reinterpret_cast<const char*>(digest), length);
}

bool HoldsLineBreak(const std::string& field) {
  return field.find_first_of("\r\n") != std::string::npos;
}

LibrarySignatureVerdict Verdict(LibrarySignatureCheck check,
                                const std::string& id,
                                const char* reason) {
  LibrarySignatureVerdict verdict;
  verdict.check = check;
  verdict.message = "sign verify - package id:" + id + ", verify lib file sign";
  verdict.message +=
      reason ? std::string(" failed, because of ") + reason : " success";
  verdict.reason = reason ? reason : "";
  return verdict;
}

}  // namespace

bool LibrarySignatureMessage(const std::string& raw_sha256,
                             const std::string& id,
                             const std::string& version,
                             const std::string& main_entry,
                             std::string* message) {
  if (raw_sha256.size() != kLibrarySha256Size || HoldsLineBreak(id) ||
      HoldsLineBreak(version) || HoldsLineBreak(main_entry)) {
    return false;
  }
  std::string text = kLibrarySignatureFormat;
  text += "\nsha256=" + Md5TextOf(raw_sha256);
  text += "\nid=" + id;
  text += "\nversion=" + version;
  text += "\nmainEntry=" + main_entry;
  text += "\n";
  *message = std::move(text);
  return true;
}

bool LibrarySignatureMessage(const std::string& raw_sha256,
                             const Artifact& artifact,
                             std::string* message) {
  return LibrarySignatureMessage(raw_sha256, artifact.GetID(),
                                 artifact.GetVersion().GetString(),
                                 artifact.GetBinFilePath(), message);
}

std::string Base64Encode(const std::string& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  size_t done = 0;
  // EVP_EncodeBlock takes an int length: encode in pieces of whole groups.
  constexpr size_t kPiece = 3 * (1 << 20);
  for (size_t at = 0; at < bytes.size(); at += kPiece) {
    const size_t piece = std::min(kPiece, bytes.size() - at);
    done += static_cast<size_t>(EVP_EncodeBlock(
        reinterpret_cast<unsigned char*>(&text[done]),
        reinterpret_cast<const unsigned char*>(bytes.data() + at),
        static_cast<int>(piece)));
  }
  text.resize(done);
  return text;
}

struct ZQESignKeyRing::Key {
  ScopedPkey pkey;
};

// static
std::string ZQESignKeyRing::CanonicalPublicKeyPem(const std::string& pem) {
  ScopedPkey key = ParsePublicKey(pem);
  if (!key)
    return std::string();
  ScopedBio out(BIO_new(BIO_s_mem()));
  if (!out || PEM_write_bio_PUBKEY(out.get(), key.get()) != 1)
    return std::string();
  char* data = nullptr;
  const long size = BIO_get_mem_data(out.get(), &data);
  return size > 0 ? std::string(data, static_cast<size_t>(size))
                  : std::string();
}

ZQESignKeyRing::ZQESignKeyRing() = default;

ZQESignKeyRing::ZQESignKeyRing(const std::vector<std::string>& pems) {
  for (const std::string& pem : pems) {
    if (ScopedPkey key = ParsePublicKey(pem))
      keys_.push_back(std::unique_ptr<Key>(new Key{std::move(key)}));
  }
}

ZQESignKeyRing::ZQESignKeyRing(ZQESignKeyRing&&) noexcept = default;
ZQESignKeyRing& ZQESignKeyRing::operator=(ZQESignKeyRing&&) noexcept = default;
ZQESignKeyRing::~ZQESignKeyRing() = default;

bool ZQESignKeyRing::Verifies(const std::string& message,
                              const std::string& signature) const {
  if (signature.size() != kLibrarySignatureSize)
    return false;
  for (const std::unique_ptr<Key>& key : keys_) {
    ScopedMdCtx ctx(EVP_MD_CTX_new());
    // Ed25519 hashes the message itself: no digest is named.
    if (ctx &&
        EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr,
                             key->pkey.get()) == 1 &&
        EVP_DigestVerify(
            ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
            signature.size(),
            reinterpret_cast<const unsigned char*>(message.data()),
            message.size()) == 1) {
      return true;
    }
  }
  return false;
}

LibrarySignatureVerdict CheckLibrarySignature(const Artifact& artifact,
                                              const ZQEHashedFile& file,
                                              const ZQESignKeyRing& keys) {
  const std::string id = artifact.GetID();
  const std::string sign = artifact.GetSignMD5();
  if (sign.empty()) {
    return Verdict(LibrarySignatureCheck::kNoSignature, id,
                   "signMD5 holds no signature");
  }
  std::string signature;
  if (!base::Base64Decode(sign, &signature) ||
      signature.size() != kLibrarySignatureSize) {
    return Verdict(LibrarySignatureCheck::kMalformed, id,
                   "signMD5 is not the base64 of an ed25519 signature");
  }
  std::string sha256 = file.raw_sha256();
  if (sha256.empty() && file.ok())
    sha256 = Sha256OfDescriptor(file.descriptor());
  if (sha256.empty()) {
    return Verdict(LibrarySignatureCheck::kUnreadable, id,
                   "lib file cannot be read");
  }
  std::string message;
  if (!LibrarySignatureMessage(sha256, artifact, &message)) {
    return Verdict(LibrarySignatureCheck::kUnsignable, id,
                   "package id, version or main entry holds a line break");
  }
  if (!keys.Verifies(message, signature)) {
    return Verdict(LibrarySignatureCheck::kNotSigned, id,
                   "no trusted key signed this library with this package "
                   "id, version and main entry");
  }
  return Verdict(LibrarySignatureCheck::kSigned, id, nullptr);
}

}  // namespace zqextensionkit
