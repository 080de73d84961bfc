#include "base/json/json_reader.h"

#include <stddef.h>
#include <stdint.h>

#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/values.h"

namespace base {
inline namespace zqe {

const char JSONReader::kInvalidEscape[] = "Invalid escape sequence.";
const char JSONReader::kSyntaxError[] = "Syntax error.";
const char JSONReader::kUnexpectedToken[] = "Unexpected token.";
const char JSONReader::kTrailingComma[] = "Trailing comma not allowed.";
const char JSONReader::kTooMuchNesting[] = "Too much nesting.";
const char JSONReader::kUnexpectedDataAfterRoot[] =
    "Unexpected data after root element.";
const char JSONReader::kUnsupportedEncoding[] =
    "Unsupported encoding. JSON must be UTF-8.";
const char JSONReader::kUnquotedDictionaryKey[] =
    "Dictionary keys must be quoted.";

namespace {

const char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
const size_t kUtf8ByteOrderMarkLength = 3;

bool IsJsonWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Whether the last non-white-space byte before |offset| is a comma.
bool FollowsComma(const std::string& text, size_t offset) {
  while (offset > 0 && IsJsonWhitespace(text[offset - 1]))
    --offset;
  return offset > 0 && text[offset - 1] == ',';
}

// The offset of the bracket that opens nesting level |level| (1-based). Only
// called for a prefix that the parser has accepted, so a plain scan that skips
// strings is exact.
size_t FindOpenerOfLevel(const std::string& text, size_t begin, size_t level) {
  size_t depth = 0;
  bool in_string = false;
  for (size_t i = begin; i < text.size(); ++i) {
    char c = text[i];
    if (in_string) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        in_string = false;
      continue;
    }
    switch (c) {
      case '"':
        in_string = true;
        break;
      case '[':
      case '{':
        if (++depth == level)
          return i;
        break;
      case ']':
      case '}':
        --depth;
        break;
      default:
        break;
    }
  }
  return text.size();
}

// Maps one parser diagnosis to the cause it reports to users. |offset| is the
// offset of the byte where the parser stopped.
JSONReader::JsonParseError ClassifyParseError(
    const nlohmann::detail::exception& ex,
    const std::string& text,
    size_t offset) {
  // A number that does not fit a double.
  if (dynamic_cast<const nlohmann::detail::out_of_range*>(&ex))
    return JSONReader::JSON_SYNTAX_ERROR;

  const char* what = ex.what();
  // The root value was complete; anything that follows it is refused.
  if (std::strstr(what, "; expected end of input"))
    return JSONReader::JSON_UNEXPECTED_DATA_AFTER_ROOT;
  if (std::strstr(what, "ill-formed UTF-8") || std::strstr(what, "invalid BOM"))
    return JSONReader::JSON_UNSUPPORTED_ENCODING;
  if (std::strstr(what, "surrogate") ||
      std::strstr(what, "'\\u' must be followed") ||
      std::strstr(what, "forbidden character after backslash")) {
    return JSONReader::JSON_INVALID_ESCAPE;
  }
  const bool at_closer =
      offset < text.size() && (text[offset] == ']' || text[offset] == '}');
  // Where a key must follow, anything but a sound string is an unquoted key
  // (or, before "}", a trailing comma).
  if (std::strstr(what, "while parsing object key") &&
      !std::strstr(what, "invalid string: ")) {
    return at_closer && FollowsComma(text, offset)
               ? JSONReader::JSON_TRAILING_COMMA
               : JSONReader::JSON_UNQUOTED_DICTIONARY_KEY;
  }
  // Other faults inside one token: bad literals, numbers, control characters
  // and unterminated strings.
  if (std::strstr(what, "; last read: "))
    return JSONReader::JSON_SYNTAX_ERROR;

  if (std::strstr(what, "while parsing value")) {
    return at_closer && FollowsComma(text, offset)
               ? JSONReader::JSON_TRAILING_COMMA
               : JSONReader::JSON_UNEXPECTED_TOKEN;
  }
  // A missing ",", ":", "]" or "}".
  return JSONReader::JSON_SYNTAX_ERROR;
}

}  // namespace

namespace internal {

// Receives the parser's events and builds the Value tree directly. The parser
// itself keeps its state in a heap vector, and this builder keeps the open
// containers in another, so no input depth reaches the call stack.
class JSONValueBuilder {
 public:
  using json = nlohmann::json;

