// ZQEUrlParser: splits a URL text into its parts, and static helpers for
// percent-encoding, query strings and paths.
//
// parseUrl() recognises "scheme://host:port/path?query#fragment" left to
// right and stops at the first character that does not fit; the parts it did
// not reach stay empty. Nothing is decoded and no part is validated: the
// parser only cuts the text. A "#" counts as the fragment mark only after the
// "?" of a query; before it, it stays in the host or path text.
//
// Ownership: parseUrl() returns a new object (never null) that the caller
// owns and releases with destroy(). The helpers take their inputs by value or
// const reference and write only into the container the caller hands them;
// containers are appended to, never cleared.
//
// Failure: parsing never fails. urlDecode() answers a malformed escape with an
// empty string; toChar() throws an `int` of value 200 on a character that is
// not a hexadecimal digit (the only operation that throws); parseKeyValue()
// and its wrappers answer an empty or all-space input with
// static_cast<size_t>(-1).
//
// Threads: no shared state and no locks. Distinct objects and containers may
// be used from any number of threads at once.
//
//   ZQEUrlParser* url =
//       ZQEUrlParser::parseUrl("https://example.com/app/index.html?id=42");
//   std::unordered_map<std::string, std::string> args;
//   ZQEUrlParser::parseKeyValueMap(&args, url->query, true);  // args["id"]
//   ZQEUrlParser::destroy(&url);                              // url == nullptr

#ifndef ZQEXTENSIONKIT_CONFIG_ZQEURLPARSER_H_
#define ZQEXTENSIONKIT_CONFIG_ZQEURLPARSER_H_

#include <stddef.h>

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace zqextensionkit {

// One key/value pair of a query string, in the order it appeared.
struct query_kv_t {
  std::string key;  // the key, as written
  std::string val;  // the value, as written
};

// Receives one key/value pair from ZQEUrlParser::parseKeyValue(); `list` is
// the container handed to parseKeyValue() as `obj`. The kit's callbacks
// return the container's size after the pair was added.
typedef int (*__kv_callback)(void* list, std::string k, std::string v);

// `list` is a std::unordered_map<std::string, std::string>*; sets
// (*list)[k] = v, so a later pair with the same key replaces the earlier one.
ZQEXTENSIONKIT_EXPORT int __kv_callback_map(void* list,
                                            std::string k,
                                            std::string v);
// `list` is a std::map<std::string, std::string>*; later pairs win.
ZQEXTENSIONKIT_EXPORT int __kv_callback_ordered_map(void* list,
                                                    std::string k,
                                                    std::string v);
// `list` is a std::vector<query_kv_t>*; appends {k, v}.
ZQEXTENSIONKIT_EXPORT int __kv_callback_vec(void* list,
                                            std::string k,
                                            std::string v);

class ZQEXTENSIONKIT_EXPORT ZQEUrlParser {
 public:
  virtual ~ZQEUrlParser();

  // Creates a parser for `urlstr` and parses it. Never returns null; the
  // caller owns the result and releases it with destroy().
  static ZQEUrlParser* parseUrl(std::string urlstr);
  // Deletes *parser, if any, and sets *parser to null. A null `parser` is
  // ignored.
  static void destroy(ZQEUrlParser** parser);

  // Percent-encodes `s` byte by byte: A-Z, a-z, 0-9 and "*-._" stay as they
  // are; a space becomes "+" when `bencode_space_as_plus` is true and stays a
  // space otherwise; every other byte becomes "%XX" (upper-case hex).
  static std::string urlEncode(const std::string& s,
                               bool bencode_space_as_plus);
  // Reverses urlEncode(): "%XX" (either case) becomes the byte, "+" becomes a
  // space when `bencode_space_as_plus` is true. A "%" not followed by two
  // hexadecimal digits makes the whole result empty.
  static std::string urlDecode(const std::string& str,
                               bool bencode_space_as_plus);

  // Writes the two upper-case hex digits of byte `c` to desthex[0] (high
  // nibble) and desthex[1]; writes no terminator.
  static void toHex(char* desthex, char c);
  // The byte whose hex digits are hex[0] (high) and hex[1] (low); 0-9, A-F
  // and a-f are accepted. Throws int 200 on any other character.
  static char toChar(const char* hex);

  // Splits `rawstr` (leading spaces skipped) into "&"-separated items and
  // calls `kvcb(obj, key, value)` for each. In an item the value is the text
  // after its last "=" and the key the text between the "=" before that (or
  // the item start) and the last "="; an item without "=" is a value with an
  // empty key. With `strict`, only items with a non-empty key and a
  // non-empty value are reported; otherwise every item that is not entirely
  // empty. Nothing is decoded.
  // Returns the number of calls made, or static_cast<size_t>(-1) when
  // `rawstr` is empty or holds only spaces. A null `kvcb` reports nothing.
  static size_t parseKeyValue(const std::string& rawstr,
                              __kv_callback kvcb,
                              void* obj,
                              bool strict);
  // parseKeyValue() into a map (later pairs win) or a list (every pair, in
  // order). The container is appended to, not cleared; a null container
  // receives nothing and the result is 0 (or -1 for an empty input).
  static size_t parseKeyValueMap(
      std::unordered_map<std::string, std::string>* kvmap,
      const std::string& rawstr,
      bool strict);
  static size_t parseKeyValueMap(std::map<std::string, std::string>* kvmap,
                                 const std::string& rawstr,
                                 bool strict);
  static size_t parseKeyValueList(std::vector<query_kv_t>* kvvec,
                                  const std::string& rawstr,
                                  bool strict);

  // Appends the "/"-separated segments of `pathstr` to `folders`: "/a//b/"
  // appends "a", "", "b" (a doubled "/" gives an empty segment, a trailing
  // one none). A path that does not start with "/" appends nothing. Returns
  // the number of elements in `folders` afterwards (0 for a null `folders`).
  static int parsePath(std::vector<std::string>* folders,
                       const std::string& pathstr);

  // Assembles scheme "://" hostName [":" port] [path] ["?" k=v&k=v...]
  // ["#" fragment] from `parser`'s parts and `kvmap` (in the map's iteration
  // order). The parser's own `query` is not used and nothing is encoded.
  // A null `parser` gives an empty string.
  static std::string kvMap2Url(
      const ZQEUrlParser* parser,
      const std::unordered_map<std::string, std::string>& kvmap);

 private:
  ZQEUrlParser();

  // Fills the parts from mRawUrl; see the contract at the top of this file.
  void parse();

  std::string mRawUrl;

 public:
  std::string scheme;    // without the "://"
  std::string hostName;  // the host name
  std::string port;      // without the ":"
  std::string path;      // with its leading "/"
  std::string query;     // without the "?"
  std::string fragment;  // without the "#"
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_ZQEURLPARSER_H_
