// The facades hold no lock while plug-in or host code runs: an extension's
// constructor, a service's constructor or a creator may call any facade of
// the kit, on its own thread or through another thread it waits for, and
// loads on several threads load each library once.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/ZQExtensionKit.h"
#include "ZQExtensionKit/event/IZQNotificationService.h"
#include "ZQExtensionKit/event/NotificationType.h"
#include "ZQExtensionKit/event/ZQNotificationObserver.h"
#include "ZQExtensionKit/event/ZQNotificationRegistrar.h"
#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "dlcom/comobject.h"
#include "dlcom/comsentry.h"
#include "dlcom/guidstring.h"
#include "tests/plugins/TestPlugin.h"
#include "tests/support/Deadlock.h"
#include "tests/support/InstallationSandbox.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

constexpr char kWatcherClsid[] = "{C0C0C0C0-0000-4000-8000-0000000000B1}";
constexpr char kCallerClsid[] = "{C0C0C0C0-0000-4000-8000-0000000000B2}";
constexpr char kHostServiceClsid[] = "{C0C0C0C0-0000-4000-8000-0000000000B3}";
constexpr char kHostServiceIid[] = "{C0C0C0C0-0000-4000-8000-0000000000B4}";

struct IHostService : public by::IBaseUnknown {};
BY_DECLARE_IID(IHostService, "{C0C0C0C0-0000-4000-8000-0000000000B4}")

test::Rendezvous* g_rendezvous = nullptr;
std::atomic<bool> g_meet{false};

// An extension that subscribes to notifications in its constructor, as
// docs/services.md recommends: its registrar asks the service manager for
// the bus.
class Watcher : public IGreeting,
                public ZQBaseExtension,
                public ZQNotificationObserver {
 public:
  BY_INTERFACES(IGreeting, IZQBaseExtension)
  Watcher() {
    if (g_meet.exchange(false))
      g_rendezvous->Meet(0);
    registrar_.Add(this, NOTIFICATION_OPEN_SYNC_MESSAGE,
                   IZQNotificationService::AllSources());
  }
  std::string Greet(const std::string&) override { return "watching"; }
  void Observe(int,
               const ZQNotificationSource&,
               const ZQNotificationParameters&) override {}

 private:
  ZQNotificationRegistrar registrar_;
};

// A host service (not a singleton) whose constructor asks for extensions.
class HostService : public IHostService, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IHostService)
  HostService() {
    g_rendezvous->Meet(1);
    std::vector<void*> list;
    ZQExtensionManager::GetInstance()->GetExtensionList("ep.watch", list);
    for (void* instance : list)
      static_cast<by::IBaseUnknown*>(instance)->Release();
  }
};

// An extension whose creation waits for another thread that asks the same
// facade for other extensions.
class Caller : public IGreeting, public ZQBaseExtension {
 public:
  BY_INTERFACES(IGreeting, IZQBaseExtension)
  Caller() {
    std::thread([this] {
      std::vector<void*> list;
      found_ =
          ZQExtensionManager::GetInstance()->GetExtensionList("ep.watch", list);
      for (void* instance : list)
        static_cast<by::IBaseUnknown*>(instance)->Release();
    }).join();
  }
  std::string Greet(const std::string&) override {
    return found_ ? "found" : "none";
  }

 private:
  bool found_ = false;
};

template <class T>
InstanceCreateFunction CreatorOf() {
  return [](const std::string& iid, const std::string&, void** ppv) {
    return by::CComObject<T>::CreateInstance2(S2GUIDA(iid.c_str(), true),
                                              ppv) == S_OK;
  };
}

std::string PointManifest(const std::string& id,
                          const std::string& clsid,
                          const std::string& more = "") {
  return R"({"id": ")" + id + R"(", )" + more +
         R"("extensionPoints": [{"id": ")" + id + R"(", "iid": ")" +
         kGreetingIidText + R"(", "extensions": [{"id": ")" + id +
         R"(.x", "clsid": ")" + clsid + R"(", "isSingleton": false}]}]})";
}

