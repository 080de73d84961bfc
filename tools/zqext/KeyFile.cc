#include "tools/zqext/KeyFile.h"

#include <cstdlib>

#include "tools/zqext/Files.h"

namespace zqext {

namespace {

KeyStatus CheckSize(const std::string& source,
                    const std::string& key,
                    std::string* error) {
  if (key.size() == kKeySize)
    return KeyStatus::kFound;
  *error = source + ": the key is " + std::to_string(key.size()) +
           " bytes long; it must be exactly " + std::to_string(kKeySize);
  return KeyStatus::kInvalid;
}

}  // namespace

KeyStatus ReadKey(const std::string& key_file,
                  std::string* key,
                  std::string* error) {
  if (key_file.empty()) {
    const char* value = std::getenv(kKeyEnvironmentVariable);
    if (value == nullptr)
      return KeyStatus::kNotGiven;
    *key = value;
    return CheckSize(kKeyEnvironmentVariable, *key, error);
  }
  // A key file is small; anything longer is not a key file.
  constexpr size_t kMaxKeyFileSize = 4096;
  if (!ReadFile(key_file, kMaxKeyFileSize, key, error))
    return KeyStatus::kInvalid;
  if (!key->empty() && key->back() == '\n')
    key->pop_back();
  if (!key->empty() && key->back() == '\r')
    key->pop_back();
  return CheckSize(key_file, *key, error);
}

}  // namespace zqext
