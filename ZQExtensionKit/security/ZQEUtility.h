// MD5 digests of strings and files.
//
// Two forms of the same digest are offered: the raw form, the 16 digest bytes
// held in a std::string (first byte first), and the text form, 32 lower-case
// hexadecimal digits, two per byte (the usual MD5 text, as `md5sum` prints
// it). Digests cover every byte, embedded NULs included.
//
// Ownership: each function writes its result into `md5`, replacing what it
// held; inputs are only read.
//
// Failure: each function returns true on success. On failure it returns false
// and leaves `md5` unchanged; nothing is logged. The string functions fail
// only if the digest engine itself is unavailable. The file functions fail
// when the file cannot be opened or read, or is not a regular file (a
// directory, a FIFO or a device: opened without blocking and refused before
// anything is read), or when the path holds a NUL byte, which names no file.
//
// Memory: files are read through one fixed-size buffer, so memory use does
// not grow with the file's size.
//
// Threads: no shared state; any number of threads may call these at once.
//
//   std::string digest;
//   if (ZQEUtility_MD5_File_String("/path/to/libplugin.so", digest))
//     ...  // digest == "9e107d9d372bb6826bd81d3542a419d6"

#ifndef ZQEXTENSIONKIT_SECURITY_ZQEUTILITY_H_
#define ZQEXTENSIONKIT_SECURITY_ZQEUTILITY_H_

#include <string>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace zqextensionkit {

// Raw MD5 (16 bytes) of `content`.
ZQEXTENSIONKIT_EXPORT bool ZQEUtility_MD5_Hex(const std::string& content,
                                              std::string& md5);
// MD5 text (32 lower-case hex digits) of `content`.
ZQEXTENSIONKIT_EXPORT bool ZQEUtility_MD5_String(const std::string& content,
                                                 std::string& md5);
// Raw MD5 (16 bytes) of the content of the file at path `file`.
ZQEXTENSIONKIT_EXPORT bool ZQEUtility_MD5_File_Hex(const std::string& file,
                                                   std::string& md5);
// MD5 text (32 lower-case hex digits) of the content of the file at `file`.
ZQEXTENSIONKIT_EXPORT bool ZQEUtility_MD5_File_String(const std::string& file,
                                                      std::string& md5);

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_ZQEUTILITY_H_
