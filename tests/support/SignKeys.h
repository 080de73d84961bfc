// Test support: Ed25519 key pairs and signatures made with OpenSSL directly,
// beside the kit's own code, and the signed message of a library written
// out by hand from the format the README documents, so that tests check the
// kit against the documentation rather than against itself.
//
// Header-only, free of GoogleTest (benchmarks use it too). Each function
// stands alone; any thread may call it.

#ifndef TESTS_SUPPORT_SIGNKEYS_H_
#define TESTS_SUPPORT_SIGNKEYS_H_

#include <memory>
#include <string>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace zqextensionkit {
namespace test {

struct SignKeyPair {
  std::string private_pem;
  std::string public_pem;
};

namespace sign_keys_detail {

inline std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return size > 0 ? std::string(data, static_cast<size_t>(size))
                  : std::string();
}

// `key`'s public half in PEM, and, when `private_pem` is not null, its
// private key in PKCS#8 PEM.
inline std::string PublicPem(EVP_PKEY* key, std::string* private_pem) {
  std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()),
                                                &BIO_free);
  PEM_write_bio_PUBKEY(out.get(), key);
  const std::string public_pem = BioText(out.get());
  if (private_pem) {
    std::unique_ptr<BIO, decltype(&BIO_free)> priv(BIO_new(BIO_s_mem()),
                                                   &BIO_free);
    PEM_write_bio_PrivateKey(priv.get(), key, nullptr, nullptr, 0, nullptr,
                             nullptr);
    *private_pem = BioText(priv.get());
  }
  return public_pem;
}

}  // namespace sign_keys_detail

// A fresh Ed25519 key pair.
inline SignKeyPair NewEd25519KeyPair() {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), &EVP_PKEY_free);
  SignKeyPair pair;
  pair.public_pem = sign_keys_detail::PublicPem(key.get(), &pair.private_pem);
  return pair;
}

// The public key of a fresh key of another kind: "RSA" (1024 bits), "EC"
// (P-256) or "X25519".
inline std::string NewOtherPublicKeyPem(const std::string& kind,
                                        std::string* private_pem = nullptr) {
  EVP_PKEY* made =
      kind == "RSA"  ? EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t{1024})
      : kind == "EC" ? EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256")
                     : EVP_PKEY_Q_keygen(nullptr, nullptr, kind.c_str());
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(made, &EVP_PKEY_free);
  return sign_keys_detail::PublicPem(key.get(), private_pem);
}

// The Base64 (one line, padded) of the Ed25519 signature over `message` by
// the private key `private_pem`; "" on failure.
inline std::string SignBase64(const std::string& private_pem,
                              const std::string& message) {
  std::unique_ptr<BIO, decltype(&BIO_free)> in(
      BIO_new_mem_buf(private_pem.data(), static_cast<int>(private_pem.size())),
      &BIO_free);
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr),
      &EVP_PKEY_free);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(),
                                                              &EVP_MD_CTX_free);
  unsigned char signature[64];
  size_t size = sizeof(signature);
  if (!key ||
      EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) !=
          1 ||
      EVP_DigestSign(ctx.get(), signature, &size,
                     reinterpret_cast<const unsigned char*>(message.data()),
                     message.size()) != 1) {
    return std::string();
  }
  unsigned char text[4 * sizeof(signature) / 3 + 4];
  const int length = EVP_EncodeBlock(text, signature, static_cast<int>(size));
  return std::string(reinterpret_cast<char*>(text), length);
}

// The SHA-256 of `bytes` in lower-case hex.
inline std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(),
             nullptr);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kDigits[digest[i] >> 4]);
    hex.push_back(kDigits[digest[i] & 0x0F]);
  }
  return hex;
}

// The signed message of format 1, as the README writes it out.
inline std::string LibraryMessage(const std::string& sha256_hex,
                                  const std::string& id,
                                  const std::string& version,
                                  const std::string& main_entry) {
  return "ZQExtensionKit library signature 1\n"
         "sha256=" +
         sha256_hex + "\nid=" + id + "\nversion=" + version +
         "\nmainEntry=" + main_entry + "\n";
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_SIGNKEYS_H_
