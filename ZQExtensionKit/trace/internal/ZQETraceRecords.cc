#include "ZQExtensionKit/trace/internal/ZQETraceRecords.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zqextensionkit {

namespace {

// Whether the 8 bytes of `word` are all printable ASCII other than the
// quote and the backslash: what a JSON string holds as it is.
bool PlainWord(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighs = 0x8080808080808080;
  // High bit of a byte set where that byte of x was zero.
  const auto zero = [](uint64_t x) { return (x - kOnes) & ~x & kHighs; };
  const uint64_t below_space = (word - kOnes * 0x20) & ~word & kHighs;
  return ((word & kHighs) | below_space | zero(word ^ (kOnes * '"')) |
          zero(word ^ (kOnes * '\\'))) == 0;
}

// Writes the `size` bytes of `text` at `out` as the contents of a JSON
// string, and returns the end: quotes, backslashes and control characters
// escaped, and every byte that is not part of well-formed UTF-8 written as
// U+FFFD, so the trace is valid JSON whatever a path holds. `out` has room
// for 6 bytes per byte of `text`.
char* PutEscaped(char* out, const char* text, size_t size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t run = 0;  // Start of the plain run not yet written.
  size_t i = 0;
  while (i < size) {
    uint64_t word;
    if (i + sizeof(word) <= size) {
      std::memcpy(&word, bytes + i, sizeof(word));
      if (PlainWord(word)) {
        i += sizeof(word);
        continue;
      }
    }
    const unsigned char c = bytes[i];
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      ++i;
      continue;
    }
    // A multi-byte sequence: its length from the lead byte, its second
    // byte's range from the lead byte (no overlong forms, no surrogates,
    // nothing above U+10FFFF), continuation bytes after that.
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      low = c == 0xE0 ? 0xA0 : low;
      high = c == 0xED ? 0x9F : high;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      low = c == 0xF0 ? 0x90 : low;
      high = c == 0xF4 ? 0x8F : high;
    }
    if (length != 0) {
      bool valid =
          i + length <= size && bytes[i + 1] >= low && bytes[i + 1] <= high;
      for (size_t k = 2; valid && k < length; ++k)
        valid = bytes[i + k] >= 0x80 && bytes[i + k] <= 0xBF;
      if (valid) {
        i += length;
        continue;
      }
    }
    std::memcpy(out, text + run, i - run);
    out += i - run;
    char escape[8] = {'\\', 'u', '0', '0', '0', '0', 0, 0};
    size_t escape_size = 6;
    if (c == '"' || c == '\\') {
      escape[1] = static_cast<char>(c);
      escape_size = 2;
    } else if (c == '\n') {
      escape[1] = 'n';
      escape_size = 2;
    } else if (c == '\t') {
      escape[1] = 't';
      escape_size = 2;
    } else if (c < 0x20) {
      static constexpr char kHex[] = "0123456789abcdef";
      escape[4] = kHex[c >> 4];
      escape[5] = kHex[c & 0xF];
    } else {
      std::memcpy(escape, "\\ufffd", 6);
    }
    std::memcpy(out, escape, escape_size);
    out += escape_size;
    run = ++i;
  }
  std::memcpy(out, text + run, size - run);
  return out + size - run;
}

// Writers into a buffer the caller has made big enough: each returns the
// end of what it wrote.
char* Put(char* out, const char* text, size_t size) {
  std::memcpy(out, text, size);
  return out + size;
}
template <size_t N>
char* Put(char* out, const char (&text)[N]) {
  return Put(out, text, N - 1);
}
// A name or category of the kit's own (a literal): at most 64 bytes.
char* PutName(char* out, const char* name) {
  return Put(out, name, strnlen(name, 64));
}
char* PutInt(char* out, int64_t value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233"
      "34353637383940414243444546474849505152535455565758596061626364656667"
      "6869707172737475767778798081828384858687888990919293949596979899";
  char digits[24];
  char* start = digits + sizeof(digits);
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value)
                                 : static_cast<uint64_t>(value);
  while (magnitude >= 100) {
    const size_t pair = static_cast<size_t>(magnitude % 100) * 2;
    magnitude /= 100;
    *--start = kPairs[pair + 1];
    *--start = kPairs[pair];
  }
  if (magnitude >= 10) {
    *--start = kPairs[magnitude * 2 + 1];
    *--start = kPairs[magnitude * 2];
  } else {
    *--start = static_cast<char>('0' + magnitude);
  }
  if (value < 0)
    *out++ = '-';
  const size_t count = static_cast<size_t>(digits + sizeof(digits) - start);
  std::memcpy(out, start, count);
  return out + count;
}
// "<microseconds>.<three digits>": exact, so that spans nested in
// nanoseconds stay nested in the text.
char* PutMicroseconds(char* out, int64_t ns) {
  out = PutInt(out, ns / 1000);
  const int rest = static_cast<int>(ns % 1000);
  *out++ = '.';
  *out++ = static_cast<char>('0' + rest / 100);
  *out++ = static_cast<char>('0' + rest / 10 % 10);
  *out++ = static_cast<char>('0' + rest % 10);
  return out;
}

