// A span's string argument on arbitrary bytes, written to a trace file and
// read back: the file is always JSON that a strict reader accepts (valid
// UTF-8 in every string), and well-formed UTF-8 (quotes, backslashes and
// control characters included) comes back unchanged. The
// recorder checks eight bytes at a time for text that needs no escaping;
// this holds it to the byte-by-byte rules at every offset and length.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <nlohmann/json.hpp>

#include "ZQExtensionKit/trace/internal/ZQETrace.h"

namespace {

const std::string& TracePath() {
  static const std::string path = [] {
    char dir[] = "/tmp/zq-trace-fuzz-XXXXXX";
    if (!mkdtemp(dir))
      std::abort();
    return std::string(dir) + "/trace.json";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zqextensionkit::ZQETrace;
  using zqextensionkit::ZQETraceSpan;
  const std::string text(reinterpret_cast<const char*>(data), size);
  ZQETrace::SetFile(TracePath());
  {
    ZQETraceSpan span("fuzz", zqextensionkit::trace_category::kLoad);
    span.Arg("text", text);
  }
  ZQETrace::SetFile(std::string());

  std::ifstream in(TracePath(), std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)),
                         std::istreambuf_iterator<char>());
  const nlohmann::json trace = nlohmann::json::parse(file, nullptr, false);
  if (trace.is_discarded())
    std::abort();
  const nlohmann::json* args = nullptr;
  for (const nlohmann::json& event : trace.at("traceEvents")) {
    if (event.value("name", "") == "fuzz")
      args = &event.at("args");
  }
  if (!args)
    std::abort();
  // The strict writer refuses text that is not well-formed UTF-8.
  bool well_formed = true;
  try {
    (void)nlohmann::json(text).dump();
  } catch (const nlohmann::json::type_error&) {
    well_formed = false;
  }
  if (well_formed && args->at("text").get<std::string>() != text)
    std::abort();
  return 0;
}
