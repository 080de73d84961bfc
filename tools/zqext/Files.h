// File reading and writing for zqext's commands, with errors as one line
// that names the file. Paths are taken as given (relative ones from the
// working directory); only regular files are read.
//
// Thread-safety: none needed; each call stands alone.

#ifndef TOOLS_ZQEXT_FILES_H_
#define TOOLS_ZQEXT_FILES_H_

#include <string>

namespace zqext {

// Reads the whole regular file `path` into `*content`. False, with
// `*error` = "<path>: <reason>", when it is missing, not a regular file,
// unreadable or larger than `max_size` bytes.
bool ReadFile(const std::string& path,
              size_t max_size,
              std::string* content,
              std::string* error);

// Replaces `path` with `content`: the bytes go to a temporary file beside
// it, which is renamed over `path` once complete, so a failed write never
// leaves a half-written file behind. The file gets `mode` less the umask,
// also when it replaces one. False, with `*error` = "<path>: <reason>", on
// failure.
bool WriteFile(const std::string& path,
               const std::string& content,
               unsigned mode,
               std::string* error);

// Gives the open file `fd` the permission bits `mode` (exactly), writes all
// of `content` to it and closes it, also when a step fails. 0 on success,
// or the errno of the first step that failed (a write that failed late
// shows in close()).
int WriteAllAndClose(int fd, unsigned mode, const std::string& content);

}  // namespace zqext

#endif  // TOOLS_ZQEXT_FILES_H_
