// JSONWriter: turns a base::Value tree into JSON text.
//
// Object members come out in key order (the order DictionaryValue keeps).
// Strings are escaped as RFC 8259 asks; a byte sequence that is not valid
// UTF-8 is written as U+FFFD, so the output is always valid JSON in UTF-8.
// Integers are written as integers, doubles in the shortest text that reads
// back as the same double.
//
// Failure: false (and |json| left empty) for a tree holding a binary value,
// which JSON cannot express. (A double value is always finite: Value stores
// infinities and NaN as 0.)
// Thread-safety: the static functions may be called from any thread.
//
//   std::string json;
//   base::JSONWriter::WriteWithOptions(dict,
//   base::JSONWriter::OPTIONS_PRETTY_PRINT,
//                                      &json);
#ifndef BASE_JSON_JSON_WRITER_H_
#define BASE_JSON_JSON_WRITER_H_

#include <string>

#include "base/base_export.h"

namespace base {
inline namespace zqe {

class Value;

// Writes JSON text (see the top of this file).
class BASE_EXPORT JSONWriter {
 public:
  // Options of WriteWithOptions, combined with |.
  enum Options {
    // Members and elements one a line, indented by two spaces per level,
    // and a line break at the end.
    OPTIONS_PRETTY_PRINT = 1 << 2,
  };

  JSONWriter() = delete;

  // Writes |node| compactly into |json|.
  static bool Write(const Value& node, std::string* json);
  static bool WriteWithOptions(const Value& node,
                               int options,
                               std::string* json);
};

}  // namespace zqe
}  // namespace base

#endif  // BASE_JSON_JSON_WRITER_H_
