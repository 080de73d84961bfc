// ZQETraceRecords: the start-up trace's spans as the recorder keeps them,
// and their Trace Event Format JSON.
//
// A span that ends is copied as a record: a Head, then its raw arguments
// (each an ArgHead and its bytes); a thread's or the process's name is a
// record too. Records are packed one after another in Bytes, copied in and
// out with memcpy, and turned into JSON only when written (Format()), so
// that recording costs a copy and no formatting.
//
// Threads: none of its own; Bytes is used by one thread at a time.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_TRACE_INTERNAL_ZQETRACERECORDS_H_
#define ZQEXTENSIONKIT_TRACE_INTERNAL_ZQETRACERECORDS_H_

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zqextensionkit {

class ZQETraceRecords {
 public:
  // Bytes written in place (records, or their JSON): grows without filling
  // its room first, never shrinks.
  class Bytes {
   public:
    const char* data() const { return data_.get(); }
    size_t size() const { return size_; }
    void Clear() { size_ = 0; }
    // Keeps the first `size` bytes.
    void Truncate(size_t size) { size_ = size < size_ ? size : size_; }
    // Room for `size` more bytes, at the end; throws std::bad_alloc when
    // there is no memory for it.
    char* Room(size_t size);
    // Ends what was written in the room at `end`.
    void Commit(const char* end) {
      size_ = static_cast<size_t>(end - data_.get());
    }

   private:
    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
  };

  enum class Kind : uint8_t { kSpan, kThreadName, kProcessName };

  // The head of each record, followed by `size` bytes: a span's raw
  // arguments, or the name of a thread or the process.
  struct Head {
    Kind kind;
    uint8_t name_size;
    uint8_t category_size;
    int tid;
    size_t size;
    const char* name;  // The span's, and its category: literals.
    const char* category;
    const char* outcome;  // Null, or text that outlives the trace.
    const char* reason;
    int64_t start_ns;
    int64_t end_ns;
  };

  // What precedes each argument's bytes in a span's arguments: its key (a
  // literal) and the size of its string (kNumber: an int64_t's 8 bytes).
  struct ArgHead {
    const char* key;
    uint32_t size;
  };
  static constexpr uint32_t kNumber = UINT32_MAX;

  ZQETraceRecords() = delete;

  // Appends a record with `head` (its size set to `size`) and the `size`
  // bytes at `data` to *records; throws std::bad_alloc.
  static void Append(Bytes* records, Head head, const char* data, size_t size);
  // The JSON of the events in `records`, separated by ",\n", into *json,
  // for process `pid` with time 0 at `base_ns`: strings escaped as JSON
  // wants, bytes that are not well-formed UTF-8 as U+FFFD. Throws
  // std::bad_alloc.
  static void Format(const Bytes& records,
                     int pid,
                     int64_t base_ns,
                     Bytes* json);
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_TRACE_INTERNAL_ZQETRACERECORDS_H_
