// The host: starts the kit, loads the client installation that lies beside
// this executable, and greets through every extension of the point
// "com.example.hello". Run it with --verbose to see the kit's log.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "IHello.h"
#include "ZQExtensionKit/ZQExtensionKitSDK.h"

namespace {

class StderrLogger : public zqextensionkit::IZQELogger {
 public:
  void LogMessage(int /*level*/, std::string message) override {
    std::fprintf(stderr, "%s\n", message.c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  using zqextensionkit::ZQExtensionManager;

  if (argc > 1 && std::strcmp(argv[1], "--verbose") == 0) {
    // The log service owns the logger from now on.
    zqextensionkit::ZQELogService::GetInstance()->RegisterLogger(
        new StderrLogger);
  }
  zqextensionkit::ZQExtensionKit::InitSDK();

  ZQExtensionManager* extensions = ZQExtensionManager::GetInstance();
  extensions->SetFoundationVersion("1.0");  // packages may ask for up to 1.0
  if (!extensions->Load()) {
    std::fprintf(stderr, "cannot load the installation (try --verbose)\n");
    return 1;
  }

  std::vector<void*> hellos;
  if (!extensions->GetExtensionList("com.example.hello", hellos) ||
      hellos.empty()) {
    std::fprintf(stderr, "no extension of com.example.hello (try --verbose)\n");
    return 1;
  }
  for (void* instance : hellos) {
    IHello* hello = static_cast<IHello*>(instance);
    std::printf("%s\n", hello->SayHello("world").c_str());
    hello->Release();  // each instance came with one reference for us
  }
  return 0;
}
