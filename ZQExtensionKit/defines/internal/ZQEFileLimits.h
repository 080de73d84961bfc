// The largest file the kit reads whole into memory: a manifest.json,
// extensions/config.json or extension_adapter_mapping.json. Real files are a
// few kilobytes; the bound only keeps a package whose file is huge, or is a
// link to an endless device, from exhausting the host's memory. Such a file
// is refused like an unreadable one.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEFILELIMITS_H_
#define ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEFILELIMITS_H_

#include <cstddef>

namespace zqextensionkit {

inline constexpr size_t kMaxConfigurationFileSize = 64 * 1024 * 1024;

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEFILELIMITS_H_
