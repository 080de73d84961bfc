/// \file
/// The version of ZQExtensionKit that a host or plug-in is compiled against.
///
/// The macros name the version of the headers; ZQExtensionKit::GetSDKVersion()
/// names the version of the ZQExtensionKit.so that is loaded, which may be a
/// later release of the same major version. The build takes its version from
/// this file (CMake's project version, the CMake package's version file and
/// the pkg-config file follow it), so the two can never drift apart.
///
/// Compatibility: releases with the same major version keep every exported
/// symbol, every interface's slots and every id. A later release may add
/// operations only after an interface's existing slots (after its
/// destructor), so a plug-in or host built against 1.x keeps working with any
/// later 1.y; one built against 1.y may use what 1.y added, and so needs at
/// least 1.y.
///
/// Threads: constants only.

#ifndef ZQEXTENSIONKIT_ZQEXTENSIONKITVERSION_H_
#define ZQEXTENSIONKIT_ZQEXTENSIONKITVERSION_H_

/// Major version: a change breaks plug-ins or hosts built against another.
#define ZQEXTENSIONKIT_VERSION_MAJOR 1
/// Minor version: additions that builds against an earlier minor keep working
/// with.
#define ZQEXTENSIONKIT_VERSION_MINOR 0
/// Patch version: fixes only.
#define ZQEXTENSIONKIT_VERSION_PATCH 0
/// "MAJOR.MINOR.PATCH", the version the SDK's packages carry.
#define ZQEXTENSIONKIT_VERSION_STRING "1.0.0"
/// One number that grows with every release, for preprocessor comparisons:
/// `#if ZQEXTENSIONKIT_VERSION >= ZQEXTENSIONKIT_MAKE_VERSION(1, 1, 0)`.
#define ZQEXTENSIONKIT_VERSION                              \
  ZQEXTENSIONKIT_MAKE_VERSION(ZQEXTENSIONKIT_VERSION_MAJOR, \
                              ZQEXTENSIONKIT_VERSION_MINOR, \
                              ZQEXTENSIONKIT_VERSION_PATCH)
/// The number ZQEXTENSIONKIT_VERSION has for version major.minor.patch
/// (minor and patch below 1000).
#define ZQEXTENSIONKIT_MAKE_VERSION(major, minor, patch) \
  ((major)*1000000 + (minor)*1000 + (patch))

#endif  // ZQEXTENSIONKIT_ZQEXTENSIONKITVERSION_H_
