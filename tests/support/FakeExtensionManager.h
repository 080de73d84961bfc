// Test support: a stand-in extension manager implementation to install in
// the ZQExtensionManager facade.
//
// It holds the two verification switches and the lazy loading switch (off
// at first), the bound on the verification threads (0 at first), the texts
// it answers for the installation directory and the load report (empty at
// first) and the trusted sign keys (as given, none at first), records the
// name of every operation called on it, in order, and answers every other
// operation with `result` (true unless a test says otherwise), without doing
// anything.
// Tests that need an operation to do more set `on_call`, which runs at the
// start of every operation with its name.
//
// ScopedFakeExtensionManager installs a fresh FakeExtensionManager in the
// facade for its lifetime and empties the facade again when it goes away, so
// no test sees another test's implementation.
//
// Recording is guarded by a mutex: the facade may forward from several
// threads.

#ifndef TESTS_SUPPORT_FAKEEXTENSIONMANAGER_H_
#define TESTS_SUPPORT_FAKEEXTENSIONMANAGER_H_

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ZQExtensionKit/extension/IZQExtensionManager.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"

namespace zqextensionkit {
namespace test {

class FakeExtensionManager : public IZQExtensionManager {
 public:
  void SetFoundationVersion(const std::string& version) override {
    Record("SetFoundationVersion(" + version + ")");
  }
  bool Load() override { return Record("Load"); }
  bool Unload() override { return Record("Unload"); }
  bool GetExtension(const std::string& extensionPointId,
                    void** pExtension) override {
    if (pExtension)
      *pExtension = this;
    return Record("GetExtension(" + extensionPointId + ")");
  }
  bool GetExtensionList(const std::string& extensionPointId,
                        std::vector<void*>& extensionVector) override {
    extensionVector.push_back(this);
    return Record("GetExtensionList(" + extensionPointId + ")");
  }
  bool GetExtensionById(const std::string& extensionId,
                        void** pExtension) override {
    if (pExtension)
      *pExtension = this;
    return Record("GetExtensionById(" + extensionId + ")");
  }
  bool RegisterExtension(const InstanceCreateFunction& instance_creator,
                         const std::string& clsid,
                         bool isSingleton) override {
    return Record("RegisterExtension(" + clsid + ", " +
                  (isSingleton ? "true" : "false") + ", " +
                  (instance_creator ? "creator" : "no creator") + ")");
  }
  bool unRegisterExtension(const std::string& clsid) override {
    return Record("unRegisterExtension(" + clsid + ")");
  }
  bool GetLibFileVerifyEnable() override {
    Record("GetLibFileVerifyEnable");
    return lib_file_verify;
  }
  void SetLibFileVerifyEnable(bool enable) override {
    Record(std::string("SetLibFileVerifyEnable(") +
           (enable ? "true" : "false") + ")");
    lib_file_verify = enable;
  }
  bool GetSignVerifyEnable() override {
    Record("GetSignVerifyEnable");
    return sign_verify;
  }
  void SetSignVerifyEnable(bool enable) override {
    Record(std::string("SetSignVerifyEnable(") + (enable ? "true" : "false") +
           ")");
    sign_verify = enable;
  }
  bool SetSecKey(const std::string& sec_key) override {
    return Record("SetSecKey(" + sec_key + ")");
  }
  bool SetDebugModeEnable(bool enable) override {
    return Record(std::string("SetDebugModeEnable(") +
                  (enable ? "true" : "false") + ")");
  }
  void SetFetchExtensionAuthInfoCallback(
      const FetchExtensionAuthInfoCallback& callback) override {
    Record(std::string("SetFetchExtensionAuthInfoCallback(") +
           (callback ? "callback" : "empty") + ")");
  }
  size_t GetLibFileVerifyThreads() override {
    Record("GetLibFileVerifyThreads");
    return lib_file_verify_threads;
  }
  void SetLibFileVerifyThreads(size_t threads) override {
    Record("SetLibFileVerifyThreads(" + std::to_string(threads) + ")");
    lib_file_verify_threads = threads;
  }
  bool SetInstallationDir(const std::string& dir) override {
    return Record("SetInstallationDir(" + dir + ")");
  }
  std::string GetInstallationDir() override {
    Record("GetInstallationDir");
    return installation_dir;
  }
  std::string GetLoadReport() override {
    Record("GetLoadReport");
    return load_report;
  }
  // Keeps every text it is given, checked or not.
  bool AddTrustedSignKey(const std::string& publicKeyPem) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      trusted_sign_keys.push_back(publicKeyPem);
    }
    return Record("AddTrustedSignKey");
  }
  void ClearTrustedSignKeys() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      trusted_sign_keys.clear();
    }
    Record("ClearTrustedSignKeys");
  }
  std::vector<std::string> GetTrustedSignKeys() override {
    Record("GetTrustedSignKeys");
    std::lock_guard<std::mutex> lock(mutex_);
    return trusted_sign_keys;
  }
  void SetLazyLibraryLoading(bool enable) override {
    Record(std::string("SetLazyLibraryLoading(") + (enable ? "true" : "false") +
           ")");
    lazy_library_loading = enable;
  }
  bool GetLazyLibraryLoading() override {
    Record("GetLazyLibraryLoading");
    return lazy_library_loading;
  }

  // The names of the operations called so far, with their arguments.
  std::vector<std::string> calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

  bool lib_file_verify = false;
  bool sign_verify = false;
  size_t lib_file_verify_threads = 0;
  std::string installation_dir;
  std::string load_report;
  // Guarded by the recording mutex once the fake is installed.
  std::vector<std::string> trusted_sign_keys;
  bool lazy_library_loading = false;
  bool result = true;
  std::function<void(const std::string& call)> on_call;

 private:
  bool Record(const std::string& call) {
    if (on_call)
      on_call(call);
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    return result;
  }

  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

class ScopedFakeExtensionManager {
 public:
  ScopedFakeExtensionManager()
      : fake_(std::make_shared<FakeExtensionManager>()) {
    ZQExtensionManager::GetInstance()->Initialize(fake_);
  }
  ~ScopedFakeExtensionManager() {
    ZQExtensionManager::GetInstance()->UnInitialize();
  }
  ScopedFakeExtensionManager(const ScopedFakeExtensionManager&) = delete;
  ScopedFakeExtensionManager& operator=(const ScopedFakeExtensionManager&) =
      delete;

  FakeExtensionManager* operator->() { return fake_.get(); }
  const std::shared_ptr<FakeExtensionManager>& get() const { return fake_; }

 private:
  std::shared_ptr<FakeExtensionManager> fake_;
};

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_FAKEEXTENSIONMANAGER_H_
