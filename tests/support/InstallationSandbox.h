// Test support: run a GoogleTest body with a client installation beside the
// running executable.
//
// InstallationSandbox builds an Installation (Installation.h) for the
// current test. Run() places the test executable in it and runs the same
// test again in that child process, where `body` executes with the
// installation beside /proc/self/exe; the child's assertions decide the
// test, and on failure its whole output is shown. Code outside the body
// runs in both processes: in the child the sandbox adopts the parent's
// directory and its Write...() calls do nothing, so keep that code to
// describing the installation.
//
//   TEST_F(LoadTest, PlainConfigurationLoads) {
//     test::InstallationSandbox sandbox;
//     sandbox.WriteAdapterMapping("{}");
//     sandbox.WriteConfig(R"({"artifacts": ["pkg"]})");
//     sandbox.WriteManifest("pkg", R"({"id": "pkg"})");
//     sandbox.Run([&] {
//       ZQEConfigurationManagerImpl manager;
//       EXPECT_TRUE(manager.LoadAllExtensionInfos());
//     });
//   }
//
// A test may build several sandboxes (one per executable path length, say);
// each runs its own child, which executes only that sandbox's body. Run()
// is called once per sandbox. Works in every test executable, the
// concurrency tests under ThreadSanitizer included.

#ifndef TESTS_SUPPORT_INSTALLATIONSANDBOX_H_
#define TESTS_SUPPORT_INSTALLATIONSANDBOX_H_

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/Installation.h"

namespace zqextensionkit {
namespace test {

class InstallationSandbox {
 public:
  // See Installation(size_t) for `executable_path_length`.
  explicit InstallationSandbox(size_t executable_path_length = 0);
  ~InstallationSandbox();
  InstallationSandbox(const InstallationSandbox&) = delete;
  InstallationSandbox& operator=(const InstallationSandbox&) = delete;

  // True in the child process that runs this sandbox's body.
  bool inside() const { return role_ == Role::kInside; }

  // The installation directory (the executable's directory) and its
  // extensions directory; empty for a sandbox that another child runs.
  std::filesystem::path dir() const { return installation_.dir(); }
  std::filesystem::path extensions_dir() const {
    return installation_.extensions_dir();
  }

  // Write into the installation (in the parent only); see Installation. A
  // failure fails the test.
  void WriteFile(const std::string& relative_path, const std::string& content);
  void WriteAdapterMapping(const std::string& json);
  void WriteConfig(const std::string& text);
  void WriteManifest(const std::string& package, const std::string& json);
  void CopyFile(const std::filesystem::path& from,
                const std::string& relative_path);

  // Parent: runs the current test in a child beside the installation and
  // fails when the child's test fails. Child: runs `body`.
  void Run(const std::function<void()>& body);

 private:
  enum class Role {
    kParent,     // Builds the installation and starts the child.
    kInside,     // The child of this sandbox: runs the body.
    kBystander,  // A child of another sandbox of the same test.
  };

  Role role_ = Role::kParent;
  int ordinal_ = 0;  // Position among the current test's sandboxes.
  bool ran_ = false;
  // Empty for a bystander; adopted (not removed) inside the child.
  Installation installation_ = Installation::Adopt({});
};

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_INSTALLATIONSANDBOX_H_
