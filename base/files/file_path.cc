#include "base/files/file_path.h"

#include <ostream>

namespace base {
inline namespace zqe {

const FilePath::CharType FilePath::kSeparators[] = "/";
const size_t FilePath::kSeparatorsLength = sizeof(kSeparators);
const FilePath::CharType FilePath::kCurrentDirectory[] = ".";
const FilePath::CharType FilePath::kParentDirectory[] = "..";

namespace {

// |text| up to its first NUL byte.
std::string WithoutNul(const std::string& text) {
  size_t nul_pos = text.find('\0');
  return nul_pos == std::string::npos ? text : text.substr(0, nul_pos);
}

}  // namespace

FilePath::FilePath() = default;

FilePath::FilePath(const FilePath& that) = default;

FilePath::FilePath(const StringType& path) : path_(WithoutNul(path)) {}

FilePath::~FilePath() = default;

FilePath& FilePath::operator=(const FilePath& that) = default;

// static
bool FilePath::IsSeparator(CharType character) {
  return character == kSeparators[0];
}

FilePath FilePath::DirName() const {
  FilePath new_path(*this);
  new_path.StripTrailingSeparatorsInternal();

  const size_t last_separator = new_path.path_.rfind(kSeparators[0]);
  if (last_separator == StringType::npos) {
    // The path is in the current directory.
    new_path.path_.clear();
  } else if (last_separator == 0) {
    // The path is in the root directory.
    new_path.path_.resize(1);
  } else if (last_separator == 1 && IsSeparator(new_path.path_[0])) {
    // The path is in "//", which POSIX allows to be a root of its own.
    new_path.path_.resize(2);
  } else {
    new_path.path_.resize(last_separator);
  }

  new_path.StripTrailingSeparatorsInternal();
  if (new_path.path_.empty())
    new_path.path_ = kCurrentDirectory;
  return new_path;
}

FilePath FilePath::BaseName() const {
  FilePath new_path(*this);
  new_path.StripTrailingSeparatorsInternal();

  // Keep everything after the last separator, unless the path is a root made
  // only of separators.
  const size_t last_separator = new_path.path_.rfind(kSeparators[0]);
  if (last_separator != StringType::npos &&
      last_separator < new_path.path_.size() - 1) {
    new_path.path_.erase(0, last_separator + 1);
  }
  return new_path;
}

FilePath FilePath::Append(const StringType& component) const {
  const StringType appended = WithoutNul(component);

  // Appending to "." would only lengthen the path.
  if (path_ == kCurrentDirectory && !appended.empty())
    return FilePath(appended);

  FilePath new_path(*this);
  new_path.StripTrailingSeparatorsInternal();

  // No separator after an empty path (the current directory) or before an
  // empty component, nor after a root that still ends with one.
  if (!appended.empty() && !new_path.path_.empty() &&
      !IsSeparator(new_path.path_.back())) {
    new_path.path_.push_back(kSeparators[0]);
  }
  new_path.path_.append(appended);
  return new_path;
}

FilePath FilePath::Append(const FilePath& component) const {
  return Append(component.value());
}

bool FilePath::IsAbsolute() const {
  return !path_.empty() && IsSeparator(path_[0]);
}

bool FilePath::ReferencesParent() const {
  size_t begin = 0;
  while (begin <= path_.size()) {
    size_t end = path_.find(kSeparators[0], begin);
    if (end == StringType::npos)
      end = path_.size();
    const StringType component = path_.substr(begin, end - begin);
    // Besides "..", refuse components such as ".. " or "...": some file
    // systems treat them as the parent as well.
    if (component.find_first_not_of(". \n\r\t") == StringType::npos &&
        component.find(kParentDirectory) != StringType::npos) {
      return true;
    }
    begin = end + 1;
  }
  return false;
}

std::string FilePath::AsUTF8Unsafe() const {
  return path_;
}

std::string FilePath::MaybeAsASCII() const {
  for (char c : path_) {
    if (static_cast<unsigned char>(c) > 0x7F)
      return std::string();
  }
  return path_;
}

// static
FilePath FilePath::FromUTF8Unsafe(const std::string& utf8) {
  return FilePath(utf8);
}

void FilePath::StripTrailingSeparatorsInternal() {
  // |start| is 1, so a single leading separator is never stripped. Two
  // leading separators are kept as well ("//" is a root of its own), unless
  // the path began with more than two.
  const size_t start = 1;
  size_t last_stripped = StringType::npos;
  for (size_t pos = path_.size(); pos > start && IsSeparator(path_[pos - 1]);
       --pos) {
    if (pos != start + 1 || last_stripped == start + 2 ||
        !IsSeparator(path_[start - 1])) {
      path_.resize(pos - 1);
      last_stripped = pos;
    }
  }
}

std::ostream& operator<<(std::ostream& out, const FilePath& file_path) {
  return out << file_path.value();
}

}  // namespace zqe
}  // namespace base
