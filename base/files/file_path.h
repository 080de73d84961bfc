// base::FilePath: a POSIX file path held as its byte string.
//
// FilePath only manipulates text; it never touches the file system. "/" is
// the separator. Text from the constructor or Append() is cut at the first
// NUL byte, since no system call could use what follows it.
//
//   base::FilePath dir("/opt/app/extensions");
//   base::FilePath manifest = dir.Append("demo").Append("manifest.json");
//   manifest.DirName().value();   // "/opt/app/extensions/demo"
//   manifest.BaseName().value();  // "manifest.json"
//
// Thread-safety: a FilePath is a plain value; const use from several threads
// is safe.
#ifndef BASE_FILES_FILE_PATH_H_
#define BASE_FILES_FILE_PATH_H_

#include <stddef.h>

#include <iosfwd>
#include <string>

#include "base/base_export.h"

namespace base {
inline namespace zqe {

// A POSIX path held as text: joined, split and compared without touching the
// file system.
class BASE_EXPORT FilePath {
 public:
  // The text of a path, and one of its characters.
  using StringType = std::string;
  // One character of a path.
  using CharType = StringType::value_type;

  static const CharType kSeparators[];        // "/"
  static const size_t kSeparatorsLength;      // characters in kSeparators
  static const CharType kCurrentDirectory[];  // "."
  static const CharType kParentDirectory[];   // ".."

  // An empty path.
  FilePath();
  // A copy of `that`.
  FilePath(const FilePath& that);
  // The path `path`, as written.
  explicit FilePath(const StringType& path);
  ~FilePath();
  // Copies `that`.
  FilePath& operator=(const FilePath& that);

  // Compare the texts, byte by byte.
  bool operator==(const FilePath& that) const { return path_ == that.path_; }
  bool operator!=(const FilePath& that) const { return path_ != that.path_; }
  bool operator<(const FilePath& that) const { return path_ < that.path_; }

  // The path's text.
  const StringType& value() const { return path_; }
  // Whether the text is empty, and emptying it.
  bool empty() const { return path_.empty(); }
  void clear() { path_.clear(); }

  // Whether `character` is '/'.
  static bool IsSeparator(CharType character);

  // The directory holding this path: trailing separators are dropped, then
  // the last component. "/a/b/" gives "/a", "/a" gives "/", "a" gives ".",
  // "/" gives "/".
  FilePath DirName() const;

  // The last component, trailing separators dropped: "/a/b/" gives "b", "/"
  // gives "/", "" gives "".
  FilePath BaseName() const;

  // This path joined with |component|: trailing separators of this path are
  // dropped (a root stays), one "/" goes between when both sides are
  // non-empty, and |component| is appended as written. Appending to "."
  // gives |component| itself.
  FilePath Append(const StringType& component) const;
  FilePath Append(const FilePath& component) const;

  // Whether the path starts with "/".
  bool IsAbsolute() const;

  // Whether any component is ".." (or, as a precaution, any other component
  // made only of dots and white space that contains "..").
  bool ReferencesParent() const;

  // The path's bytes, assumed to be UTF-8 (POSIX paths carry no encoding).
  std::string AsUTF8Unsafe() const;
  // The path's bytes when they are all ASCII, otherwise "".
  std::string MaybeAsASCII() const;
  static FilePath FromUTF8Unsafe(const std::string& utf8);

 private:
  // Drops trailing separators but keeps a leading "/" or "//" root.
  void StripTrailingSeparatorsInternal();

  StringType path_;
};

// Writes the path's text.
BASE_EXPORT std::ostream& operator<<(std::ostream& out,
                                     const FilePath& file_path);

}  // namespace zqe
}  // namespace base

#endif  // BASE_FILES_FILE_PATH_H_
