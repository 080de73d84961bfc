// Test support: a client installation in a fresh temporary directory, and a
// way to run the current program from inside it.
//
// The kit reads its files beside the running executable (/proc/self/exe):
// extension_adapter_mapping.json, extensions/config.json and one
// extensions/<package>/manifest.json per package. A test cannot point it
// anywhere else, so it builds an Installation, writes the files it needs,
// places a hard link (or, across file systems, a copy) of the running
// executable in it and runs that executable as a child process. Each
// installation is its own directory, so tests stay independent under
// `ctest -j` and under the sanitizers.
//
// GoogleTest suites use InstallationSandbox (InstallationSandbox.h), which
// re-runs the current test inside the installation. Programs without
// GoogleTest (benchmarks) use RunProcess() directly. Header-only and free of
// GoogleTest so that both can include it; failures are reported through the
// `error` out-parameters and the results.
//
// Not thread-safe: one thread builds an installation; distinct installations
// are independent.

#ifndef TESTS_SUPPORT_INSTALLATION_H_
#define TESTS_SUPPORT_INSTALLATION_H_

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

extern char** environ;

namespace zqextensionkit {
namespace test {

// Set in the environment of a program run inside an installation; its value
// says which installation (see InstallationSandbox).
inline constexpr char kInstallationEnvironmentVariable[] =
    "ZQ_TEST_INSTALLATION";

class Installation {
 public:
  // The name of the executable placed in an installation.
  static constexpr char kExecutableName[] = "client";

  // Creates a fresh, empty installation directory below the system's
  // temporary directory. With a non-zero `executable_path_length`, padding
  // directories make the path of the placed executable exactly that many
  // bytes long (as /proc/self/exe will report it); it must leave room for
  // the temporary directory itself. On failure dir() is empty and error()
  // says why.
  explicit Installation(size_t executable_path_length = 0) {
    std::error_code ec;
    const std::filesystem::path temp =
        std::filesystem::canonical(std::filesystem::temp_directory_path(), ec);
    std::string root = (temp / "zq_install_XXXXXX").string();
    if (ec || !mkdtemp(root.data())) {
      error_ = "cannot create a temporary directory below " + temp.string();
      return;
    }
    root_ = root;
    dir_ = root_;
    executable_name_ = kExecutableName;
    if (executable_path_length == 0)
      return;
    const size_t fixed = dir_.string().size() + 1 + executable_name_.size();
    if (executable_path_length < fixed) {
      error_ =
          "the temporary directory leaves no room for an executable "
          "path of " +
          std::to_string(executable_path_length) + " bytes";
      return;
    }
    size_t remaining = executable_path_length - fixed;
    // Each padding component costs a "/" and at least one character.
    if (remaining == 1) {
      executable_name_ += "x";
      remaining = 0;
    }
    while (remaining > 0) {
      size_t length = std::min<size_t>(remaining - 1, 200);
      if (remaining - 1 - length == 1)
        --length;
      dir_ /= std::string(length, 'd');
      remaining -= length + 1;
    }
    std::filesystem::create_directories(dir_, ec);
    if (ec)
      error_ = "cannot create " + dir_.string() + ": " + ec.message();
  }

  // Adopts an installation that another process made: nothing is created,
  // and nothing is removed when this object goes away.
  static Installation Adopt(const std::filesystem::path& dir) {
    Installation adopted(kAdopt);
    adopted.dir_ = dir;
    return adopted;
  }

  Installation(Installation&& other) noexcept { *this = std::move(other); }
  Installation& operator=(Installation&& other) noexcept {
    RemoveAll();
    root_ = std::exchange(other.root_, std::filesystem::path());
    dir_ = std::move(other.dir_);
    executable_name_ = std::move(other.executable_name_);
    error_ = std::move(other.error_);
    return *this;
  }
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  // Removes the whole directory tree this object created.
  ~Installation() { RemoveAll(); }

  bool ok() const { return !dir_.empty() && error_.empty(); }
  const std::string& error() const { return error_; }

  // The directory of the placed executable: where the mapping lies.
  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path extensions_dir() const { return dir_ / "extensions"; }
  std::filesystem::path executable_path() const {
    return dir_ / executable_name_;
  }

  // Writes `content` (any bytes) to `relative_path` below dir(), creating
  // the directories it needs. False (with error()) on failure.
  bool WriteFile(const std::string& relative_path, const std::string& content) {
    const std::filesystem::path file = dir_ / relative_path;
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (ec || !out)
      return Fail("cannot write " + file.string());
    return true;
  }

  bool WriteAdapterMapping(const std::string& json) {
    return WriteFile("extension_adapter_mapping.json", json);
  }
  // extensions/config.json, plain or encrypted text as given.
  bool WriteConfig(const std::string& text) {
    return WriteFile("extensions/config.json", text);
  }
  // extensions/<package>/manifest.json.
  bool WriteManifest(const std::string& package, const std::string& json) {
    return WriteFile("extensions/" + package + "/manifest.json", json);
  }
  // Copies an existing file (a plug-in library, say) to `relative_path`.
  bool CopyFile(const std::filesystem::path& from,
                const std::string& relative_path) {
    const std::filesystem::path to = dir_ / relative_path;
    std::error_code ec;
    std::filesystem::create_directories(to.parent_path(), ec);
    std::filesystem::copy_file(
        from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec)
      return Fail("cannot copy " + from.string() + ": " + ec.message());
    return true;
  }

