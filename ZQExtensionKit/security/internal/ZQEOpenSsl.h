// Owning handles for the OpenSSL objects the kit and its tools use: each
// frees its object with OpenSSL's own function when it goes, so that no
// early return leaks one. Move-only, like std::unique_ptr, which they are.
// A handle is used by one thread at a time, as the object it holds.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEOPENSSL_H_
#define ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEOPENSSL_H_

#include <openssl/bio.h>
#include <openssl/evp.h>

#include <memory>

namespace zqextensionkit {
namespace openssl {

struct Free {
  void operator()(BIO* bio) const { BIO_free(bio); }
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

using ScopedBio = std::unique_ptr<BIO, Free>;
using ScopedPkey = std::unique_ptr<EVP_PKEY, Free>;
using ScopedPkeyCtx = std::unique_ptr<EVP_PKEY_CTX, Free>;
using ScopedMdCtx = std::unique_ptr<EVP_MD_CTX, Free>;
using ScopedCipherCtx = std::unique_ptr<EVP_CIPHER_CTX, Free>;

}  // namespace openssl
}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEOPENSSL_H_
