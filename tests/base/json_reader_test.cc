#include "base/json/json_reader.h"

#include <string>

#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// The error message of |json|, or "<parsed>" when it parses.
std::string ErrorOf(const std::string& json) {
  int code = -1;
  std::string message;
  scoped_ptr<Value> root =
      JSONReader::ReadAndReturnError(json, JSON_PARSE_RFC, &code, &message);
  if (root) {
    EXPECT_EQ(JSONReader::JSON_NO_ERROR, code);
    EXPECT_EQ("", message);
    return "<parsed>";
  }
  EXPECT_NE(JSONReader::JSON_NO_ERROR, code);
  return message;
}

std::string Nested(int depth, const std::string& inner = "") {
  return std::string(depth, '[') + inner + std::string(depth, ']');
}

TEST(JSONReaderTest, ReadsEveryKindOfValue) {
  scoped_ptr<Value> root = JSONReader::Read(
      R"({"s":"a\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00","t":true,"f":false,)"
      R"("n":null,"i":-12,"d":0.5,"l":[1,"x",{}],"o":{"k":"v"}})");
  ASSERT_TRUE(root);
  const DictionaryValue* dict = nullptr;
  ASSERT_TRUE(root->GetAsDictionary(&dict));
  std::string s;
  EXPECT_TRUE(dict->GetString("s", &s));
  EXPECT_EQ("a\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x98\x80", s);
  bool b = false;
  EXPECT_TRUE(dict->GetBoolean("t", &b) && b);
  const Value* null_value = nullptr;
  EXPECT_TRUE(dict->Get("n", &null_value));
  EXPECT_TRUE(null_value->IsType(Value::TYPE_NULL));
  int i = 0;
  EXPECT_TRUE(dict->GetInteger("i", &i));
  EXPECT_EQ(-12, i);
  const ListValue* list = nullptr;
  ASSERT_TRUE(dict->GetList("l", &list));
  EXPECT_EQ(3u, list->GetSize());
  EXPECT_TRUE(dict->GetString("o.k", &s));
  EXPECT_EQ("v", s);

  // Any value may be the root.
  EXPECT_TRUE(JSONReader::Read("\"top\"")->IsType(Value::TYPE_STRING));
  EXPECT_TRUE(JSONReader::Read(" null ")->IsType(Value::TYPE_NULL));
}

TEST(JSONReaderTest, NumbersAreIntegersWhenTheyFitAnInt) {
  const struct {
    const char* json;
    Value::Type type;
  } kCases[] = {
      {"2147483647", Value::TYPE_INTEGER},
      {"-2147483648", Value::TYPE_INTEGER},
      {"2147483648", Value::TYPE_DOUBLE},
      {"-2147483649", Value::TYPE_DOUBLE},
      {"1.0", Value::TYPE_DOUBLE},
      {"1e2", Value::TYPE_DOUBLE},
      {"-0", Value::TYPE_INTEGER},
      {"18446744073709551616", Value::TYPE_DOUBLE},
  };
  for (const auto& c : kCases) {
    scoped_ptr<Value> value = JSONReader::Read(c.json);
    ASSERT_TRUE(value) << c.json;
    EXPECT_EQ(c.type, value->GetType()) << c.json;
  }
  double d = 0;
  ASSERT_TRUE(JSONReader::Read("2147483648")->GetAsDouble(&d));
  EXPECT_EQ(2147483648.0, d);

  EXPECT_EQ("Line: 1, column: 5, Syntax error.", ErrorOf("1e400"));
  EXPECT_FALSE(JSONReader::Read("-1e400"));
}

TEST(JSONReaderTest, LastDuplicateKeyWins) {
  scoped_ptr<Value> root = JSONReader::Read(R"({"a":1,"b":2,"a":{"x":3}})");
  ASSERT_TRUE(root);
  const DictionaryValue* dict = nullptr;
  ASSERT_TRUE(root->GetAsDictionary(&dict));
  EXPECT_EQ(2u, dict->size());
  int x = 0;
  EXPECT_TRUE(dict->GetInteger("a.x", &x));
  EXPECT_EQ(3, x);
}

TEST(JSONReaderTest, SkipsOneByteOrderMarkAtTheStart) {
  EXPECT_EQ("<parsed>", ErrorOf("\xEF\xBB\xBF{\"a\":1}"));
  // Positions count from after the mark.
  EXPECT_EQ("Line: 1, column: 4, Trailing comma not allowed.",
            ErrorOf("\xEF\xBB\xBF[1,]"));
  EXPECT_NE("<parsed>", ErrorOf("\xEF\xBB\xBF\xEF\xBB\xBF{}"));
  EXPECT_NE("<parsed>", ErrorOf(" \xEF\xBB\xBF{}"));
  EXPECT_EQ("Line: 1, column: 3, Unsupported encoding. JSON must be UTF-8.",
            ErrorOf("\xEF\xBB"));
}

