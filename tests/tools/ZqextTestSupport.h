// What the zqext tests share: running the built tool as its users do, with
// its standard output and standard error kept apart.

#ifndef TESTS_TOOLS_ZQEXTTESTSUPPORT_H_
#define TESTS_TOOLS_ZQEXTTESTSUPPORT_H_

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/ScopedTempDir.h"

extern char** environ;

namespace zqextensionkit {
namespace test {

struct ProgramRun {
  int status = -1;  // Exit status, 128 + signal, or -1 when not started.
  std::string out;
  std::string err;
};

// Runs `program` (found on PATH when it has no "/") with `args`, with the
// environment less ZQEXT_KEY and plus
// the "NAME=value" entries of `set`.
inline ProgramRun RunProgram(const std::string& program,
                             const std::vector<std::string>& args,
                             const std::vector<std::string>& set = {}) {
  ScopedTempDir capture;
  const std::string out_file = (capture.path() / "out").string();
  const std::string err_file = (capture.path() / "err").string();

  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool replaced = name == "ZQEXT_KEY";
    for (const std::string& assignment : set)
      replaced = replaced || assignment.rfind(name + "=", 0) == 0;
    if (!replaced)
      environment.push_back(text);
  }
  environment.insert(environment.end(), set.begin(), set.end());
  std::vector<std::string> arguments = {program};
  arguments.insert(arguments.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : environment)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_file.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_file.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr,
                                   argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ProgramRun run;
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << program;
    return run;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.status =
      WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  auto read = [](const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in),
                       std::istreambuf_iterator<char>());
  };
  run.out = read(out_file);
  run.err = read(err_file);
  return run;
}

inline ProgramRun RunZqext(const std::vector<std::string>& args,
                           const std::vector<std::string>& set = {}) {
  return RunProgram(ZQ_ZQEXT, args, set);
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_TOOLS_ZQEXTTESTSUPPORT_H_