class ExtensionManagerConcurrencyTest : public test::LogCaptureTest {
 protected:
  // An installation with the points "ep.watch" and "ep.call" (in-process
  // classes) and "ep.greeting" (the greeting plug-in).
  void WriteInstallation(test::InstallationSandbox& sandbox) {
    sandbox.WriteAdapterMapping("{}");
    sandbox.WriteConfig(
        R"({"artifacts": ["ep.watch", "ep.call", "ep.greeting"]})");
    sandbox.WriteManifest("ep.watch", PointManifest("ep.watch", kWatcherClsid));
    sandbox.WriteManifest("ep.call", PointManifest("ep.call", kCallerClsid));
    sandbox.CopyFile(
        std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kGreetingPluginFile,
        "extensions/ep.greeting/lib/plugin.so");
    sandbox.WriteManifest(
        "ep.greeting",
        PointManifest("ep.greeting", kGreeterClsidText,
                      R"("mainEntry": "lib/plugin.so", "BundleClassId": ")" +
                          std::string(kGreetingBundleClsidText) + R"(", )"));
  }

  void StartKit() {
    ZQExtensionKit::InitSDK();
    ZQExtensionManager* extensions = ZQExtensionManager::GetInstance();
    ASSERT_TRUE(extensions->RegisterExtension(CreatorOf<Watcher>(),
                                              kWatcherClsid, false));
    ASSERT_TRUE(extensions->RegisterExtension(CreatorOf<Caller>(), kCallerClsid,
                                              false));
    ZQServiceManager::GetInstance()->RegisterService<HostService, IHostService>(
        "HostService", kHostServiceClsid, kHostServiceIid, false);
  }
};

// Thread A asks for extensions whose constructor reaches the service
// manager; thread B asks for a service whose constructor asks for
// extensions. Both are inside the other's facade at the same moment.
TEST_F(ExtensionManagerConcurrencyTest,
       CreatorsCallingOtherFacadesOnTwoThreads) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    StartKit();
    ASSERT_TRUE(ZQExtensionManager::GetInstance()->Load()) << capture().Dump();
    test::Rendezvous rendezvous;
    g_rendezvous = &rendezvous;
    g_meet = true;
    bool listed = false;
    test::RunOrFailOnDeadlock([&] {
      std::thread a([&] {
        std::vector<void*> list;
        listed = ZQExtensionManager::GetInstance()->GetExtensionList("ep.watch",
                                                                     list);
        for (void* instance : list)
          static_cast<by::IBaseUnknown*>(instance)->Release();
      });
      std::thread b([] {
        by::com_ptr<IHostService> service;
        service.attach(
            ZQServiceManager::GetInstance()->GetService<IHostService>(
                "HostService"));
        EXPECT_TRUE(service);
      });
      a.join();
      b.join();
    });
    EXPECT_TRUE(listed) << capture().Dump();
  });
}

// A creator may wait for another thread that calls the same facade, and
// loads on several threads, with requests in between, load the library once.
TEST_F(ExtensionManagerConcurrencyTest,
       CallsIntoTheSameFacadeFromOtherThreads) {
  test::InstallationSandbox sandbox;
  WriteInstallation(sandbox);
  sandbox.Run([&] {
    StartKit();
    ZQExtensionManager* extensions = ZQExtensionManager::GetInstance();
    test::RunOrFailOnDeadlock([&] {
      std::vector<std::thread> threads;
      for (int i = 0; i < 3; ++i)
        threads.emplace_back([extensions] { extensions->Load(); });
      threads.emplace_back([extensions] {
        for (int i = 0; i < 50; ++i) {
          std::vector<void*> list;
          extensions->GetExtensionList("ep.greeting", list);
          for (void* instance : list)
            static_cast<by::IBaseUnknown*>(instance)->Release();
        }
      });
      for (std::thread& thread : threads)
        thread.join();
    });
    EXPECT_EQ(1u, LogCount("Bundle Loader - initialze bundle entry success"));

    test::RunOrFailOnDeadlock([&] {
      void* caller = nullptr;
      ASSERT_TRUE(extensions->GetExtension("ep.call", &caller));
      by::com_ptr<IGreeting> greeting;
      greeting.attach(static_cast<IGreeting*>(caller));
      EXPECT_EQ("found", greeting->Greet(""));
    });
  });
}

}  // namespace
}  // namespace zqextensionkit
