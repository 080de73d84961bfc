// Helpers shared by the configuration manager tests: a remote data source
// the test drives by hand (and, through ConfigCipher.h, encrypted
// config.json texts).

#ifndef TESTS_CONFIG_CONFIGURATIONTESTSUPPORT_H_
#define TESTS_CONFIG_CONFIGURATIONTESTSUPPORT_H_

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/IZQEConfigurationManager.h"
#include "ZQExtensionKit/config/ZQExtensionAuthInfo.h"
#include "tests/support/ConfigCipher.h"

namespace zqextensionkit {
namespace test {

// A remote configuration source that keeps what the test gives it and the
// callables of each fetch, which the test completes when it chooses.
class FakeRemoteDataSource : public IZQERemoteConfigDataSource {
 public:
  using Config = std::map<std::string, std::vector<std::shared_ptr<Extension>>>;
  using AuthInfos = std::vector<std::shared_ptr<ZQExtensionAuthInfo>>;

  void FetchData(const FetchDataSuccess& onSuccess,
                 const FetchDataFailure& onFailure) override {
    OnCall("FetchData");
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.emplace_back(onSuccess, onFailure);
  }

  // Replaces the caller's containers with the source's data, as a source
  // that keeps one snapshot does.
  bool GetData(Config* config, AuthInfos* authInfos) override {
    std::function<void()> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++get_data_calls_;
      *config = config_;
      *authInfos = auth_infos_;
      hook = get_data_hook_;
    }
    if (hook)
      hook();
    return true;
  }

  bool HasCache() override {
    OnCall("HasCache");
    std::lock_guard<std::mutex> lock(mutex_);
    return has_cache_;
  }

  bool LoadData() override {
    OnCall("LoadData");
    std::lock_guard<std::mutex> lock(mutex_);
    return load_data_result_;
  }

  void SetData(Config config, AuthInfos auth_infos = {}) {
    std::lock_guard<std::mutex> lock(mutex_);
    config_ = std::move(config);
    auth_infos_ = std::move(auth_infos);
  }
  void set_has_cache(bool value) {
    std::lock_guard<std::mutex> lock(mutex_);
    has_cache_ = value;
  }
  void set_load_data_result(bool value) {
    std::lock_guard<std::mutex> lock(mutex_);
    load_data_result_ = value;
  }
  // Runs inside GetData(), after the data has been handed over.
  void set_get_data_hook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    get_data_hook_ = std::move(hook);
  }
  // Runs first in FetchData(), HasCache() and LoadData(), with the
  // operation's name.
  void set_on_call(std::function<void(const std::string&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    on_call_ = std::move(hook);
  }
  int get_data_calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return get_data_calls_;
  }
  size_t pending_fetches() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.size();
  }

  // Completes the oldest pending fetch; false when none is pending.
  bool CompleteFetch() { return Complete(true, std::string()); }
  bool FailFetch(const std::string& reason) { return Complete(false, reason); }

 private:
  void OnCall(const std::string& operation) {
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      hook = on_call_;
    }
    if (hook)
      hook(operation);
  }

  bool Complete(bool success, const std::string& reason) {
    std::pair<FetchDataSuccess, FetchDataFailure> callables;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (pending_.empty())
        return false;
      callables = std::move(pending_.front());
      pending_.erase(pending_.begin());
    }
    if (success)
      callables.first();
    else
      callables.second(reason);
    return true;
  }

  mutable std::mutex mutex_;
  Config config_;
  AuthInfos auth_infos_;
  bool has_cache_ = true;
  bool load_data_result_ = true;
  int get_data_calls_ = 0;
  std::function<void()> get_data_hook_;
  std::function<void(const std::string&)> on_call_;
  std::vector<std::pair<FetchDataSuccess, FetchDataFailure>> pending_;
};

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_CONFIG_CONFIGURATIONTESTSUPPORT_H_
