// Export macro of the base types that appear in the kit's public signatures.
// They are compiled into ZQExtensionKit.so, which hides everything else.
#ifndef BASE_BASE_EXPORT_H_
#define BASE_BASE_EXPORT_H_

#define BASE_EXPORT __attribute__((visibility("default")))

#endif  // BASE_BASE_EXPORT_H_
