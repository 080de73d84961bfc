#include "base/values.h"

#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ValuesTest, GettersAcceptOnlyTheirOwnTypeAndLeaveOutputUntouched) {
  DictionaryValue dict;
  dict.SetString("s", "text");
  dict.SetInteger("i", 7);
  dict.SetDouble("d", 2.5);
  dict.SetBoolean("b", true);

  std::string s = "unchanged";
  int i = -1;
  bool b = false;
  EXPECT_FALSE(dict.GetString("i", &s));
  EXPECT_FALSE(dict.GetString("missing", &s));
  EXPECT_EQ("unchanged", s);
  EXPECT_FALSE(dict.GetInteger("d", &i));
  EXPECT_FALSE(dict.GetInteger("b", &i));
  EXPECT_EQ(-1, i);
  EXPECT_FALSE(dict.GetBoolean("i", &b));
  EXPECT_FALSE(b);
  const ListValue* list = nullptr;
  EXPECT_FALSE(dict.GetList("s", &list));
  EXPECT_EQ(nullptr, list);

  // Only GetDouble converts, and only from an integer.
  double d = 0;
  EXPECT_TRUE(dict.GetDouble("i", &d));
  EXPECT_EQ(7.0, d);
  EXPECT_FALSE(dict.GetDouble("b", &d));
  EXPECT_FALSE(dict.GetDouble("s", &d));

  // A null out-parameter tests presence and type.
  EXPECT_TRUE(dict.GetString("s", nullptr));
  EXPECT_FALSE(dict.GetString("d", nullptr));
}

TEST(ValuesTest, PathGettersWalkNestedDictionariesOnly) {
  DictionaryValue dict;
  dict.SetString("a.b.c", "deep");
  std::string out;
  ASSERT_TRUE(dict.GetString("a.b.c", &out));
  EXPECT_EQ("deep", out);
  const DictionaryValue* a = nullptr;
  ASSERT_TRUE(dict.GetDictionary("a", &a));
  EXPECT_TRUE(a->HasKey("b"));
  EXPECT_FALSE(dict.HasKey("a.b"));  // HasKey is literal.

  // Lists are never traversed: "l.0" asks for the key "0" of a dictionary.
  scoped_ptr<ListValue> list(new ListValue);
  list->AppendString("x");
  dict.Set("l", std::move(list));
  EXPECT_FALSE(dict.GetString("l.0", &out));

  // An empty segment is the key "".
  dict.SetWithoutPathExpansion("", scoped_ptr<Value>(new DictionaryValue));
  DictionaryValue* empty_key = nullptr;
  ASSERT_TRUE(dict.GetDictionaryWithoutPathExpansion("", &empty_key));
  empty_key->SetStringWithoutPathExpansion("x", "under empty");
  ASSERT_TRUE(dict.GetString(".x", &out));
  EXPECT_EQ("under empty", out);
}

TEST(ValuesTest, DottedKeysAreReachableOnlyWithoutPathExpansion) {
  DictionaryValue dict;
  dict.SetStringWithoutPathExpansion("com.example.key", "literal");
  std::string out;
  EXPECT_FALSE(dict.GetString("com.example.key", &out));
  ASSERT_TRUE(dict.GetStringWithoutPathExpansion("com.example.key", &out));
  EXPECT_EQ("literal", out);
  EXPECT_TRUE(dict.HasKey("com.example.key"));
  EXPECT_EQ(1u, dict.size());
}

TEST(ValuesTest, SetReplacesNonDictionaryIntermediatesAndOverwritesLastKey) {
  DictionaryValue dict;
  dict.SetInteger("a", 1);
  dict.SetInteger("a.b", 2);  // "a" was an integer: it becomes a dictionary.
  int out = 0;
  ASSERT_TRUE(dict.GetInteger("a.b", &out));
  EXPECT_EQ(2, out);
  dict.SetString("a.b", "now a string");
  EXPECT_FALSE(dict.GetInteger("a.b", &out));
  dict.SetInteger("a.c", 3);  // The existing dictionary is kept.
  const DictionaryValue* a = nullptr;
  ASSERT_TRUE(dict.GetDictionary("a", &a));
  EXPECT_EQ(2u, a->size());

  dict.Set("x", nullptr);  // Null changes nothing.
  EXPECT_FALSE(dict.HasKey("x"));
}