TEST(JSONReaderTest, ErrorMessagesNameLineColumnAndCause) {
  EXPECT_EQ("Line: 1, column: 4, Trailing comma not allowed.", ErrorOf("[1,]"));
  EXPECT_EQ("Line: 2, column: 1, Trailing comma not allowed.",
            ErrorOf("{\"a\":1,\n}"));
  EXPECT_EQ("Line: 1, column: 2, Dictionary keys must be quoted.",
            ErrorOf("{a:1}"));
  EXPECT_EQ("Line: 1, column: 4, Syntax error.", ErrorOf("[1 2]"));
  EXPECT_EQ("Line: 1, column: 6, Syntax error.", ErrorOf("{\"a\" 1}"));
  EXPECT_EQ("Line: 1, column: 2, Unexpected token.", ErrorOf("[,1]"));
  EXPECT_EQ("Line: 1, column: 1, Unexpected token.", ErrorOf(""));
  EXPECT_EQ("Line: 1, column: 6, Unexpected data after root element.",
            ErrorOf("[1,2]x"));
  EXPECT_EQ("Line: 1, column: 3, Unexpected data after root element.",
            ErrorOf("1 2"));
  EXPECT_EQ("Line: 3, column: 3, Invalid escape sequence.",
            ErrorOf("[\n\n\"\\x\"]"));
  EXPECT_EQ("Line: 1, column: 2, Unsupported encoding. JSON must be UTF-8.",
            ErrorOf("\"\xFF\""));

  int code = 0, line = 0, column = 0;
  std::string message;
  EXPECT_FALSE(JSONReader::ReadAndReturnError("[\n  tru]", JSON_PARSE_RFC,
                                              &code, &message, &line, &column));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, code);
  EXPECT_EQ(2, line);
  EXPECT_GE(column, 3);
  // Every out-parameter may be null.
  EXPECT_FALSE(
      JSONReader::ReadAndReturnError("[", JSON_PARSE_RFC, nullptr, nullptr));
}

TEST(JSONReaderTest, RefusesWhatStrictJsonForbids) {
  for (const char* json : {
           "[1,]",
           "{\"a\":1,}",
           "/*c*/1",
           "1 // c",
           "{'a':1}",
           "[01]",
           "[+1]",
           "[.5]",
           "[1.]",
           "NaN",
           "[Infinity]",
           "\"a\tb\"",
           "\"unterminated",
           "[\"\\u12\"]",
           "{\"a\"}",
           "[true false]",
           "\"\\ud800\"",           // lone high surrogate
           "\"\\udc00\"",           // lone low surrogate
           "\"\\ud800\\u0041\"",    // high surrogate without its pair
           "\"\xC0\xAF\"",          // overlong encoding
           "\"\xED\xA0\x80\"",      // surrogate encoded in UTF-8
           "\"\xF4\x90\x80\x80\"",  // beyond U+10FFFF
           "\"\xE2\x82\"",          // truncated sequence
       }) {
    EXPECT_FALSE(JSONReader::Read(json)) << json;
  }
  EXPECT_EQ("Line: 1, column: 8, Invalid escape sequence.",
            ErrorOf("\"\\ud800\""));
}

TEST(JSONReaderTest, NulByteDoesNotEndTheText) {
  // A NUL is never valid JSON outside a string: what follows a complete root
  // must not be silently dropped.
  EXPECT_EQ("Line: 1, column: 4, Unexpected data after root element.",
            ErrorOf(std::string("[1]\0{\"x\":", 9)));
  EXPECT_EQ("Line: 2, column: 1, Unexpected data after root element.",
            ErrorOf(std::string("{}\n\0", 4)));
  EXPECT_FALSE(JSONReader::Read(std::string("1\0", 2)));
  EXPECT_FALSE(JSONReader::Read(std::string("[1,\0]", 5)));
  EXPECT_FALSE(JSONReader::Read(std::string("[\"a\0\"]", 6)));
}

TEST(JSONReaderTest, NestingOf200IsAcceptedAnd201Refused) {
  EXPECT_TRUE(JSONReader::Read(Nested(200, "1")));
  std::string objects;
  for (int i = 0; i < 200; ++i)
    objects += "{\"k\":";
  objects += "1" + std::string(200, '}');
  EXPECT_TRUE(JSONReader::Read(objects));

  // The error points at the opener of the 201st level.
  EXPECT_EQ("Line: 1, column: 201, Too much nesting.", ErrorOf(Nested(201)));
  // Brackets inside strings do not count.
  EXPECT_EQ("Line: 1, column: 205, Too much nesting.",
            ErrorOf("[\"[\"," + Nested(200) + "]"));
}

TEST(JSONReaderTest, VeryDeepInputIsRefusedWithoutExhaustingTheStack) {
  EXPECT_EQ("Line: 1, column: 201, Too much nesting.",
            ErrorOf(std::string(100000, '[')));
  std::string objects;
  for (int i = 0; i < 100000; ++i)
    objects += "{\"a\":";
  EXPECT_EQ("Line: 1, column: 1001, Too much nesting.", ErrorOf(objects));
}

}  // namespace
}  // namespace base
