// A fresh temporary directory for one test, removed with everything in it
// when the object goes away. Tests write their fixture files (manifests,
// libraries, configuration) into it, so no test touches a shared location.

#ifndef TESTS_SUPPORT_SCOPEDTEMPDIR_H_
#define TESTS_SUPPORT_SCOPEDTEMPDIR_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace zqextensionkit {
namespace test {

class ScopedTempDir {
 public:
  ScopedTempDir() {
    std::string tmpl =
        (std::filesystem::temp_directory_path() / "zq_test_XXXXXX").string();
    if (mkdtemp(tmpl.data()))
      path_ = tmpl;
    else
      ADD_FAILURE() << "mkdtemp failed for " << tmpl;
  }
  ~ScopedTempDir() {
    std::error_code ignored;
    if (!path_.empty())
      std::filesystem::remove_all(path_, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `content` (any bytes) to `name` in the directory; returns its path.
  std::string WriteFile(const std::string& name,
                        const std::string& content) const {
    const std::string file = (path_ / name).string();
    std::ofstream out(file, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    EXPECT_TRUE(out.good()) << "cannot write " << file;
    return file;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_SCOPEDTEMPDIR_H_
