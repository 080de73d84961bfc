// ZQETraceFile: one trace file in the Trace Event Format, written in pieces.
//
// The file holds one JSON object, {"displayTimeUnit":"ms","traceEvents":[
// ...]}, which Perfetto and chrome://tracing open. Append() adds events to
// the array and writes the closing "]}" after them again, so the file is a
// complete JSON document after every call: a viewer, a test or a person can
// read it while the program still runs, and a program that ends abruptly
// leaves what was written so far readable.
//
// The file is created (or truncated) by the first Append(), not by the
// constructor: a trace that never gets an event leaves no file behind.
//
// Failure: when the path cannot be opened for writing (a directory, a
// folder that does not exist, no permission) or a write fails (disk full),
// Append() returns false and says why in *error; the file is failed from
// then on, and every later Append() returns false at once without touching
// the disk or *error. Nothing is logged here: the recorder (ZQETrace) turns
// the first failure into its one message.
//
// Threads: not thread-safe; the recorder serialises its use.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_TRACE_INTERNAL_ZQETRACEFILE_H_
#define ZQEXTENSIONKIT_TRACE_INTERNAL_ZQETRACEFILE_H_

#include <sys/types.h>

#include <string>

namespace zqextensionkit {

class ZQETraceFile {
 public:
  explicit ZQETraceFile(std::string path);
  ZQETraceFile(const ZQETraceFile&) = delete;
  ZQETraceFile& operator=(const ZQETraceFile&) = delete;
  // Closes the file; what was appended stays a complete document.
  ~ZQETraceFile();

  // Appends `events`: one or more JSON objects separated by commas, without
  // a comma before the first or after the last. An empty text changes
  // nothing (and creates no file).
  bool Append(const std::string& events, std::string* error) {
    return Append(events.data(), events.size(), error);
  }
  // The same, for the `size` bytes at `events`.
  bool Append(const char* events, size_t size, std::string* error);

  const std::string& path() const { return path_; }
  bool failed() const { return failed_; }

 private:
  bool Open(std::string* error);
  // Writes the `size` bytes at `data` at `offset`; on failure says why in
  // *error.
  bool WriteAt(off_t offset, const char* data, size_t size, std::string* error);

  std::string path_;
  int fd_ = -1;
  // Where the closing text starts: the next events are written there.
  off_t end_ = 0;
  bool has_events_ = false;
  bool failed_ = false;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_TRACE_INTERNAL_ZQETRACEFILE_H_