  // Places the running executable at executable_path(): a hard link when
  // the file system allows one, a copy otherwise.
  bool PlaceExecutable() {
    std::error_code ec;
    const std::filesystem::path self =
        std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
      return Fail("cannot read /proc/self/exe: " + ec.message());
    std::filesystem::create_hard_link(self, executable_path(), ec);
    if (ec) {
      ec.clear();
      std::filesystem::copy_file(self, executable_path(), ec);
    }
    if (ec)
      return Fail("cannot place the executable: " + ec.message());
    return true;
  }

 private:
  enum AdoptTag { kAdopt };
  explicit Installation(AdoptTag) {}

  bool Fail(std::string message) {
    if (error_.empty())
      error_ = std::move(message);
    return false;
  }

  void RemoveAll() {
    std::error_code ignored;
    if (!root_.empty())
      std::filesystem::remove_all(root_, ignored);
    root_.clear();
  }

  // The directory this object created and removes; empty when adopted.
  std::filesystem::path root_;
  std::filesystem::path dir_;
  std::string executable_name_ = kExecutableName;
  std::string error_;
};

// Runs `executable` (looked up on PATH when it holds no "/") with `args`
// (argv[1] on) and the current environment less every variable named in
// `unset` and plus the "NAME=value" entries of `set`. With `output`, the
// child's standard output and error are collected there, and with
// `error_output` as well, its standard error goes there instead; otherwise
// the child shares this process's. Returns the child's exit status, 128 + the
// signal that ended it, or -1 (with `*error`) when it could not be started.
inline int RunProcess(const std::string& executable,
                      const std::vector<std::string>& args,
                      const std::vector<std::string>& set,
                      const std::vector<std::string>& unset,
                      std::string* output,
                      std::string* error,
                      std::string* error_output = nullptr) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool drop = false;
    for (const std::string& prefix : unset)
      drop = drop || name == prefix;
    for (const std::string& assignment : set)
      drop = drop || assignment.compare(0, name.size() + 1, name + "=") == 0;
    if (!drop)
      environment.push_back(text);
  }
  environment.insert(environment.end(), set.begin(), set.end());

  std::vector<std::string> arguments = {executable};
  arguments.insert(arguments.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : environment)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  // The read end of each pipe and where its bytes go; write ends are
  // closed once the child has them.
  std::vector<pollfd> reads;
  std::vector<std::string*> sinks;
  std::vector<int> writes;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int spawned = 0;
  // One pipe per sink: output and error collected together share one, so
  // the child's writes stay in the order it made them.
  auto capture = [&](std::initializer_list<int> targets, std::string* sink) {
    int fds[2] = {-1, -1};
    if (spawned == 0 && pipe2(fds, O_CLOEXEC) != 0)
      spawned = errno;
    if (spawned != 0)
      return;
    for (int target : targets)
      posix_spawn_file_actions_adddup2(&actions, fds[1], target);
    reads.push_back(pollfd{fds[0], POLLIN, 0});
    sinks.push_back(sink);
    writes.push_back(fds[1]);
  };
  if (output && error_output) {
    capture({STDOUT_FILENO}, output);
    capture({STDERR_FILENO}, error_output);
  } else if (output) {
    capture({STDOUT_FILENO, STDERR_FILENO}, output);
  }
  pid_t pid = -1;
  if (spawned == 0) {
    spawned = posix_spawnp(&pid, executable.c_str(), &actions, nullptr,
                           argv.data(), envp.data());
  }
  posix_spawn_file_actions_destroy(&actions);
  for (int fd : writes)
    close(fd);
  // Both pipes are drained together, so a child that fills one while this
  // process waits on the other cannot stall.
  while (spawned == 0 && !reads.empty()) {
    if (poll(reads.data(), reads.size(), -1) < 0) {
      if (errno == EINTR)
        continue;
      break;
    }
    for (size_t i = 0; i < reads.size();) {
      char buffer[4096];
      ssize_t count = 0;
      if (reads[i].revents == 0) {
        ++i;
      } else if ((count = read(reads[i].fd, buffer, sizeof(buffer))) > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(count));
        ++i;
      } else if (count < 0 && errno == EINTR) {
        // Read the same pipe again.
      } else {
        close(reads[i].fd);
        reads.erase(reads.begin() + static_cast<ptrdiff_t>(i));
        sinks.erase(sinks.begin() + static_cast<ptrdiff_t>(i));
      }
    }
  }
  for (const pollfd& read_end : reads)
    close(read_end.fd);
  if (spawned != 0) {
    *error = "cannot start " + executable + ": " + std::strerror(spawned);
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = std::string("waitpid: ") + std::strerror(errno);
      return -1;
    }
  }
  if (WIFSIGNALED(status))
    return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

// For programs without GoogleTest (benchmarks): runs the executable placed in
// `installation` with argv[1] on, the installation's directory in
// kInstallationEnvironmentVariable and this process's standard streams.
// Returns its exit status, or 1 after saying why on standard error when it
// could not be started.
inline int RunInInstallation(const Installation& installation,
                             int argc,
                             char** argv) {
  std::string error;
  const int status = RunProcess(installation.executable_path().string(),
                                std::vector<std::string>(argv + 1, argv + argc),
                                {std::string(kInstallationEnvironmentVariable) +
                                 "=" + installation.dir().string()},
                                {}, nullptr, &error);
  if (status < 0)
    fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
  return status < 0 ? 1 : status;
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_INSTALLATION_H_
