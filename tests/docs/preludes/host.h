// Prelude of the documentation's host snippets: what a host has defined
// before the lines a snippet shows (docs/writing-docs.md).
#include <cstdio>
#include <string>

#include "ZQExtensionKit/ZQExtensionKitSDK.h"
#include "tests/plugins/TestPlugin.h"  // IGreeting

class StderrLogger : public zqextensionkit::IZQELogger {
 public:
  void LogMessage(int level, std::string message) override {
    std::fprintf(stderr, "%d %s\n", level, message.c_str());
  }
};

// An in-process extension class's creator.
bool CreateMyExtension(const std::string& iid,
                       const std::string& clsid,
                       void** ppv);
