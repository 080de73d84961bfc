// Signing: zqext's Ed25519 key pairs and package signatures, as the kit
// checks them (see ZQExtensionKit/security/internal/ZQELibrarySignature.h
// for the signed message).
//
// Private keys are PEM (PKCS#8, unencrypted), public keys PEM
// (SubjectPublicKeyInfo): what `openssl genpkey -algorithm ed25519` and
// `openssl pkey -pubout` write, and what these functions write. A private
// key is never printed; its file is created readable and writable by its
// owner only, and the memory that held it is wiped.
//
// Errors are one line in *error, naming the file they are about.
//
// Thread-safety: each call stands alone.

#ifndef TOOLS_ZQEXT_SIGNING_H_
#define TOOLS_ZQEXT_SIGNING_H_

#include <string>
#include <utility>
#include <vector>

namespace zqext {

// Writes a new key pair: the private key to `private_path`, created with
// mode 0600 (whatever the umask), the public key to `public_path` (0644
// less the umask). Neither file may exist: a key is never overwritten.
bool WriteKeyPair(const std::string& private_path,
                  const std::string& public_path,
                  std::string* error);

// Reads the Ed25519 public key in PEM from the file `path` into *pem (its
// canonical PEM text).
bool ReadPublicKey(const std::string& path,
                   std::string* pem,
                   std::string* error);

// What SignPackage() signed.
struct SignedPackage {
  std::string manifest;  // The manifest file written.
  std::string id;
  std::string version;     // As the kit reads it.
  std::string main_entry;  // As written.
  std::string lib_file_md5;
  std::string sha256;  // Hex.
};

// Signs the package in `package_dir` with the private key in the file
// `private_key_path`: hashes its entry library (the manifest's
// "mainEntry", inside the package) and writes its MD5 to "libFileMD5" and
// the Base64 signature of the message the kit checks to "signMD5" in the
// package's manifest.json. Everything else in the manifest stays as it was,
// byte for byte (see SetTopLevelStrings). False when the key is not an
// Ed25519 private key, the manifest is missing or not a JSON object, the
// package names no entry library or one outside the package or missing,
// the library cannot be read, or the id, version or main entry holds a line
// break.
bool SignPackage(const std::string& private_key_path,
                 const std::string& package_dir,
                 SignedPackage* signed_package,
                 std::string* error);

// The JSON text `json` (an object at the top level) with its top-level
// members named in `values` set to the given strings: every member of that
// name gets the new value in place of its old one (of whatever type); a
// member that is absent is inserted after the member named by its
// `after` (or, when that is absent too, after the last member), written
// like its neighbours (the same separator and indentation). Nothing else of
// the text changes. Values are written as JSON strings; names and values
// must need no escaping. False when `json` is not JSON with an object at
// the top level.
struct TopLevelString {
  std::string name;
  std::string value;
  std::string after;
};
bool SetTopLevelStrings(const std::string& json,
                        const std::vector<TopLevelString>& values,
                        std::string* result);

}  // namespace zqext

#endif  // TOOLS_ZQEXT_SIGNING_H_
