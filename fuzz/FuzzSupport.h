// What the configuration fuzz targets share: a scratch installation to run
// from, a remote data source that delivers fixed data, and an access-key
// fetch that answers at once.
//
// The kit reads its installation beside the running executable
// (/proc/self/exe) and nowhere else, so a target that feeds it files runs
// from a scratch installation of its own. Call EnterScratchInstallation() from
// LLVMFuzzerInitialize. In the process the user started it places a link (or
// copy) of the executable in a fresh temporary directory, runs it from there
// with the same arguments and environment, removes the directory when it ends
// and exits with its status; the call never returns there. In that child it
// returns the directory, where LLVMFuzzerTestOneInput then writes each input's
// files. Crash reproducers land in the working directory, which the child
// shares.
//
// A process that the child starts in turn (libFuzzer's -fork, -jobs or
// -minimize_crash runs) makes a scratch installation of its own, so two
// processes never write one directory.

#ifndef FUZZ_FUZZSUPPORT_H_
#define FUZZ_FUZZSUPPORT_H_

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/IZQEConfigurationManager.h"
#include "ZQExtensionKit/config/ZQExtensionAuthInfo.h"
#include "tests/support/Installation.h"

namespace zqextensionkit {
namespace fuzz {

// "<pid of the process that made the installation>:<its directory>".
inline constexpr char kScratchVariable[] = "ZQ_FUZZ_SCRATCH_INSTALLATION";

inline std::string EnterScratchInstallation(int* argc, char*** argv) {
  if (const char* value = std::getenv(kScratchVariable)) {
    const std::string text = value;
    const size_t colon = text.find(':');
    if (colon != std::string::npos &&
        std::atol(text.substr(0, colon).c_str()) ==
            static_cast<long>(getppid())) {
      return text.substr(colon + 1);
    }
  }
  // Each input writes its files, so a memory file system, where there is
  // one, makes the target run faster (the executable is then copied, not
  // linked). TMPDIR, when set, decides.
  if (!std::getenv("TMPDIR") && access("/dev/shm", W_OK) == 0)
    setenv("TMPDIR", "/dev/shm", 1);
  std::string error;
  int status = 1;
  {
    test::Installation installation;
    if (!installation.ok() || !installation.PlaceExecutable()) {
      std::fprintf(stderr, "scratch installation: %s\n",
                   installation.error().c_str());
      std::_Exit(1);
    }
    std::vector<std::string> args(*argv + 1, *argv + *argc);
    status = test::RunProcess(
        installation.executable_path().string(), args,
        {std::string(kScratchVariable) + "=" + std::to_string(getpid()) + ":" +
         installation.dir().string()},
        {}, nullptr, &error);
  }
  if (status < 0)
    std::fprintf(stderr, "scratch installation: %s\n", error.c_str());
  std::_Exit(status < 0 ? 1 : status);
}

// A remote configuration source that completes every fetch at once and
// delivers the same records each time.
class StaticRemoteSource : public IZQERemoteConfigDataSource {
 public:
  using Config = std::map<std::string, std::vector<std::shared_ptr<Extension>>>;
  using AuthInfos = std::vector<std::shared_ptr<ZQExtensionAuthInfo>>;

  StaticRemoteSource(Config config, AuthInfos auth_infos)
      : config_(std::move(config)), auth_infos_(std::move(auth_infos)) {}

  void FetchData(const FetchDataSuccess& on_success,
                 const FetchDataFailure&) override {
    on_success();
  }
  bool GetData(Config* config, AuthInfos* auth_infos) override {
    *config = config_;
    *auth_infos = auth_infos_;
    return true;
  }
  bool HasCache() override { return true; }
  bool LoadData() override { return true; }

 private:
  const Config config_;
  const AuthInfos auth_infos_;
};

// An access-key fetch that answers `key` for every bundle id, before it
// returns.
inline FetchExtensionAuthInfoCallback AnswerEveryKey(const std::string& key) {
  return [key](std::vector<std::string> ids,
               std::function<void(const std::map<std::string, std::string>&)>
                   on_success,
               std::function<void(const std::string&)>) {
    std::map<std::string, std::string> keys;
    for (const std::string& id : ids)
      keys[id] = key;
    on_success(keys);
  };
}

}  // namespace fuzz
}  // namespace zqextensionkit

#endif  // FUZZ_FUZZSUPPORT_H_
