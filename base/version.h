// base::Version: a dot-separated numeric version such as "1.12.0".
//
// Parsing: each "."-separated component is a decimal number that fits
// uint32_t, written with digits only (no sign, space or other character).
// The first component has no leading zero ("01.2" is invalid); later ones may
// ("1.02" is 1.2). Empty text or an empty component makes the version invalid;
// an invalid version has no components and GetString() returns "".
//
// Comparison goes component by component, missing trailing components
// counting as zero, so "1" equals "1.0.0". An invalid version compares like
// a version without components, i.e. equal to "0"; check IsValid() first when
// that matters.
//
// Thread-safety: a Version is a plain value; const use from several threads is
// safe.
#ifndef BASE_VERSION_H_
#define BASE_VERSION_H_

#include <stdint.h>

#include <iosfwd>
#include <string>
#include <vector>

#include "base/base_export.h"

namespace base {
inline namespace zqe {

// A dotted version such as "3.2.0": digits-only components, compared one by
// one, missing trailing components counting as zero.
class BASE_EXPORT Version {
 public:
  // An invalid version.
  Version();
  Version(const Version& other);
  Version& operator=(const Version& other);
  ~Version();

  // Parses |version_str|; see the top of this file.
  explicit Version(const std::string& version_str);

  // Whether the text parsed; an invalid version compares with nothing.
  bool IsValid() const;

  // -1, 0 or 1 as this version is older than, equal to or newer than |other|.
  int CompareTo(const Version& other) const;

  // The canonical text ("1.2" for "1.02"), or "" when invalid.
  const std::string GetString() const;

  // The numbers, in order (empty when invalid).
  const std::vector<uint32_t>& components() const { return components_; }

 private:
  std::vector<uint32_t> components_;
};

// Comparisons by CompareTo() (both versions valid).
BASE_EXPORT bool operator==(const Version& v1, const Version& v2);
BASE_EXPORT bool operator!=(const Version& v1, const Version& v2);
BASE_EXPORT bool operator<(const Version& v1, const Version& v2);
BASE_EXPORT bool operator<=(const Version& v1, const Version& v2);
BASE_EXPORT bool operator>(const Version& v1, const Version& v2);
BASE_EXPORT bool operator>=(const Version& v1, const Version& v2);
// Writes GetString().
BASE_EXPORT std::ostream& operator<<(std::ostream& stream, const Version& v);

}  // namespace zqe
}  // namespace base

#endif  // BASE_VERSION_H_
