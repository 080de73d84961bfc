#include "tools/zqext/Signing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "ZQExtensionKit/bundle/internal/ZQEEntryLibraryPath.h"
#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/internal/ArtifactParser.h"
#include "ZQExtensionKit/config/internal/ZQEInstallationFiles.h"
#include "ZQExtensionKit/defines/internal/ZQEFileLimits.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"
#include "ZQExtensionKit/security/internal/ZQELibrarySignature.h"
#include "ZQExtensionKit/security/internal/ZQEOpenSsl.h"
#include "base/files/file_path.h"
#include "base/files/internal/scoped_file.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "base/version.h"
#include "tools/zqext/Files.h"

namespace zqext {

namespace {

using zqextensionkit::Artifact;
using zqextensionkit::ZQEHashedFile;

// A key file is small; anything longer is not a key file.
constexpr size_t kMaxKeyFileSize = 16 * 1024;

using zqextensionkit::openssl::ScopedBio;
using zqextensionkit::openssl::ScopedMdCtx;
using zqextensionkit::openssl::ScopedPkey;
using zqextensionkit::openssl::ScopedPkeyCtx;

// A string whose bytes are wiped when it goes: it holds a private key.
class SecretText {
 public:
  SecretText() = default;
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  ~SecretText() {
    if (!text_.empty())
      OPENSSL_cleanse(text_.data(), text_.size());
  }
  std::string* get() { return &text_; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

bool Fail(const std::string& message, std::string* error) {
  *error = message;
  return false;
}

// The text a memory BIO holds.
std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return size > 0 ? std::string(data, static_cast<size_t>(size))
                  : std::string();
}

// Refuses to prompt for a pass phrase: zqext reads unencrypted keys only.
int NoPassphrase(char*, int, int, void*) {
  return -1;
}

// The Ed25519 private key in the PEM file `path`.
ScopedPkey ReadPrivateKey(const std::string& path, std::string* error) {
  SecretText text;
  if (!ReadFile(path, kMaxKeyFileSize, text.get(), error))
    return nullptr;
  ScopedBio bio(BIO_new_mem_buf(text.text().data(),
                                static_cast<int>(text.text().size())));
  ScopedPkey key(
      bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, &NoPassphrase, nullptr)
          : nullptr);
  if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519) {
    *error = path +
             ": not an unencrypted Ed25519 private key in PEM (such as zqext "
             "keygen writes)";
    return nullptr;
  }
  return key;
}

// Creates `path` (it must not exist) with mode 0600 and writes `content`.
bool WritePrivateFile(const std::string& path,
                      const std::string& content,
                      std::string* error) {
  base::ScopedFD fd(open(path.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                         0600));
  if (!fd.is_valid())
    return Fail(path + ": " + std::strerror(errno), error);
  // 0600 whatever the umask: the owner must be able to read the key back.
  const int failure = WriteAllAndClose(fd.release(), 0600, content);
  if (failure == 0)
    return true;
  unlink(path.c_str());
  return Fail(path + ": " + std::strerror(failure), error);
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// --- top-level members of a JSON object ---

bool IsJsonSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// One member of the top-level object: [key_begin, key_end) is its name with
// its quotes, [value_begin, value_end) its value.
struct Member {
  std::string name;
  size_t key_begin = 0;
  size_t key_end = 0;
  size_t value_begin = 0;
  size_t value_end = 0;
};

size_t SkipSpace(const std::string& text, size_t at) {
  while (at < text.size() && IsJsonSpace(text[at]))
    ++at;
  return at;
}

// The end of the string token that starts at `at` (a '"').
size_t SkipString(const std::string& text, size_t at) {
  for (++at; at < text.size(); ++at) {
    if (text[at] == '\\')
      ++at;
    else if (text[at] == '"')
      return at + 1;
  }
  return text.size();
}

// The end of the value that starts at `at`, in text known to be valid JSON.
size_t SkipValue(const std::string& text, size_t at) {
  if (text[at] == '"')
    return SkipString(text, at);
  if (text[at] == '{' || text[at] == '[') {
    int depth = 0;
    while (at < text.size()) {
      const char c = text[at];
      if (c == '"') {
        at = SkipString(text, at);
        continue;
      }
      if (c == '{' || c == '[')
        ++depth;
      else if ((c == '}' || c == ']') && --depth == 0)
        return at + 1;
      ++at;
    }
    return at;
  }
  // A number or a literal: up to the next separator.
  while (at < text.size() && !IsJsonSpace(text[at]) && text[at] != ',' &&
         text[at] != '}' && text[at] != ']') {
    ++at;
  }
  return at;
}

// The members of the top-level object of `text`, which must be valid JSON
// with an object at the top; *close receives the offset of its '}'.
std::vector<Member> TopLevelMembers(const std::string& text, size_t* close) {
  std::vector<Member> members;
  size_t at = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
    at = 3;
  at = SkipSpace(text, at) + 1;  // Past '{'.
  while (true) {
    at = SkipSpace(text, at);
    if (text[at] == '}')
      break;
    Member member;
    member.key_begin = at;
    member.key_end = SkipString(text, at);
    std::unique_ptr<base::Value> name = base::JSONReader::Read(
        text.substr(member.key_begin, member.key_end - member.key_begin));
    if (name)
      name->GetAsString(&member.name);
    at = SkipSpace(text, member.key_end) + 1;  // Past ':'.
    member.value_begin = SkipSpace(text, at);
    member.value_end = SkipValue(text, member.value_begin);
    members.push_back(member);
    at = SkipSpace(text, member.value_end);
    if (text[at] == ',')
      ++at;
  }
  *close = at;
  return members;
}

std::string Quote(const std::string& text) {
  return "\"" + text + "\"";
}

// `text` with the top-level member `value.name` set (see
// SetTopLevelStrings).
std::string SetMember(const std::string& text, const TopLevelString& value) {
  size_t close = 0;
  const std::vector<Member> members = TopLevelMembers(text, &close);
  std::string result = text;
  bool found = false;
  // From the last to the first, so earlier offsets stay valid.
  for (auto it = members.rbegin(); it != members.rend(); ++it) {
    if (it->name != value.name)
      continue;
    found = true;
    result.replace(it->value_begin, it->value_end - it->value_begin,
                   Quote(value.value));
  }
  if (found)
    return result;
  if (members.empty()) {
    result.insert(close, Quote(value.name) + ": " + Quote(value.value));
    return result;
  }
  size_t anchor = members.size() - 1;
  for (size_t i = 0; i < members.size(); ++i) {
    if (members[i].name == value.after)
      anchor = i;
  }
  // Written like the anchor: the text between two members (", " or ",\n  ")
  // and between a name and its value (": ").
  const size_t before = anchor > 0 ? anchor - 1 : 0;
  const size_t after = anchor > 0 ? anchor : 1;
  std::string separator = ", ";
  if (after < members.size()) {
    separator =
        text.substr(members[before].value_end,
                    members[after].key_begin - members[before].value_end);
  }
  const Member& at = members[anchor];
  const std::string colon =
      text.substr(at.key_end, at.value_begin - at.key_end);
  result.insert(at.value_end,
                separator + Quote(value.name) + colon + Quote(value.value));
  return result;
}

// `text` as a JSON object, or null.
std::unique_ptr<base::DictionaryValue> ParseObject(const std::string& text) {
  return base::DictionaryValue::From(
      base::JSONReader::Read(text, base::JSON_PARSE_RFC));
}

}  // namespace

bool WriteKeyPair(const std::string& private_path,
                  const std::string& public_path,
                  std::string* error) {
  for (const std::string& path : {private_path, public_path}) {
    if (Exists(path))
      return Fail(path + ": exists; zqext keygen never overwrites a key",
                  error);
  }
  if (private_path == public_path)
    return Fail("give two different files for the private and the public key",
                error);
  ScopedPkeyCtx ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
  EVP_PKEY* generated = nullptr;
  if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 ||
      EVP_PKEY_keygen(ctx.get(), &generated) != 1) {
    return Fail("cannot generate an Ed25519 key", error);
  }
  ScopedPkey key(generated);
  // Secure memory where OpenSSL has it: the private key's text is wiped.
  ScopedBio private_bio(BIO_new(BIO_s_secmem()));
  ScopedBio public_bio(BIO_new(BIO_s_mem()));
  if (!private_bio || !public_bio ||
      PEM_write_bio_PrivateKey(private_bio.get(), key.get(), nullptr, nullptr,
                               0, nullptr, nullptr) != 1 ||
      PEM_write_bio_PUBKEY(public_bio.get(), key.get()) != 1) {
    return Fail("cannot write the key in PEM", error);
  }
  char* data = nullptr;
  const long size = BIO_get_mem_data(private_bio.get(), &data);
  SecretText private_pem;
  private_pem.get()->assign(data, size > 0 ? static_cast<size_t>(size) : 0);
  if (!WritePrivateFile(private_path, private_pem.text(), error))
    return false;
  if (!WriteFile(public_path, BioText(public_bio.get()), 0644, error)) {
    unlink(private_path.c_str());
    return false;
  }
  return true;
}

