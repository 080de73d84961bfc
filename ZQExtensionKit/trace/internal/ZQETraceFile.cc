#include "ZQExtensionKit/trace/internal/ZQETraceFile.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <system_error>
#include <utility>

namespace zqextensionkit {

namespace {

constexpr char kHead[] = "{\"displayTimeUnit\":\"ms\",\"traceEvents\":[\n";
constexpr char kTail[] = "\n]}\n";

std::string Reason(int error) {
  return std::error_code(error, std::generic_category()).message();
}

}  // namespace

ZQETraceFile::ZQETraceFile(std::string path) : path_(std::move(path)) {}

ZQETraceFile::~ZQETraceFile() {
  if (fd_ >= 0)
    close(fd_);
}

bool ZQETraceFile::Append(const char* events, size_t size, std::string* error) {
  if (failed_)
    return false;
  if (size == 0)
    return true;
  if (fd_ < 0 && !Open(error)) {
    failed_ = true;
    return false;
  }
  // The new events go where the closing text was, and the closing text
  // after them: the text written is always longer than the text it
  // replaces, so nothing of the old closing text is left behind. Written
  // in pieces from where they are: the events are not copied again.
  static constexpr char kSeparator[] = ",\n";
  off_t at = end_;
  if (has_events_) {
    if (!WriteAt(at, kSeparator, sizeof(kSeparator) - 1, error)) {
      failed_ = true;
      return false;
    }
    at += static_cast<off_t>(sizeof(kSeparator) - 1);
  }
  if (!WriteAt(at, events, size, error) ||
      !WriteAt(at + static_cast<off_t>(size), kTail, sizeof(kTail) - 1,
               error)) {
    failed_ = true;
    return false;
  }
  end_ = at + static_cast<off_t>(size);
  has_events_ = true;
  return true;
}

bool ZQETraceFile::Open(std::string* error) {
  fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    *error = path_ + " cannot be opened for writing (" + Reason(errno) + ")";
    return false;
  }
  if (!WriteAt(0, kHead, sizeof(kHead) - 1, error))
    return false;
  end_ = static_cast<off_t>(sizeof(kHead) - 1);
  return true;
}

bool ZQETraceFile::WriteAt(off_t offset,
                           const char* data,
                           size_t size,
                           std::string* error) {
  size_t written = 0;
  while (written < size) {
    const ssize_t result = pwrite(fd_, data + written, size - written,
                                  offset + static_cast<off_t>(written));
    if (result < 0 && errno == EINTR)
      continue;
    if (result <= 0) {
      *error = path_ + " cannot be written (" +
               Reason(result < 0 ? errno : EIO) + ")";
      return false;
    }
    written += static_cast<size_t>(result);
  }
  return true;
}

}  // namespace zqextensionkit
