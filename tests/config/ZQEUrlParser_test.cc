#include "ZQExtensionKit/config/ZQEUrlParser.h"

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zqextensionkit {
namespace {

using ::testing::ElementsAre;

struct Parts {
  std::string scheme, hostName, port, path, query, fragment;
  bool operator==(const Parts& o) const {
    return scheme == o.scheme && hostName == o.hostName && port == o.port &&
           path == o.path && query == o.query && fragment == o.fragment;
  }
};

void PrintTo(const Parts& p, std::ostream* os) {
  *os << "{scheme='" << p.scheme << "' host='" << p.hostName << "' port='"
      << p.port << "' path='" << p.path << "' query='" << p.query
      << "' fragment='" << p.fragment << "'}";
}

Parts Parse(const std::string& url) {
  ZQEUrlParser* parser = ZQEUrlParser::parseUrl(url);
  EXPECT_NE(parser, nullptr);
  Parts parts{parser->scheme, parser->hostName, parser->port,
              parser->path,   parser->query,    parser->fragment};
  ZQEUrlParser::destroy(&parser);
  EXPECT_EQ(parser, nullptr);
  return parts;
}

TEST(ZQEUrlParserTest, FullUrlFillsEveryPart) {
  EXPECT_EQ(Parse("https://example.com:8443/app/index.html?id=42&x=y#top"),
            (Parts{"https", "example.com", "8443", "/app/index.html",
                   "id=42&x=y", "top"}));
}

TEST(ZQEUrlParserTest, PartsAfterTheHostAreEachOptional) {
  EXPECT_EQ(Parse("http://host"), (Parts{"http", "host", "", "", "", ""}));
  EXPECT_EQ(Parse("http://host:80"), (Parts{"http", "host", "80", "", "", ""}));
  EXPECT_EQ(Parse("http://host:80?a=1"),
            (Parts{"http", "host", "80", "", "a=1", ""}));
  EXPECT_EQ(Parse("http://host/p/q"),
            (Parts{"http", "host", "", "/p/q", "", ""}));
  EXPECT_EQ(Parse("http://host?a=1#f"),
            (Parts{"http", "host", "", "", "a=1", "f"}));
  EXPECT_EQ(Parse("http://"), (Parts{"http", "", "", "", "", ""}));
}

TEST(ZQEUrlParserTest, HashIsAFragmentMarkOnlyInsideTheQuery) {
  EXPECT_EQ(Parse("http://host#frag"),
            (Parts{"http", "host#frag", "", "", "", ""}));
  EXPECT_EQ(Parse("http://host/a#b"),
            (Parts{"http", "host", "", "/a#b", "", ""}));
  // Only the first "#" of the query is the mark.
  EXPECT_EQ(Parse("http://host/a?q#f#g"),
            (Parts{"http", "host", "", "/a", "q", "f#g"}));
}

TEST(ZQEUrlParserTest, LeadingSlashMeansNoScheme) {
  EXPECT_EQ(Parse("/host/path/x?a=1"),
            (Parts{"", "host", "", "/path/x", "a=1", ""}));
}

TEST(ZQEUrlParserTest, SchemeWithoutSlashesSetsOnlyTheScheme) {
  EXPECT_EQ(Parse("mailto:someone@example.com"),
            (Parts{"mailto", "", "", "", "", ""}));
  EXPECT_EQ(Parse("localhost:8080/index"),
            (Parts{"localhost", "", "", "", "", ""}));
  EXPECT_EQ(Parse("http:/"), (Parts{"http", "", "", "", "", ""}));
  EXPECT_EQ(Parse("://host/p"), (Parts{"", "host", "", "/p", "", ""}));
}

TEST(ZQEUrlParserTest, TextsWithoutRecognisablePartsLeaveEverythingEmpty) {
  const Parts empty{};
  EXPECT_EQ(Parse(""), empty);
  EXPECT_EQ(Parse("    "), empty);
  EXPECT_EQ(Parse("example.com/index.html"), empty);
}

TEST(ZQEUrlParserTest, LeadingSpacesAreSkippedTrailingSpacesKept) {
  EXPECT_EQ(Parse("   http://host/p "),
            (Parts{"http", "host", "", "/p ", "", ""}));
  EXPECT_EQ(Parse(" /h/p?q #f "), (Parts{"", "h", "", "/p", "q ", "f "}));
  // Inner spaces are not special either.
  EXPECT_EQ(Parse("http://my host/a b"),
            (Parts{"http", "my host", "", "/a b", "", ""}));
}

TEST(ZQEUrlParserTest, NothingIsDecoded) {
  EXPECT_EQ(Parse("http://h/a%20b?x=%41+b"),
            (Parts{"http", "h", "", "/a%20b", "x=%41+b", ""}));
}

TEST(ZQEUrlParserTest, DestroyToleratesNull) {
  ZQEUrlParser::destroy(nullptr);
  ZQEUrlParser* none = nullptr;
  ZQEUrlParser::destroy(&none);
  EXPECT_EQ(none, nullptr);
}

TEST(ZQEUrlParserTest, EncodeKeepsUnreservedAndEscapesTheRest) {
  EXPECT_EQ(ZQEUrlParser::urlEncode("a b/c", true), "a+b%2Fc");
  EXPECT_EQ(ZQEUrlParser::urlEncode("a b/c", false), "a b%2Fc");
  EXPECT_EQ(ZQEUrlParser::urlEncode("\xE4", true), "%E4");
  EXPECT_EQ(ZQEUrlParser::urlEncode("AZaz09*-._", true), "AZaz09*-._");
  EXPECT_EQ(ZQEUrlParser::urlEncode("+~%", true), "%2B%7E%25");
  EXPECT_EQ(ZQEUrlParser::urlEncode(std::string(1, '\0'), true), "%00");
}

TEST(ZQEUrlParserTest, DecodeReversesEncodeForEveryByte) {
  std::string all;
  for (int i = 0; i < 256; ++i)
    all.push_back(static_cast<char>(i));
  for (bool plus : {true, false}) {
    SCOPED_TRACE(plus);
    EXPECT_EQ(ZQEUrlParser::urlDecode(ZQEUrlParser::urlEncode(all, plus), plus),
              all);
  }
}

TEST(ZQEUrlParserTest, DecodeHandlesPlusAndBothHexCases) {
  EXPECT_EQ(ZQEUrlParser::urlDecode("a+b", true), "a b");
  EXPECT_EQ(ZQEUrlParser::urlDecode("a+b", false), "a+b");
  EXPECT_EQ(ZQEUrlParser::urlDecode("%e4%E4%41", true),
            "\xE4\xE4"
            "A");
  EXPECT_EQ(ZQEUrlParser::urlDecode("x%00y", true), std::string("x\0y", 3));
  EXPECT_EQ(ZQEUrlParser::urlDecode("", true), "");
}

TEST(ZQEUrlParserTest, MalformedEscapeEmptiesTheWholeResult) {
  for (const char* bad :
       {"abc%", "abc%4", "abc%4G", "%G1xyz", "ok%zzok", "%"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ZQEUrlParser::urlDecode(bad, true), "");
    EXPECT_EQ(ZQEUrlParser::urlDecode(bad, false), "");
  }
}

TEST(ZQEUrlParserTest, HexDigitConversions) {
  char hex[3] = {'x', 'x', 'x'};
  ZQEUrlParser::toHex(hex, '\xE4');
  EXPECT_EQ(std::string(hex, 3), "E4x");  // No terminator written.
  ZQEUrlParser::toHex(hex, '\x0A');
  EXPECT_EQ(std::string(hex, 2), "0A");

  EXPECT_EQ(ZQEUrlParser::toChar("e4"), '\xE4');
  EXPECT_EQ(ZQEUrlParser::toChar("Ff"), '\xFF');
  EXPECT_EQ(ZQEUrlParser::toChar("00"), '\0');

  for (const char* bad : {"g0", "0g", " 1", "1 "}) {
    SCOPED_TRACE(bad);
    int thrown = 0;
    try {
      ZQEUrlParser::toChar(bad);
    } catch (int e) {
      thrown = e;
    }
    EXPECT_EQ(thrown, 200);
  }
}

// A key with a value, an empty item, a key with an empty value, an empty key
// with a value, and a bare word.
constexpr char kFiveItems[] = "a=1&&b=&=2&word";

TEST(ZQEUrlParserTest, StrictKeyValueNeedsKeyAndValue) {
  std::vector<query_kv_t> list;
  EXPECT_EQ(ZQEUrlParser::parseKeyValueList(&list, kFiveItems, true), 1u);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].key, "a");
  EXPECT_EQ(list[0].val, "1");
}

