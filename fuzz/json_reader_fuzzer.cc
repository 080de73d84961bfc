// Feeds arbitrary bytes to the JSON reader. Any input must either parse into
// a tree whose copy compares equal, or fail with a message in the documented
// "Line: %d, column: %d, %s" form; nothing may crash, leak or recurse deeply.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <string>

#include "base/json/json_reader.h"
#include "base/values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string json(reinterpret_cast<const char*>(data), size);
  int code = 0;
  std::string message;
  scoped_ptr<base::Value> root = base::JSONReader::ReadAndReturnError(
      json, base::JSON_PARSE_RFC, &code, &message);
  if (root) {
    if (code != base::JSONReader::JSON_NO_ERROR || !message.empty())
      std::abort();
    if (!root->Equals(root->DeepCopy().get()))
      std::abort();
    // Valid JSON holds no raw NUL byte (a string must escape it), so a text
    // with one must have been refused, not cut short.
    if (json.find('\0') != std::string::npos)
      std::abort();
  } else {
    if (code == base::JSONReader::JSON_NO_ERROR ||
        message.compare(0, 6, "Line: ") != 0) {
      std::abort();
    }
  }
  return 0;
}