TEST(ValuesTest, RemoveHandsOutTheValueOrReportsAbsence) {
  DictionaryValue dict;
  dict.SetInteger("a.b", 1);
  dict.SetInteger("a.c", 2);
  scoped_ptr<Value> removed;
  EXPECT_FALSE(dict.Remove("a.missing", &removed));
  EXPECT_FALSE(dict.Remove("nothere.b", &removed));
  ASSERT_TRUE(dict.Remove("a.b", &removed));
  int out = 0;
  ASSERT_TRUE(removed && removed->GetAsInteger(&out));
  EXPECT_EQ(1, out);
  EXPECT_FALSE(dict.HasKey("a.b"));
  EXPECT_TRUE(dict.GetInteger("a.c", nullptr));
  EXPECT_TRUE(dict.RemoveWithoutPathExpansion("a", nullptr));
  EXPECT_TRUE(dict.empty());
}

TEST(ValuesTest, IteratorWalksKeysInByteOrder) {
  DictionaryValue dict;
  for (const char* key : {"\xC3\xA9t\xC3\xA9", "b", "B", "a.b", "a", ""})
    dict.SetBooleanWithoutPathExpansion(key, true);
  std::vector<std::string> keys;
  for (DictionaryValue::Iterator it(dict); !it.IsAtEnd(); it.Advance()) {
    EXPECT_TRUE(it.value().IsType(Value::TYPE_BOOLEAN));
    keys.push_back(it.key());
  }
  // Bytes above 0x7F sort after ASCII.
  EXPECT_EQ(
      (std::vector<std::string>{"", "B", "a", "a.b", "b", "\xC3\xA9t\xC3\xA9"}),
      keys);
}

TEST(ValuesTest, ListGettersByIndex) {
  ListValue list;
  list.AppendString("zero");
  list.AppendInteger(1);
  list.Append(scoped_ptr<Value>(new DictionaryValue));
  list.Append(nullptr);  // ignored
  EXPECT_EQ(3u, list.GetSize());

  std::string s;
  EXPECT_TRUE(list.GetString(0, &s));
  EXPECT_EQ("zero", s);
  EXPECT_FALSE(list.GetString(1, &s));
  EXPECT_FALSE(list.GetString(3, &s));  // out of range
  EXPECT_EQ("zero", s);
  const DictionaryValue* dict = nullptr;
  EXPECT_TRUE(list.GetDictionary(2, &dict));
  EXPECT_FALSE(list.GetDictionary(99, &dict));

  size_t count = 0;
  for (const auto& value : list) {
    EXPECT_NE(nullptr, value.get());
    ++count;
  }
  EXPECT_EQ(3u, count);

  scoped_ptr<Value> removed;
  ASSERT_TRUE(list.Remove(0, &removed));
  EXPECT_TRUE(removed->IsType(Value::TYPE_STRING));
  EXPECT_FALSE(list.Remove(5, &removed));
  EXPECT_TRUE(list.GetInteger(0, nullptr));
}

TEST(ValuesTest, DeepCopyIsIndependentAndEqual) {
  DictionaryValue original;
  original.SetString("a.b", "x");
  scoped_ptr<ListValue> list(new ListValue);
  list->AppendDouble(1.5);
  list->Append(Value::CreateNullValue());
  original.Set("list", std::move(list));

  scoped_ptr<DictionaryValue> copy = original.DeepCopy();
  EXPECT_TRUE(original.Equals(copy.get()));
  copy->SetString("a.b", "y");
  EXPECT_FALSE(original.Equals(copy.get()));
  std::string out;
  EXPECT_TRUE(original.GetString("a.b", &out));
  EXPECT_EQ("x", out);

  // An integer never equals a double of the same magnitude.
  FundamentalValue one(1);
  FundamentalValue one_double(1.0);
  EXPECT_FALSE(one.Equals(&one_double));
  EXPECT_TRUE(Value::Equals(nullptr, nullptr));
  EXPECT_FALSE(Value::Equals(&one, nullptr));
}

TEST(ValuesTest, FromConvertsOnlyMatchingTypes) {
  EXPECT_NE(nullptr,
            DictionaryValue::From(scoped_ptr<Value>(new DictionaryValue)));
  EXPECT_EQ(nullptr, DictionaryValue::From(scoped_ptr<Value>(new ListValue)));
  EXPECT_NE(nullptr, ListValue::From(scoped_ptr<Value>(new ListValue)));
  EXPECT_EQ(nullptr, ListValue::From(Value::CreateNullValue()));
  EXPECT_EQ(nullptr, ListValue::From(nullptr));
}

}  // namespace
}  // namespace base