TEST(ZQEUrlParserTest, LenientKeyValueSkipsOnlyEmptyItems) {
  std::vector<query_kv_t> list;
  EXPECT_EQ(ZQEUrlParser::parseKeyValueList(&list, kFiveItems, false), 4u);
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& kv : list)
    pairs.emplace_back(kv.key, kv.val);
  EXPECT_THAT(pairs,
              ElementsAre(std::make_pair("a", "1"), std::make_pair("b", ""),
                          std::make_pair("", "2"), std::make_pair("", "word")));
}

TEST(ZQEUrlParserTest, KeyIsTheTextBetweenTheLastTwoEqualSigns) {
  std::map<std::string, std::string> map;
  EXPECT_EQ(ZQEUrlParser::parseKeyValueMap(&map, "x=y=z&p==q", true), 1u);
  EXPECT_THAT(map, ElementsAre(std::make_pair("y", "z")));
  // "p==q" has an empty key between its two "=": lenient mode reports it.
  map.clear();
  EXPECT_EQ(ZQEUrlParser::parseKeyValueMap(&map, "x=y=z&p==q", false), 2u);
  EXPECT_THAT(map,
              ElementsAre(std::make_pair("", "q"), std::make_pair("y", "z")));
}

TEST(ZQEUrlParserTest, EmptyOrBlankInputReportsMinusOne) {
  std::unordered_map<std::string, std::string> map;
  EXPECT_EQ(ZQEUrlParser::parseKeyValueMap(&map, "", true),
            static_cast<size_t>(-1));
  EXPECT_EQ(ZQEUrlParser::parseKeyValueMap(&map, "   ", false),
            static_cast<size_t>(-1));
  EXPECT_TRUE(map.empty());
  // Separators alone are not empty input: nothing is reported.
  EXPECT_EQ(ZQEUrlParser::parseKeyValueMap(&map, "&&", false), 0u);
}