// Room for the fixed parts of an event: names and keys of at most 64
// bytes, numbers of at most 21, and the format's own words.
constexpr size_t kEventRoom = 640;
constexpr size_t kArgRoom = 96;

// Writes the metadata event `which` ("process_name" or "thread_name") of
// thread `tid` of process `pid`, naming it with the `size` bytes at
// `name`, at `out`.
char* PutName(char* out,
              const char* which,
              int pid,
              int tid,
              const char* name,
              size_t size) {
  out = Put(out, "{\"name\":\"");
  out = PutName(out, which);
  out = Put(out, "\",\"ph\":\"M\",\"pid\":");
  out = PutInt(out, pid);
  out = Put(out, ",\"tid\":");
  out = PutInt(out, tid);
  out = Put(out, ",\"args\":{\"name\":\"");
  out = PutEscaped(out, name, size);
  return Put(out, "\"}}");
}

// Writes the complete event of the span recorded as `head` with its raw
// arguments `args` (`head.size` bytes) at `out`, which has room for
// kEventRoom bytes and kArgRoom and six per byte of each argument.
char* PutSpan(char* out,
              const ZQETraceRecords::Head& head,
              const char* args,
              int pid,
              int64_t base_ns) {
  out = Put(out, "{\"name\":\"");
  out = Put(out, head.name, head.name_size);
  out = Put(out, "\",\"cat\":\"");
  out = Put(out, head.category, head.category_size);
  out = Put(out, "\",\"ph\":\"X\",\"pid\":");
  out = PutInt(out, pid);
  out = Put(out, ",\"tid\":");
  out = PutInt(out, head.tid);
  out = Put(out, ",\"ts\":");
  out = PutMicroseconds(out, head.start_ns - base_ns);
  out = Put(out, ",\"dur\":");
  out = PutMicroseconds(out, head.end_ns - head.start_ns);
  out = Put(out, ",\"args\":{");
  bool members = false;
  // Each argument: its key, and a number or an escaped string.
  for (size_t at = 0; at + sizeof(ZQETraceRecords::ArgHead) <= head.size;) {
    ZQETraceRecords::ArgHead arg;
    std::memcpy(&arg, args + at, sizeof(arg));
    at += sizeof(arg);
    if (members)
      *out++ = ',';
    members = true;
    *out++ = '"';
    out = PutName(out, arg.key);
    out = Put(out, "\":");
    if (arg.size == ZQETraceRecords::kNumber) {
      int64_t value = 0;
      std::memcpy(&value, args + at, sizeof(value));
      at += sizeof(value);
      out = PutInt(out, value);
      continue;
    }
    *out++ = '"';
    out = PutEscaped(out, args + at, arg.size);
    *out++ = '"';
    at += arg.size;
  }
  // The outcome and reason (the kit's own words: nothing to escape).
  for (const auto& [key, value] : {std::make_pair("outcome", head.outcome),
                                   std::make_pair("reason", head.reason)}) {
    if (!value)
      continue;
    if (members)
      *out++ = ',';
    *out++ = '"';
    out = PutName(out, key);
    out = Put(out, "\":\"");
    out = PutName(out, value);
    *out++ = '"';
    members = true;
  }
  return Put(out, "}}");
}

}  // namespace

char* ZQETraceRecords::Bytes::Room(size_t size) {
  if (capacity_ - size_ < size) {
    const size_t capacity = std::max(capacity_ * 2, size_ + size);
    std::unique_ptr<char[]> grown(new char[capacity]);
    if (size_ != 0)
      std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  return data_.get() + size_;
}

// static
void ZQETraceRecords::Append(Bytes* records,
                             Head head,
                             const char* data,
                             size_t size) {
  head.size = size;
  char* out = records->Room(sizeof(head) + size);
  std::memcpy(out, &head, sizeof(head));
  std::memcpy(out + sizeof(head), data, size);
  records->Commit(out + sizeof(head) + size);
}

// static
void ZQETraceRecords::Format(const Bytes& records,
                             int pid,
                             int64_t base_ns,
                             Bytes* json) {
  json->Clear();
  const char* at = records.data();
  const char* const end = at + records.size();
  while (at < end) {
    Head head;
    std::memcpy(&head, at, sizeof(head));
    at += sizeof(head);
    // Escaping at most sextuples a byte; each argument adds a key.
    char* out =
        json->Room(kEventRoom + 6 * head.size + kArgRoom * (head.size / 8 + 1));
    if (json->size() != 0)
      out = Put(out, ",\n");
    switch (head.kind) {
      case Kind::kProcessName:
        out = PutName(out, "process_name", pid, pid, at, head.size);
        break;
      case Kind::kThreadName:
        out = PutName(out, "thread_name", pid, head.tid, at, head.size);
        break;
      case Kind::kSpan:
        out = PutSpan(out, head, at, pid, base_ns);
        break;
    }
    json->Commit(out);
    at += head.size;
  }
}

}  // namespace zqextensionkit
