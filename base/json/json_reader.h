// JSONReader: turns JSON text into a base::Value tree.
//
// The grammar is strict RFC 8259: any value may be the root; one UTF-8
// byte-order mark at the very start is skipped; comments, trailing commas,
// unquoted keys, invalid UTF-8 and lone surrogate escapes are errors. A number
// becomes an integer when it fits an int and a double otherwise; a number too
// large for a double is an error. When a key repeats in one object the last
// value wins. Arrays and objects may nest 200 deep; deeper input is refused
// with "Too much nesting." without recursing, however deep it is.
//
// Ownership: the returned tree belongs to the caller.
// Failure: null; ReadAndReturnError() also reports the cause as a code and as
// "Line: %d, column: %d, %s": the 1-based line and byte column where reading
// stopped (the byte that broke the grammar, or the end of a malformed token;
// for "Too much nesting." the bracket that opened level 201), then the cause
// text, e.g. "Syntax error.". Positions count from after a byte-order mark.
// Thread-safety: the static functions may be called from any thread.
//
//   int code = 0;
//   std::string message;
//   scoped_ptr<base::Value> root = base::JSONReader::ReadAndReturnError(
//       text, base::JSON_PARSE_RFC, &code, &message);
//   if (!root) log(message);
#ifndef BASE_JSON_JSON_READER_H_
#define BASE_JSON_JSON_READER_H_

#include <string>

#include "base/base_export.h"
#include "base/memory/scoped_ptr.h"

namespace base {
inline namespace zqe {

class Value;

// Options of JSONReader::Read.
enum JSONParserOptions {
  // Strict RFC 8259 parsing, the only mode this reader offers. Other option
  // bits are ignored: the grammar stays strict.
  JSON_PARSE_RFC = 0,
};

// Parses JSON text into a base::Value tree (strict RFC 8259; see the top of
// this file).
class BASE_EXPORT JSONReader {
 public:
  // Nesting of arrays and objects deeper than this is refused.
  static const int kStackMaxDepth = 200;

  // What ReadAndReturnError reports in `error_code_out`.
  enum JsonParseError {
    JSON_NO_ERROR = 0,
    JSON_INVALID_ESCAPE,
    JSON_SYNTAX_ERROR,
    JSON_UNEXPECTED_TOKEN,
    JSON_TRAILING_COMMA,
    JSON_TOO_MUCH_NESTING,
    JSON_UNEXPECTED_DATA_AFTER_ROOT,
    JSON_UNSUPPORTED_ENCODING,
    JSON_UNQUOTED_DICTIONARY_KEY,
    JSON_PARSE_ERROR_COUNT
  };

  // The cause texts, as they appear at the end of an error message.
  static const char kInvalidEscape[];    // "Invalid escape sequence."
  static const char kSyntaxError[];      // "Syntax error."
  static const char kUnexpectedToken[];  // "Unexpected token."
  static const char kTrailingComma[];    // "Trailing comma not allowed."
  static const char kTooMuchNesting[];   // "Too much nesting."
  static const char
      kUnexpectedDataAfterRoot[];  // "Unexpected data after root element."
  static const char
      kUnsupportedEncoding[];  // "Unsupported encoding. JSON must be UTF-8."
  static const char
      kUnquotedDictionaryKey[];  // "Dictionary keys must be quoted."

  JSONReader() = delete;

  // The tree of |json|, or null when it is not valid JSON.
  static scoped_ptr<Value> Read(const std::string& json);
  static scoped_ptr<Value> Read(const std::string& json, int options);

  // Like Read(). On failure it stores the cause in |error_code_out| and the
  // message "Line: %d, column: %d, %s" in |error_msg_out| and the position in
  // |error_line_out| / |error_column_out|; each of them may be null. On
  // success they are set to JSON_NO_ERROR, "", 0 and 0.
  static scoped_ptr<Value> ReadAndReturnError(const std::string& json,
                                              int options,
                                              int* error_code_out,
                                              std::string* error_msg_out,
                                              int* error_line_out = nullptr,
                                              int* error_column_out = nullptr);

  // The cause text of |error_code|; "" for JSON_NO_ERROR.
  static std::string ErrorCodeToString(JsonParseError error_code);
};

}  // namespace zqe
}  // namespace base

#endif  // BASE_JSON_JSON_READER_H_
