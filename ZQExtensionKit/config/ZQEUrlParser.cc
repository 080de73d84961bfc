#include "ZQExtensionKit/config/ZQEUrlParser.h"

#include <utility>

namespace zqextensionkit {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kInvalidHexDigitException = 200;

// The value of one hexadecimal digit, or -1 when `c` is not one.
int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= '0' && c <= '9') || c == '*' || c == '-' || c == '.' || c == '_';
}

// Text of `s` from `begin` up to `end`, or to its end when `end` is npos.
std::string Slice(const std::string& s, size_t begin, size_t end) {
  if (end == std::string::npos)
    return s.substr(begin);
  return s.substr(begin, end - begin);
}

}  // namespace

int __kv_callback_map(void* list, std::string k, std::string v) {
  auto* map = static_cast<std::unordered_map<std::string, std::string>*>(list);
  (*map)[std::move(k)] = std::move(v);
  return static_cast<int>(map->size());
}

int __kv_callback_ordered_map(void* list, std::string k, std::string v) {
  auto* map = static_cast<std::map<std::string, std::string>*>(list);
  (*map)[std::move(k)] = std::move(v);
  return static_cast<int>(map->size());
}

int __kv_callback_vec(void* list, std::string k, std::string v) {
  auto* vec = static_cast<std::vector<query_kv_t>*>(list);
  vec->push_back(query_kv_t{std::move(k), std::move(v)});
  return static_cast<int>(vec->size());
}

ZQEUrlParser::ZQEUrlParser() = default;

ZQEUrlParser::~ZQEUrlParser() = default;

// static
ZQEUrlParser* ZQEUrlParser::parseUrl(std::string urlstr) {
  ZQEUrlParser* parser = new ZQEUrlParser();
  parser->mRawUrl = std::move(urlstr);
  parser->parse();
  return parser;
}

// static
void ZQEUrlParser::destroy(ZQEUrlParser** parser) {
  if (!parser)
    return;
  delete *parser;
  *parser = nullptr;
}

void ZQEUrlParser::parse() {
  const std::string& raw = mRawUrl;
  const size_t n = raw.size();
  if (n == 0)
    return;

  // Leading spaces are skipped; a text of spaces only has no parts.
  size_t begin = 0;
  if (raw[0] == ' ') {
    begin = raw.find_first_not_of(' ');
    if (begin == std::string::npos)
      return;
  }

  // Scheme: "/..." has none; otherwise it runs up to the first ":", which
  // must open "://" for anything else to be recognised.
  size_t host_begin;
  if (raw[begin] == '/') {
    host_begin = begin + 1;
  } else {
    const size_t colon = raw.find(':', begin);
    if (colon == std::string::npos)
      return;
    scheme = raw.substr(begin, colon - begin);
    if (raw.compare(colon, 3, "://") != 0)
      return;
    host_begin = colon + 3;
  }

  // Host, up to the first "/", "?" or ":".
  size_t mark = raw.find_first_of("/?:", host_begin);
  hostName = Slice(raw, host_begin, mark);
  if (mark == std::string::npos)
    return;

  if (raw[mark] == ':') {
    const size_t end = raw.find_first_of("/?", mark + 1);
    port = Slice(raw, mark + 1, end);
    if (end == std::string::npos)
      return;
    mark = end;
  }

  if (raw[mark] == '/') {
    const size_t end = raw.find('?', mark + 1);
    path = Slice(raw, mark, end);
    if (end == std::string::npos)
      return;
    mark = end;
  }

  // raw[mark] is the "?" that opens the query; only here is "#" a mark.
  const size_t hash = raw.find('#', mark + 1);
  query = Slice(raw, mark + 1, hash);
  if (hash == std::string::npos)
    return;
  fragment = raw.substr(hash + 1);
}

// static
std::string ZQEUrlParser::urlEncode(const std::string& s,
                                    bool bencode_space_as_plus) {
  std::string result;
  result.reserve(s.size());
  for (char c : s) {
    if (IsUnreserved(static_cast<unsigned char>(c))) {
      result.push_back(c);
    } else if (c == ' ') {
      result.push_back(bencode_space_as_plus ? '+' : ' ');
    } else {
      char hex[2];
      toHex(hex, c);
      result.push_back('%');
      result.append(hex, sizeof(hex));
    }
  }
  return result;
}

// static
std::string ZQEUrlParser::urlDecode(const std::string& str,
                                    bool bencode_space_as_plus) {
  std::string result;
  result.reserve(str.size());
  const size_t n = str.size();
  for (size_t i = 0; i < n; ++i) {
    const char c = str[i];
    if (c == '+') {
      result.push_back(bencode_space_as_plus ? ' ' : '+');
    } else if (c == '%') {
      // Checked here rather than through toChar()'s exception, which would
      // make every malformed input pay for a throw.
      if (n - i < 3)
        return std::string();
      const int high = HexDigitValue(str[i + 1]);
      const int low = HexDigitValue(str[i + 2]);
      if (high < 0 || low < 0)
        return std::string();
      result.push_back(static_cast<char>((high << 4) | low));
      i += 2;
    } else {
      result.push_back(c);
    }
  }
  return result;
}