  JSONValueBuilder(const std::string& text, size_t content_begin)
      : text_(text), content_begin_(content_begin) {
    stack_.reserve(16);
  }

  scoped_ptr<Value> TakeRoot() { return std::move(root_); }
  // Records a fault found after the parser accepted the text.
  void FailAt(JSONReader::JsonParseError code, size_t offset) {
    Fail(code, offset);
  }
  JSONReader::JsonParseError error_code() const { return error_code_; }
  size_t error_offset() const { return error_offset_; }

  // Events of the parser.
  bool null() { return Add(Value::CreateNullValue()); }
  bool boolean(bool value) {
    return Add(scoped_ptr<Value>(new FundamentalValue(value)));
  }
  bool number_integer(json::number_integer_t value) {
    if (value >= INT_MIN && value <= INT_MAX)
      return Add(
          scoped_ptr<Value>(new FundamentalValue(static_cast<int>(value))));
    return Add(
        scoped_ptr<Value>(new FundamentalValue(static_cast<double>(value))));
  }
  bool number_unsigned(json::number_unsigned_t value) {
    if (value <= static_cast<json::number_unsigned_t>(INT_MAX))
      return Add(
          scoped_ptr<Value>(new FundamentalValue(static_cast<int>(value))));
    return Add(
        scoped_ptr<Value>(new FundamentalValue(static_cast<double>(value))));
  }
  bool number_float(json::number_float_t value, const json::string_t&) {
    return Add(scoped_ptr<Value>(new FundamentalValue(value)));
  }
  // Strings and keys are copied, not moved: the parser reuses its token
  // buffer, and keeping that buffer's capacity is cheaper than regrowing it.
  bool string(json::string_t& value) {
    return Add(scoped_ptr<Value>(new StringValue(value)));
  }
  bool binary(json::binary_t&) {
    // Only binary formats produce this; JSON text never does.
    return Fail(JSONReader::JSON_SYNTAX_ERROR, text_.size());
  }
  bool start_object(std::size_t) {
    return OpenContainer(scoped_ptr<Value>(new DictionaryValue));
  }
  bool key(json::string_t& key) {
    // The entry is made now and filled by the value that follows. A repeated
    // key finds its earlier entry, whose value is then replaced: the last
    // one wins.
    Value* parent = stack_.back();
    slot_ = &static_cast<DictionaryValue*>(parent)->dictionary_[key];
    return true;
  }
  bool end_object() {
    stack_.pop_back();
    return true;
  }
  bool start_array(std::size_t) {
    return OpenContainer(scoped_ptr<Value>(new ListValue));
  }
  bool end_array() {
    stack_.pop_back();
    return true;
  }
  bool parse_error(std::size_t position,
                   const std::string&,
                   const nlohmann::detail::exception& ex) {
    // |position| counts the bytes read, the offending one included.
    size_t offset = position > 0 ? position - 1 : 0;
    if (offset > text_.size())
      offset = text_.size();
    return Fail(ClassifyParseError(ex, text_, offset), offset);
  }

 private:
  bool OpenContainer(scoped_ptr<Value> container) {
    if (stack_.size() >= static_cast<size_t>(JSONReader::kStackMaxDepth)) {
      return Fail(JSONReader::JSON_TOO_MUCH_NESTING,
                  FindOpenerOfLevel(text_, content_begin_,
                                    JSONReader::kStackMaxDepth + 1));
    }
    Value* raw = container.get();
    if (!Add(std::move(container)))
      return false;
    stack_.push_back(raw);
    return true;
  }

  bool Add(scoped_ptr<Value> value) {
    if (stack_.empty()) {
      root_ = std::move(value);
      return true;
    }
    Value* parent = stack_.back();
    if (parent->IsType(Value::TYPE_LIST)) {
      ListValue::Storage& list = static_cast<ListValue*>(parent)->list_;
      // Most arrays are short: one allocation of four slots instead of
      // growing through one, two and four.
      if (list.empty())
        list.reserve(4);
      list.push_back(std::move(value));
    } else {
      *slot_ = std::move(value);
    }
    return true;
  }

  bool Fail(JSONReader::JsonParseError code, size_t offset) {
    error_code_ = code;
    error_offset_ = offset;
    return false;
  }

