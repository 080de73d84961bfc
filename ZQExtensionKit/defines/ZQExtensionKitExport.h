// Export macro of ZQExtensionKit.so.
//
// The kit is built with hidden visibility: only declarations marked with
// ZQEXTENSIONKIT_EXPORT are visible to hosts and plug-in libraries. The same
// macro is used when building and when consuming the library (ELF needs no
// import decoration).
#ifndef ZQEXTENSIONKIT_DEFINES_ZQEXTENSIONKITEXPORT_H_
#define ZQEXTENSIONKIT_DEFINES_ZQEXTENSIONKITEXPORT_H_

// Marks a declaration as exported from ZQExtensionKit.so.
#define ZQEXTENSIONKIT_EXPORT __attribute__((visibility("default")))

#endif  // ZQEXTENSIONKIT_DEFINES_ZQEXTENSIONKITEXPORT_H_