// static
void ZQEUrlParser::toHex(char* desthex, char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  desthex[0] = kHexDigits[byte >> 4];
  desthex[1] = kHexDigits[byte & 0x0F];
}

// static
char ZQEUrlParser::toChar(const char* hex) {
  const int high = HexDigitValue(hex[0]);
  if (high < 0)
    throw kInvalidHexDigitException;
  const int low = HexDigitValue(hex[1]);
  if (low < 0)
    throw kInvalidHexDigitException;
  return static_cast<char>((high << 4) | low);
}

// static
size_t ZQEUrlParser::parseKeyValue(const std::string& rawstr,
                                   __kv_callback kvcb,
                                   void* obj,
                                   bool strict) {
  const size_t begin = rawstr.find_first_not_of(' ');
  if (begin == std::string::npos)
    return static_cast<size_t>(-1);
  if (!kvcb)
    return 0;

  size_t calls = 0;
  size_t item_begin = begin;
  while (true) {
    size_t item_end = rawstr.find('&', item_begin);
    if (item_end == std::string::npos)
      item_end = rawstr.size();

    // The value follows the last "=" of the item; the key is the text
    // between the "=" before that (or the item start) and the last one.
    std::string key;
    std::string value;
    size_t last_eq = std::string::npos;
    size_t prev_eq = std::string::npos;
    for (size_t i = item_begin; i < item_end; ++i) {
      if (rawstr[i] == '=') {
        prev_eq = last_eq;
        last_eq = i;
      }
    }
    if (last_eq == std::string::npos) {
      value = rawstr.substr(item_begin, item_end - item_begin);
    } else {
      const size_t key_begin =
          prev_eq == std::string::npos ? item_begin : prev_eq + 1;
      key = rawstr.substr(key_begin, last_eq - key_begin);
      value = rawstr.substr(last_eq + 1, item_end - last_eq - 1);
    }

    const bool report = strict ? (!key.empty() && !value.empty())
                               : (!key.empty() || !value.empty());
    if (report) {
      kvcb(obj, std::move(key), std::move(value));
      ++calls;
    }

    if (item_end >= rawstr.size())
      break;
    item_begin = item_end + 1;
  }
  return calls;
}

// static
size_t ZQEUrlParser::parseKeyValueMap(
    std::unordered_map<std::string, std::string>* kvmap,
    const std::string& rawstr,
    bool strict) {
  return parseKeyValue(rawstr, kvmap ? __kv_callback_map : nullptr, kvmap,
                       strict);
}

// static
size_t ZQEUrlParser::parseKeyValueMap(std::map<std::string, std::string>* kvmap,
                                      const std::string& rawstr,
                                      bool strict) {
  return parseKeyValue(rawstr, kvmap ? __kv_callback_ordered_map : nullptr,
                       kvmap, strict);
}

// static
size_t ZQEUrlParser::parseKeyValueList(std::vector<query_kv_t>* kvvec,
                                       const std::string& rawstr,
                                       bool strict) {
  return parseKeyValue(rawstr, kvvec ? __kv_callback_vec : nullptr, kvvec,
                       strict);
}

// static
int ZQEUrlParser::parsePath(std::vector<std::string>* folders,
                            const std::string& pathstr) {
  if (!folders)
    return 0;
  if (pathstr.empty() || pathstr[0] != '/')
    return static_cast<int>(folders->size());

  size_t segment_begin = 1;
  while (segment_begin < pathstr.size()) {
    size_t segment_end = pathstr.find('/', segment_begin);
    if (segment_end == std::string::npos)
      segment_end = pathstr.size();
    folders->push_back(
        pathstr.substr(segment_begin, segment_end - segment_begin));
    segment_begin = segment_end + 1;
  }
  return static_cast<int>(folders->size());
}

// static
std::string ZQEUrlParser::kvMap2Url(
    const ZQEUrlParser* parser,
    const std::unordered_map<std::string, std::string>& kvmap) {
  if (!parser)
    return std::string();

  std::string url = parser->scheme;
  url += "://";
  url += parser->hostName;
  if (!parser->port.empty()) {
    url += ':';
    url += parser->port;
  }
  url += parser->path;
  if (!kvmap.empty()) {
    url += '?';
    bool first = true;
    for (const auto& kv : kvmap) {
      if (!first)
        url += '&';
      first = false;
      url += kv.first;
      url += '=';
      url += kv.second;
    }
  }
  if (!parser->fragment.empty()) {
    url += '#';
    url += parser->fragment;
  }
  return url;
}

}  // namespace zqextensionkit
