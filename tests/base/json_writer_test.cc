// base::JSONWriter: every tree it writes reads back as the same tree, with
// strings escaped and invalid UTF-8 replaced.

#include "base/json/json_writer.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "base/json/json_reader.h"
#include "base/values.h"

namespace base {
namespace {

TEST(JSONWriterTest, WritesWhatReadsBackAsTheSameTree) {
  struct Case {
    const char* name;
    std::string in;        // A string value, as its bytes.
    std::string expected;  // The compact JSON text of that string.
  };
  const Case cases[] = {
      {"plain", "abc", "\"abc\""},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"control characters", std::string("\n\t\x01", 3), "\"\\n\\t\\u0001\""},
      {"UTF-8 passes", "gr\xC3\xBC\xC3\x9F", "\"gr\xC3\xBC\xC3\x9F\""},
      {"invalid UTF-8 becomes U+FFFD",
       "a\xFF"
       "b",
       "\"a\xEF\xBF\xBD"
       "b\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DictionaryValue dict;
    dict.SetStringWithoutPathExpansion("s", c.in);
    std::string json;
    ASSERT_TRUE(JSONWriter::Write(dict, &json));
    EXPECT_EQ("{\"s\":" + c.expected + "}", json);
    scoped_ptr<Value> back = JSONReader::Read(json);
    ASSERT_TRUE(back);
    if (std::string(c.name).find("invalid") == std::string::npos) {
      EXPECT_TRUE(back->Equals(&dict));
    }
  }

  // Every type, nested, pretty-printed.
  DictionaryValue tree;
  tree.SetBoolean("b", true);
  tree.SetInteger("i", -7);
  tree.SetDouble("d", 0.5);
  tree.SetWithoutPathExpansion("n", Value::CreateNullValue());
  auto list = std::make_unique<ListValue>();
  list->AppendString("x");
  list->Append(std::make_unique<DictionaryValue>());
  tree.SetWithoutPathExpansion("l", std::move(list));
  std::string json;
  ASSERT_TRUE(JSONWriter::WriteWithOptions(
      tree, JSONWriter::OPTIONS_PRETTY_PRINT, &json));
  EXPECT_EQ(
      "{\n  \"b\": true,\n  \"d\": 0.5,\n  \"i\": -7,\n  \"l\": [\n    "
      "\"x\",\n    {}\n  ],\n  \"n\": null\n}\n",
      json);
  scoped_ptr<Value> back = JSONReader::Read(json);
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->Equals(&tree));
}

}  // namespace
}  // namespace base
