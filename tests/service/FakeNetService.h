// A host network service for the open network request tests. The service
// manager builds it through by::CComObject, so its behaviour is scripted
// through a process-wide Script that each test resets.
#ifndef TESTS_SERVICE_FAKENETSERVICE_H_
#define TESTS_SERVICE_FAKENETSERVICE_H_

#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ZQExtensionKit/service/IZQOpenNetService.h"
#include "ZQExtensionKit/service/ZQServiceManager.h"
#include "dlcom/unknown.h"

namespace zqextensionkit {
namespace test {

inline constexpr char kFakeNetServiceClsid[] =
    "{7C2E4A10-5B3D-4E6F-8A9B-0C1D2E3F4A01}";
inline constexpr char kOpenNetServiceIid[] =
    "{435BC68E-6CAD-4C14-B534-7D2B8DE3940B}";

class FakeNetService : public IZQOpenNetService, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IZQOpenNetService)

  // kThrow: StartNetRequest throws instead of answering.
  enum class Answer { kSuccess, kFailure, kRefuse, kThrow };

  struct Request {
    std::string bundle_id, path, params, method;
  };

  struct Script {
    Answer answer = Answer::kSuccess;
    bool on_other_thread = false;  // answer after StartNetRequest returned
    std::vector<Request> requests;
    std::thread worker;  // joined by Reset() and Join()
    void Join() {
      if (worker.joinable())
        worker.join();
    }
    void Reset() {
      Join();
      *this = Script();
    }
  };
  static Script& script() {
    static Script script;
    return script;
  }

  bool StartNetRequest(
      const std::string& bundleId,
      const std::string& path,
      const std::string& params,
      const std::string& method,
      const std::function<void(const std::string&)>& onSuccess,
      const std::function<void(ZQStartRequestError&)>& onFailure) override {
    Script& s = script();
    s.requests.push_back({bundleId, path, params, method});
    if (s.answer == Answer::kRefuse)
      return false;
    if (s.answer == Answer::kThrow)
      throw std::runtime_error("service failed");
    // Copies, as a real service keeps them until its answer arrives.
    std::function<void()> answer = [success = onSuccess, failure = onFailure,
                                    kind = s.answer, path] {
      if (kind == Answer::kSuccess) {
        success("result of " + path);
      } else {
        ZQStartRequestError error(404, "not found: " + path);
        failure(error);
      }
    };
    if (s.on_other_thread)
      s.worker = std::thread(answer);
    else
      answer();
    return true;
  }
};

inline bool RegisterFakeNetService() {
  return ZQServiceManager::GetInstance()
      ->RegisterService<FakeNetService, IZQOpenNetService>(
          "OpenNetService", kFakeNetServiceClsid, kOpenNetServiceIid, true);
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SERVICE_FAKENETSERVICE_H_
