// ZQELibrarySignature: what the signature of a plug-in library covers, the
// Ed25519 public keys that may have made it, and the check of one library
// against them.
//
// The signed message, format 1, is five lines of text, each ended by one
// "\n" (no "\r"):
//
//   ZQExtensionKit library signature 1
//   sha256=<SHA-256 of the library file: 64 lower-case hex digits>
//   id=<the manifest's "id">
//   version=<the manifest's "version" as the kit reads it>
//   mainEntry=<the manifest's "mainEntry" as written>
//
// The version is base::Version's text of it: its numbers joined by dots,
// without leading zeros ("1.02" is signed as "1.2"), and empty when the
// manifest has none or one the kit does not read as a version. A package
// whose id, version or main entry holds a line break ("\n" or "\r") cannot
// be signed: its message could be read as another package's.
//
// The manifest's "signMD5" holds the Ed25519 signature of that message (64
// bytes) in Base64: the standard alphabet, padded, on one line (88
// characters). It is exactly what
//
//   openssl pkeyutl -sign -rawin -inkey private.pem -in message | base64 -w0
//
// writes. The first line names the format and its version: a later format
// changes that line, so a signature is never taken for one over a message
// of another format.
//
// Keys are Ed25519 public keys in PEM ("-----BEGIN PUBLIC KEY-----", the
// SubjectPublicKeyInfo that `openssl pkey -pubout` writes).
//
// Nothing here logs. Every function may be called from any thread; a
// ZQESignKeyRing is immutable once built and may be shared between threads.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQELIBRARYSIGNATURE_H_
#define ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQELIBRARYSIGNATURE_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace zqextensionkit {

class Artifact;
class ZQEHashedFile;

// The first line of a format-1 message, without its "\n".
inline constexpr char kLibrarySignatureFormat[] =
    "ZQExtensionKit library signature 1";
// The size of an Ed25519 signature, and of the SHA-256 the message holds.
inline constexpr size_t kLibrarySignatureSize = 64;
inline constexpr size_t kLibrarySha256Size = 32;

// The format-1 message for a library whose raw SHA-256 is `raw_sha256` (32
// bytes) in a package of `id`, `version` (the text the kit reads, see
// above) and `main_entry`, into *message. False, with *message untouched,
// when `raw_sha256` is not 32 bytes or a field holds "\n" or "\r".
bool LibrarySignatureMessage(const std::string& raw_sha256,
                             const std::string& id,
                             const std::string& version,
                             const std::string& main_entry,
                             std::string* message);
// The same for the package `artifact` describes.
bool LibrarySignatureMessage(const std::string& raw_sha256,
                             const Artifact& artifact,
                             std::string* message);

// Standard Base64, padded, without line breaks.
std::string Base64Encode(const std::string& bytes);

// A set of trusted Ed25519 public keys.
class ZQESignKeyRing {
 public:
  // The key in `pem` written again in the canonical PEM form (what
  // `openssl pkey -pubin -pubout` writes), or "" when `pem` holds no
  // Ed25519 public key in PEM: not PEM, another kind of key (RSA, EC,
  // X25519, ...), a private key, or text after the key's block.
  static std::string CanonicalPublicKeyPem(const std::string& pem);

  ZQESignKeyRing();
  // The keys of `pems`; a text that holds no Ed25519 public key is skipped.
  explicit ZQESignKeyRing(const std::vector<std::string>& pems);
  ZQESignKeyRing(ZQESignKeyRing&&) noexcept;
  ZQESignKeyRing& operator=(ZQESignKeyRing&&) noexcept;
  ~ZQESignKeyRing();

  bool empty() const { return keys_.empty(); }
  size_t size() const { return keys_.size(); }

  // True when one of the keys made `signature` (64 bytes) over `message`.
  bool Verifies(const std::string& message, const std::string& signature) const;

 private:
  struct Key;
  std::vector<std::unique_ptr<Key>> keys_;
};

// The outcome of checking one library's signature.
enum class LibrarySignatureCheck {
  kSigned,       // A trusted key signed this library in this package.
  kNoSignature,  // "signMD5" is empty (or absent).
  kMalformed,    // "signMD5" is not the Base64 of 64 bytes.
  kUnsignable,   // id, version or main entry holds a line break.
  kUnreadable,   // The library file could not be hashed.
  kNotSigned,    // No trusted key signed this message: the signature is by
                 // another key, or was made for another library, package
                 // id, version or main entry (Ed25519 cannot tell which).
};

struct LibrarySignatureVerdict {
  LibrarySignatureCheck check = LibrarySignatureCheck::kNotSigned;
  // The kit's log message for it, naming the package id: "sign verify -
  // package id:<id>, verify lib file sign success" or "... failed, because
  // of <reason>".
  std::string message;
  // That <reason> alone; empty for kSigned.
  std::string reason;

  bool ok() const { return check == LibrarySignatureCheck::kSigned; }
};

// Checks the signature in `artifact`'s "signMD5" against `keys`, over the
// message for the library `file` (its SHA-256 from the same pass as its
// MD5; computed now, through its descriptor, when Open() was not asked for
// it) and `artifact`'s id, version and main entry. `keys` must not be
// empty: with no trusted key there is nothing to check against.
LibrarySignatureVerdict CheckLibrarySignature(const Artifact& artifact,
                                              const ZQEHashedFile& file,
                                              const ZQESignKeyRing& keys);

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQELIBRARYSIGNATURE_H_
