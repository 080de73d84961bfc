// The managers used together from several threads, as a host uses them once
// the kit is loaded: extension requests through the extension manager (from
// a plug-in library and from an in-process class), configuration queries,
// remote merges and access-key answers completing on threads of their own,
// notifications, and service lookups. Each thread stops after a fixed number
// of rounds or a short deadline, whichever comes first; ThreadSanitizer
// checks the rest.

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ExtensionFactory.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/config/ZQExtensionAuthInfo.h"
#include "ZQExtensionKit/event/IZQNotificationService.h"
#include "ZQExtensionKit/event/NotificationType.h"
#include "ZQExtensionKit/event/ZQNotificationRegistrar.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/security/ZQEUtility.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "dlcom/comobject.h"
#include "dlcom/comsentry.h"
#include "dlcom/guidstring.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

constexpr int kRounds = 150;
constexpr std::chrono::seconds kDeadline(3);
constexpr char kInProcessClsid[] = "{C0C0C0C0-0000-4000-8000-0000000000AA}";

// A remote source whose fetches complete on a thread of their own, later,
// delivering the plug-in's extension under the mapped point "remote.greeting"
// and a keyless access-key record.
class ThreadedSource : public IZQERemoteConfigDataSource {
 public:
  ~ThreadedSource() override { Join(); }

  void FetchData(const FetchDataSuccess& on_success,
                 const FetchDataFailure&) override {
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.emplace_back([on_success] { on_success(); });
  }
  bool GetData(
      std::map<std::string, std::vector<std::shared_ptr<Extension>>>* config,
      std::vector<std::shared_ptr<ZQExtensionAuthInfo>>* auth) override {
    config->clear();
    (*config)["remote.greeting"].push_back(ExtensionFactory::createExtension(
        "greeter", "remote.greeting", {{"salutation", "Hey"}}, {}, {}, "u"));
    auth->assign(
        {std::make_shared<ZQExtensionAuthInfo>("", "com.example.b", "")});
    return true;
  }
  bool HasCache() override { return true; }
  bool LoadData() override { return true; }

  void Join() {
    std::vector<std::thread> workers;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      workers.swap(workers_);
    }
    for (std::thread& worker : workers)
      worker.join();
  }

 private:
  std::mutex mutex_;
  std::vector<std::thread> workers_;
};

class InProcessGreeter : public IGreeting, public ZQBaseExtension {
 public:
  BY_INTERFACES(IGreeting, IZQBaseExtension)
  std::string Greet(const std::string& name) override {
    return "Hi, " + name + "!";
  }
};

class CountingObserver : public ZQNotificationObserver {
 public:
  void Observe(int,
               const ZQNotificationSource&,
               const ZQNotificationParameters&) override {
    ++calls;
  }
  int calls = 0;
};

// Runs `round` until kRounds rounds or the deadline, at least once.
void RunRounds(std::chrono::steady_clock::time_point deadline,
               const std::function<void()>& round) {
  for (int i = 0; i < kRounds; ++i) {
    if (i > 0 && std::chrono::steady_clock::now() > deadline)
      return;
    round();
  }
}

// The manifest of package `point` (`package_keys` are more of its keys,
// each followed by ", "): one point of that id whose interface is
// IGreeting, with one extension of class `clsid`, not a singleton.
std::string Manifest(const std::string& point,
                     const std::string& extension_id,
                     const std::string& clsid,
                     const std::string& package_keys) {
  return R"({"id": ")" + point + R"(", )" + package_keys +
         R"("extensionPoints": [{"id": ")" + point + R"(", "iid": ")" +
         kGreetingIidText + R"(", "extensions": [{"id": ")" + extension_id +
         R"(", "clsid": ")" + clsid + R"(", "isSingleton": false}]}]})";
}

class ExtensionKitStressTest : public test::LogCaptureTest {};

TEST_F(ExtensionKitStressTest, ManagersServeManyThreadsAtOnce) {
  test::InstallationSandbox sandbox;
  const std::string library =
      std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kGreetingPluginFile;
  std::string md5;
  ZQEUtility_MD5_File_String(library, md5);
  sandbox.CopyFile(library, "extensions/greeting/lib/plugin.so");
  sandbox.WriteAdapterMapping(
      R"({"remote": {"greeting": {"extensionPointId": "greeting"}}})");
  sandbox.WriteConfig(R"({"artifacts": ["greeting", "in-process"],
      "modules": [{"id": "talk"}],
      "ExtensionAuthInfo": {"Native": [
          {"bundleId": "com.example.a", "accessKey": "ka"}]}})");
  sandbox.WriteManifest(
      "greeting", Manifest("greeting", "greeter", kGreeterClsidText,
                           R"("mainEntry": "lib/plugin.so", "libFileMD5": ")" +
                               md5 + R"(", "BundleClassId": ")" +
                               kGreetingBundleClsidText + R"(", )"));
  // No entry library: its class comes from the object container.
  sandbox.WriteManifest("in-process",
                        Manifest("in-process", "hi", kInProcessClsid, ""));

  sandbox.Run([&] {
    ZQExtensionKit::InitSDK();
    ZQExtensionManager* extensions = ZQExtensionManager::GetInstance();
    ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
    extensions->SetLibFileVerifyEnable(true);
    ASSERT_TRUE(extensions->RegisterExtension(
        [](const std::string& iid, const std::string&, void** ppv) {
          by::CComObjectScopedPtr<InProcessGreeter> object;
          return by::CComObject<InProcessGreeter>::CreateInstance(
                     object.pp()) == S_OK &&
                 object->QueryInterface(S2GUIDA(iid.c_str(), true), ppv) ==
                     S_OK;
        },
        kInProcessClsid, false));
    ASSERT_TRUE(extensions->Load()) << capture().Dump();
    auto source = std::make_shared<ThreadedSource>();
    config->SetRemoteConfigDataSource(source);
    std::atomic<int> key_answers{0};
    std::vector<std::thread> key_workers;
    std::mutex key_workers_mutex;
    config->SetFetchExtensionAuthInfoCallback(
        [&](std::vector<std::string> ids, auto on_success, auto) {
          std::lock_guard<std::mutex> lock(key_workers_mutex);
          key_workers.emplace_back([ids, on_success, &key_answers] {
            std::map<std::string, std::string> keys;
            for (const std::string& id : ids)
              keys[id] = "fetched";
            on_success(keys);
            ++key_answers;
          });
        });

    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    // What failed, once each.
    std::mutex failures_mutex;
    std::set<std::string> failures;
    const auto check = [&](bool ok, const std::string& what) {
      if (ok)
        return;
      std::lock_guard<std::mutex> lock(failures_mutex);
      failures.insert(what);
    };
    std::vector<std::thread> threads;
    // Extension requests, from the library and from the in-process class.
    for (const char* point : {"greeting", "in-process"}) {
      threads.emplace_back([&, point] {
        RunRounds(deadline, [&] {
          std::vector<void*> list;
          check(extensions->GetExtensionList(point, list) && list.size() == 1,
                std::string("list of ") + point);
          for (void* instance : list) {
            by::com_ptr<IGreeting> greeting;
            greeting.attach(static_cast<IGreeting*>(instance));
            check(!greeting->Greet("host").empty(), "greet");
          }
          void* one = nullptr;
          check(
              extensions->GetExtensionById(
                  point == std::string("greeting") ? "greeter" : "hi", &one) &&
                  one,
              std::string("extension by id in ") + point);
          if (one)
            static_cast<IGreeting*>(one)->Release();
        });
      });
    }
    // Configuration queries.
    threads.emplace_back([&] {
      RunRounds(deadline, [&] {
        std::vector<std::shared_ptr<Extension>> records;
        check(config->GetExtensionInfosByExntensionPointID("greeting", records),
              "records");
        bool enabled = false;
        check(config->IsModuleEnabled(kModuleCodeTalk, enabled), "module");
        check(config->GetExtensionAccessKey("com.example.a") == "ka", "key");
        config->GetH5ExtensionBundleId("https://h5.example.com/appName_x/");
      });
    });
    // Remote merges and access-key answers, completing on other threads.
    threads.emplace_back([&] {
      RunRounds(deadline, [&] {
        config->FetchRemoteConfig(true, nullptr, nullptr);
        config->CheckAndFetchExtensionAuthInfo();
      });
    });
    // Notifications (the host serialises its use of the bus: one thread)
    // and service lookups.
    CountingObserver observer;
    threads.emplace_back([&] {
      RunRounds(deadline, [&] {
        by::com_ptr<IZQNotificationService> bus;
        bus.attach(
            ZQServiceManager::GetInstance()->GetService<IZQNotificationService>(
                "NotificationService"));
        check(bus.ptr() != nullptr, "bus");
        ZQNotificationRegistrar registrar;
        registrar.Add(&observer, NOTIFICATION_OPEN_SYNC_MESSAGE,
                      IZQNotificationService::AllSources());
        if (bus) {
          bus->Notify(NOTIFICATION_OPEN_SYNC_MESSAGE,
                      IZQNotificationService::AllSources(),
                      IZQNotificationService::NoParams());
        }
        check(
            ZQServiceManager::GetInstance()->GetService<IZQNotificationService>(
                "NoSuchService") == nullptr,
            "unknown service");
      });
    });
    for (std::thread& thread : threads)
      thread.join();
    source->Join();
    // Every merge gave com.example.b a keyless record again; one more fetch
    // answers for it.
    config->CheckAndFetchExtensionAuthInfo();
    {
      std::lock_guard<std::mutex> lock(key_workers_mutex);
      for (std::thread& worker : key_workers)
        worker.join();
    }

    EXPECT_EQ(std::set<std::string>{}, failures);
    EXPECT_GT(observer.calls, 0);
    // The merged configuration still serves the plug-in's extension, now
    // with the remote payload.
    std::vector<void*> list;
    ASSERT_TRUE(extensions->GetExtensionList("greeting", list));
    ASSERT_EQ(1u, list.size());
    by::com_ptr<IGreeting> greeting;
    greeting.attach(static_cast<IGreeting*>(list[0]));
    EXPECT_EQ("Hey, host!", greeting->Greet("host"));
    EXPECT_EQ("fetched", config->GetExtensionAccessKey("com.example.b"));
    config->SetFetchExtensionAuthInfoCallback(nullptr);
    config->SetRemoteConfigDataSource(nullptr);
  });
}

}  // namespace
}  // namespace zqextensionkit
