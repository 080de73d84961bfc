#include "base/version.h"

#include <ostream>

namespace base {
inline namespace zqe {

namespace {

// Parses one component: digits only, fitting uint32_t.
bool ParseComponent(const std::string& text,
                    size_t begin,
                    size_t end,
                    uint32_t* out) {
  if (begin == end)
    return false;
  uint64_t value = 0;
  for (size_t i = begin; i < end; ++i) {
    char c = text[i];
    if (c < '0' || c > '9')
      return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > UINT32_MAX)
      return false;
  }
  *out = static_cast<uint32_t>(value);
  return true;
}

bool ParseVersionNumbers(const std::string& version_str,
                         std::vector<uint32_t>* parsed) {
  if (version_str.empty())
    return false;
  size_t begin = 0;
  while (true) {
    size_t end = version_str.find('.', begin);
    if (end == std::string::npos)
      end = version_str.size();
    uint32_t number = 0;
    if (!ParseComponent(version_str, begin, end, &number))
      return false;
    // Only the first component must be written without leading zeros.
    if (begin == 0 && end - begin > 1 && version_str[0] == '0')
      return false;
    parsed->push_back(number);
    if (end == version_str.size())
      return true;
    begin = end + 1;
  }
}

}  // namespace

Version::Version() = default;

Version::Version(const Version& other) = default;

Version& Version::operator=(const Version& other) = default;

Version::~Version() = default;

Version::Version(const std::string& version_str) {
  std::vector<uint32_t> parsed;
  if (ParseVersionNumbers(version_str, &parsed))
    components_.swap(parsed);
}

bool Version::IsValid() const {
  return !components_.empty();
}

int Version::CompareTo(const Version& other) const {
  const std::vector<uint32_t>& lhs = components_;
  const std::vector<uint32_t>& rhs = other.components_;
  const size_t count = lhs.size() > rhs.size() ? lhs.size() : rhs.size();
  for (size_t i = 0; i < count; ++i) {
    uint32_t a = i < lhs.size() ? lhs[i] : 0;
    uint32_t b = i < rhs.size() ? rhs[i] : 0;
    if (a != b)
      return a < b ? -1 : 1;
  }
  return 0;
}

const std::string Version::GetString() const {
  std::string version_str;
  for (size_t i = 0; i < components_.size(); ++i) {
    if (i > 0)
      version_str.push_back('.');
    version_str.append(std::to_string(components_[i]));
  }
  return version_str;
}

bool operator==(const Version& v1, const Version& v2) {
  return v1.CompareTo(v2) == 0;
}

bool operator!=(const Version& v1, const Version& v2) {
  return !(v1 == v2);
}

bool operator<(const Version& v1, const Version& v2) {
  return v1.CompareTo(v2) < 0;
}

bool operator<=(const Version& v1, const Version& v2) {
  return v1.CompareTo(v2) <= 0;
}

bool operator>(const Version& v1, const Version& v2) {
  return v1.CompareTo(v2) > 0;
}

bool operator>=(const Version& v1, const Version& v2) {
  return v1.CompareTo(v2) >= 0;
}

std::ostream& operator<<(std::ostream& stream, const Version& v) {
  return stream << v.GetString();
}

}  // namespace zqe
}  // namespace base
