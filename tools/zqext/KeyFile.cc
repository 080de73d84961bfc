#include "tools/zqext/KeyFile.h"

#include <cstdlib>

#include "base/files/file_path.h"
#include "base/files/file_util.h"

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
  // A key file is small; anything longer than this is not a key file.
  constexpr size_t kMaxKeyFileSize = 4096;
  if (!base::ReadFileToStringWithMaxSize(base::FilePath(key_file), key,
                                         kMaxKeyFileSize)) {
    *error = key_file +
             ": cannot read the key file (missing, unreadable, not a regular "
             "file or larger than 4096 bytes)";
    return KeyStatus::kInvalid;
  }
  if (!key->empty() && key->back() == '\n')
    key->pop_back();
  if (!key->empty() && key->back() == '\r')
    key->pop_back();
  return CheckSize(key_file, *key, error);
}

}  // namespace zqext
