// Where zqext takes the 32-byte AES key of an encrypted config.json from: a
// key file named with --key-file, or else the ZQEXT_KEY environment
// variable. Never from the command line itself, where other users of the
// machine can read it.
//
// Thread-safety: reads the environment; call it from one thread.

#ifndef TOOLS_ZQEXT_KEYFILE_H_
#define TOOLS_ZQEXT_KEYFILE_H_

#include <string>

namespace zqext {

inline constexpr char kKeyEnvironmentVariable[] = "ZQEXT_KEY";
inline constexpr size_t kKeySize = 32;

enum class KeyStatus {
  kFound,     // `*key` holds 32 bytes.
  kNotGiven,  // No key file and no ZQEXT_KEY.
  kInvalid,   // Unreadable file or wrong size; `*error` says which, in one
              // line naming the file or the variable.
};

// Reads the key from `key_file` when it is not empty, else from ZQEXT_KEY.
// The file holds the key's bytes; one line break at its end (as editors and
// `echo` write) is not part of the key.
KeyStatus ReadKey(const std::string& key_file,
                  std::string* key,
                  std::string* error);

}  // namespace zqext

#endif  // TOOLS_ZQEXT_KEYFILE_H_
