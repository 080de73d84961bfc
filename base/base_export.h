// Export macro of the base types that appear in the kit's public signatures.
// They are compiled into ZQExtensionKit.so, which hides everything else.
//
// Symbol names: every declaration of this layer lives in the inline namespace
// base::zqe. Source code keeps writing base::Value, base::FilePath, ...; the
// linker sees base::zqe::Value. A host that also links another library with
// a namespace `base` thus never gets two definitions of one symbol with
// different layouts. A forward declaration of a base type opens the inline
// namespace too:
//
//   namespace base {
//   inline namespace zqe {
//   class DictionaryValue;
//   }  // namespace zqe
//   }  // namespace base
#ifndef BASE_BASE_EXPORT_H_
#define BASE_BASE_EXPORT_H_

// Marks a declaration of the base layer as exported from ZQExtensionKit.so.
#define BASE_EXPORT __attribute__((visibility("default")))

#endif  // BASE_BASE_EXPORT_H_