bool ReadPublicKey(const std::string& path,
                   std::string* pem,
                   std::string* error) {
  std::string text;
  if (!ReadFile(path, kMaxKeyFileSize, &text, error))
    return false;
  const std::string canonical =
      zqextensionkit::ZQESignKeyRing::CanonicalPublicKeyPem(text);
  if (canonical.empty()) {
    return Fail(path +
                    ": not an Ed25519 public key in PEM (such as zqext keygen "
                    "writes)",
                error);
  }
  *pem = canonical;
  return true;
}

bool SetTopLevelStrings(const std::string& json,
                        const std::vector<TopLevelString>& values,
                        std::string* result) {
  if (!ParseObject(json))
    return false;
  std::string text = json;
  for (const TopLevelString& value : values)
    text = SetMember(text, value);
  *result = std::move(text);
  return true;
}

bool SignPackage(const std::string& private_key_path,
                 const std::string& package_dir,
                 SignedPackage* signed_package,
                 std::string* error) {
  const ScopedPkey key = ReadPrivateKey(private_key_path, error);
  if (!key)
    return false;
  const base::FilePath root(package_dir);
  const std::string manifest =
      root.Append(zqextensionkit::kManifestFileName).value();
  std::string text;
  if (!ReadFile(manifest, zqextensionkit::kMaxConfigurationFileSize, &text,
                error)) {
    return false;
  }
  std::unique_ptr<base::DictionaryValue> dict = ParseObject(text);
  Artifact* parsed = nullptr;
  if (!dict || !zqextensionkit::ArtifactParser::ParseArtifact(root, dict.get(),
                                                              &parsed)) {
    return Fail(manifest + ": not a JSON object (zqext doctor says where)",
                error);
  }
  const std::unique_ptr<Artifact> artifact(parsed);
  const std::string entry = artifact->GetBinFilePath();
  if (entry.empty())
    return Fail(manifest + ": no \"mainEntry\": nothing to sign", error);
  base::FilePath library;
  if (!zqextensionkit::GetEntryLibraryPath(root, entry, &library)) {
    return Fail(manifest + ": \"mainEntry\" " + entry +
                    (zqextensionkit::IsEntryInsidePackage(entry)
                         ? " is missing"
                         : " is not a path inside the package"),
                error);
  }
  const ZQEHashedFile file = ZQEHashedFile::Open(
      library.value(), ZQEHashedFile::Digests::kMd5AndSha256);
  if (!file.ok())
    return Fail(library.value() + ": cannot be read as a regular file", error);
  std::string message;
  if (!zqextensionkit::LibrarySignatureMessage(file.raw_sha256(), *artifact,
                                               &message)) {
    return Fail(manifest +
                    ": the package's \"id\", \"version\" or \"mainEntry\" "
                    "holds a line break; it cannot be signed",
                error);
  }
  ScopedMdCtx ctx(EVP_MD_CTX_new());
  unsigned char signature[zqextensionkit::kLibrarySignatureSize];
  size_t signature_size = sizeof(signature);
  if (!ctx ||
      EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) !=
          1 ||
      EVP_DigestSign(ctx.get(), signature, &signature_size,
                     reinterpret_cast<const unsigned char*>(message.data()),
                     message.size()) != 1 ||
      signature_size != sizeof(signature)) {
    return Fail(private_key_path + ": signing failed", error);
  }
  const std::string md5 = file.md5_text();
  const std::string sign = zqextensionkit::Base64Encode(
      std::string(reinterpret_cast<const char*>(signature), signature_size));
  std::string rewritten;
  if (!SetTopLevelStrings(
          text,
          {{"libFileMD5", md5, "mainEntry"}, {"signMD5", sign, "libFileMD5"}},
          &rewritten)) {
    return Fail(manifest + ": not a JSON object", error);
  }
  // What the kit will read from the new text: the same package, now with
  // this digest and signature.
  std::unique_ptr<base::DictionaryValue> check = ParseObject(rewritten);
  Artifact* reparsed = nullptr;
  if (!check || !zqextensionkit::ArtifactParser::ParseArtifact(
                    root, check.get(), &reparsed)) {
    return Fail(manifest + ": cannot be rewritten", error);
  }
  const std::unique_ptr<Artifact> written(reparsed);
  if (written->GetLibFileMD5() != md5 || written->GetSignMD5() != sign ||
      written->GetID() != artifact->GetID() ||
      written->GetVersion() != artifact->GetVersion() ||
      written->GetBinFilePath() != entry) {
    return Fail(manifest + ": cannot be rewritten", error);
  }
  struct stat info;
  const unsigned mode =
      stat(manifest.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
  if (!WriteFile(manifest, rewritten, mode, error))
    return false;
  signed_package->manifest = manifest;
  signed_package->id = artifact->GetID();
  signed_package->version = artifact->GetVersion().GetString();
  signed_package->main_entry = entry;
  signed_package->lib_file_md5 = md5;
  signed_package->sha256 = zqextensionkit::Md5TextOf(file.raw_sha256());
  return true;
}

}  // namespace zqext