TEST(ZQEUrlParserTest, KeyValueSkipsLeadingSpacesAndDecodesNothing) {
  std::vector<query_kv_t> list;
  EXPECT_EQ(ZQEUrlParser::parseKeyValueList(&list, "  k=a%20b+c &x", true), 1u);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].key, "k");
  EXPECT_EQ(list[0].val, "a%20b+c ");
}

TEST(ZQEUrlParserTest, MapsKeepTheLaterValueAndAreNotCleared) {
  std::unordered_map<std::string, std::string> map{{"old", "1"}};
  EXPECT_EQ(ZQEUrlParser::parseKeyValueMap(&map, "k=1&k=2", true), 2u);
  EXPECT_EQ(map, (std::unordered_map<std::string, std::string>{{"old", "1"},
                                                               {"k", "2"}}));

  std::map<std::string, std::string> ordered{{"old", "1"}};
  EXPECT_EQ(ZQEUrlParser::parseKeyValueMap(&ordered, "k=1&k=2", true), 2u);
  EXPECT_THAT(ordered, ElementsAre(std::make_pair("k", "2"),
                                   std::make_pair("old", "1")));
}

TEST(ZQEUrlParserTest, CallbacksReturnTheContainerSize) {
  std::vector<query_kv_t> list;
  EXPECT_EQ(__kv_callback_vec(&list, "a", "1"), 1);
  EXPECT_EQ(__kv_callback_vec(&list, "a", "1"), 2);
  std::unordered_map<std::string, std::string> map;
  EXPECT_EQ(__kv_callback_map(&map, "a", "1"), 1);
  EXPECT_EQ(__kv_callback_map(&map, "a", "2"), 1);
  EXPECT_EQ(map["a"], "2");
  std::map<std::string, std::string> ordered;
  EXPECT_EQ(__kv_callback_ordered_map(&ordered, "b", "1"), 1);
  EXPECT_EQ(__kv_callback_ordered_map(&ordered, "a", "1"), 2);
}

TEST(ZQEUrlParserTest, NullContainersReceiveNothing) {
  EXPECT_EQ(ZQEUrlParser::parseKeyValueList(nullptr, "a=1", true), 0u);
  EXPECT_EQ(ZQEUrlParser::parseKeyValue("a=1", nullptr, nullptr, true), 0u);
  EXPECT_EQ(ZQEUrlParser::parsePath(nullptr, "/a/b"), 0);
  EXPECT_EQ(ZQEUrlParser::kvMap2Url(nullptr, {{"k", "v"}}), "");
}

TEST(ZQEUrlParserTest, PathSegments) {
  std::vector<std::string> folders;
  EXPECT_EQ(ZQEUrlParser::parsePath(&folders, "/a//b/"), 3);
  EXPECT_THAT(folders, ElementsAre("a", "", "b"));

  // Appends, and counts what was there before.
  EXPECT_EQ(ZQEUrlParser::parsePath(&folders, "/c"), 4);
  EXPECT_EQ(folders.back(), "c");

  for (const char* no_segments : {"", "/", "a/b", " /a"}) {
    SCOPED_TRACE(no_segments);
    std::vector<std::string> none;
    EXPECT_EQ(ZQEUrlParser::parsePath(&none, no_segments), 0);
  }
}

TEST(ZQEUrlParserTest, KvMap2UrlReplacesTheQuery) {
  ZQEUrlParser* parser =
      ZQEUrlParser::parseUrl("https://h:8443/p/q?old=1#frag");
  EXPECT_EQ(ZQEUrlParser::kvMap2Url(parser, {{"k", "v w"}}),
            "https://h:8443/p/q?k=v w#frag");
  EXPECT_EQ(ZQEUrlParser::kvMap2Url(parser, {}), "https://h:8443/p/q#frag");

  std::unordered_map<std::string, std::string> kv{
      {"a", "1"}, {"b", "2"}, {"c", "3"}};
  std::string expected_query;
  for (const auto& entry : kv) {
    expected_query += expected_query.empty() ? "?" : "&";
    expected_query += entry.first + "=" + entry.second;
  }
  EXPECT_EQ(ZQEUrlParser::kvMap2Url(parser, kv),
            "https://h:8443/p/q" + expected_query + "#frag");
  ZQEUrlParser::destroy(&parser);

  parser = ZQEUrlParser::parseUrl("http://h");
  EXPECT_EQ(ZQEUrlParser::kvMap2Url(parser, {{"k", "v"}}), "http://h?k=v");
  ZQEUrlParser::destroy(&parser);
}

}  // namespace
}  // namespace zqextensionkit
