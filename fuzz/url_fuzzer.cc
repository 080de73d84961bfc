// Feeds arbitrary bytes to the URL parser and its helpers. Besides memory
// errors it checks the properties callers rely on: parseUrl() never returns
// null, its parts are pieces of the input, decoding an encoded text gives
// the text back, and the key/value and path splitters report what they add.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "ZQExtensionKit/config/ZQEUrlParser.h"

using zqextensionkit::query_kv_t;
using zqextensionkit::ZQEUrlParser;

namespace {

void Check(bool condition) {
  if (!condition)
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  ZQEUrlParser* parser = ZQEUrlParser::parseUrl(input);
  Check(parser != nullptr);
  for (const std::string* part :
       {&parser->scheme, &parser->hostName, &parser->port, &parser->path,
        &parser->query, &parser->fragment}) {
    Check(part->empty() || input.find(*part) != std::string::npos);
  }
  Check(parser->path.empty() || parser->path[0] == '/');
  std::unordered_map<std::string, std::string> kv;
  ZQEUrlParser::parseKeyValueMap(&kv, parser->query, false);
  ZQEUrlParser::kvMap2Url(parser, kv);
  ZQEUrlParser::destroy(&parser);
  Check(parser == nullptr);

  for (bool plus : {true, false}) {
    ZQEUrlParser::urlDecode(input, plus);
    Check(ZQEUrlParser::urlDecode(ZQEUrlParser::urlEncode(input, plus), plus) ==
          input);
  }

  for (bool strict : {true, false}) {
    std::vector<query_kv_t> list;
    const size_t calls = ZQEUrlParser::parseKeyValueList(&list, input, strict);
    Check(calls == static_cast<size_t>(-1) ? list.empty()
                                           : calls == list.size());
  }

  std::vector<std::string> folders{"kept"};
  const int count = ZQEUrlParser::parsePath(&folders, input);
  Check(count >= 1 && static_cast<size_t>(count) == folders.size());
  return 0;
}