  const std::string& text_;
  const size_t content_begin_;
  scoped_ptr<Value> root_;
  // The open containers, innermost last. Owned by |root_|.
  std::vector<Value*> stack_;
  // The entry of the current dictionary that the next value fills.
  scoped_ptr<Value>* slot_ = nullptr;
  JSONReader::JsonParseError error_code_ = JSONReader::JSON_NO_ERROR;
  size_t error_offset_ = 0;
};

}  // namespace internal

// static
scoped_ptr<Value> JSONReader::Read(const std::string& json) {
  return ReadAndReturnError(json, JSON_PARSE_RFC, nullptr, nullptr);
}

// static
scoped_ptr<Value> JSONReader::Read(const std::string& json, int options) {
  return ReadAndReturnError(json, options, nullptr, nullptr);
}

// static
scoped_ptr<Value> JSONReader::ReadAndReturnError(const std::string& json,
                                                 int /*options*/,
                                                 int* error_code_out,
                                                 std::string* error_msg_out,
                                                 int* error_line_out,
                                                 int* error_column_out) {
  // The parser skips a leading byte-order mark itself; positions are
  // reported relative to the text after it.
  const size_t content_begin =
      json.compare(0, kUtf8ByteOrderMarkLength, kUtf8ByteOrderMark) == 0
          ? kUtf8ByteOrderMarkLength
          : 0;

  internal::JSONValueBuilder builder(json, content_begin);
  bool ok = false;
  try {
    ok = nlohmann::json::sax_parse(json.data(), json.data() + json.size(),
                                   &builder,
                                   nlohmann::json::input_format_t::json,
                                   /*strict=*/true, /*ignore_comments=*/false);
  } catch (const nlohmann::json::exception&) {
    ok = false;
  }

  // The parser takes a NUL byte for the end of the text. JSON allows none
  // outside strings (inside one it is a refused control character), so a NUL
  // after a complete root is data after the root, not the end of it.
  if (ok) {
    const size_t nul = json.find('\0', content_begin);
    if (nul != std::string::npos) {
      ok = false;
      builder.FailAt(JSON_UNEXPECTED_DATA_AFTER_ROOT, nul);
    }
  }

  if (ok) {
    if (error_code_out)
      *error_code_out = JSON_NO_ERROR;
    if (error_msg_out)
      error_msg_out->clear();
    if (error_line_out)
      *error_line_out = 0;
    if (error_column_out)
      *error_column_out = 0;
    return builder.TakeRoot();
  }

  JsonParseError code = builder.error_code();
  if (code == JSON_NO_ERROR)
    code = JSON_SYNTAX_ERROR;
  size_t offset = builder.error_offset();
  if (offset < content_begin)
    offset = content_begin;

  // 1-based line and byte column of |offset|.
  int line = 1;
  size_t line_begin = content_begin;
  for (size_t i = content_begin; i < offset; ++i) {
    if (json[i] == '\n') {
      ++line;
      line_begin = i + 1;
    }
  }
  const size_t column_index = offset - line_begin + 1;
  const int column = column_index > static_cast<size_t>(INT_MAX)
                         ? INT_MAX
                         : static_cast<int>(column_index);

  if (error_code_out)
    *error_code_out = code;
  if (error_msg_out) {
    *error_msg_out = "Line: " + std::to_string(line) +
                     ", column: " + std::to_string(column) + ", " +
                     ErrorCodeToString(code);
  }
  if (error_line_out)
    *error_line_out = line;
  if (error_column_out)
    *error_column_out = column;
  return nullptr;
}

// static
std::string JSONReader::ErrorCodeToString(JsonParseError error_code) {
  switch (error_code) {
    case JSON_NO_ERROR:
      return std::string();
    case JSON_INVALID_ESCAPE:
      return kInvalidEscape;
    case JSON_SYNTAX_ERROR:
      return kSyntaxError;
    case JSON_UNEXPECTED_TOKEN:
      return kUnexpectedToken;
    case JSON_TRAILING_COMMA:
      return kTrailingComma;
    case JSON_TOO_MUCH_NESTING:
      return kTooMuchNesting;
    case JSON_UNEXPECTED_DATA_AFTER_ROOT:
      return kUnexpectedDataAfterRoot;
    case JSON_UNSUPPORTED_ENCODING:
      return kUnsupportedEncoding;
    case JSON_UNQUOTED_DICTIONARY_KEY:
      return kUnquotedDictionaryKey;
    case JSON_PARSE_ERROR_COUNT:
      break;
  }
  return std::string();
}

}  // namespace zqe
}  // namespace base
