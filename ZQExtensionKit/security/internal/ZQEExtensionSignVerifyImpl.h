// The kit's ZQEExtensionSignVerify: accepts every file (see
// ZQEExtensionSignVerify.h), a stateless leaky singleton. Internal to the
// kit; reach it through ZQEExtensionSignVerify::GetInstance().

#ifndef ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONSIGNVERIFYIMPL_H_
#define ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONSIGNVERIFYIMPL_H_

#include <string>

#include "ZQExtensionKit/security/internal/ZQEExtensionSignVerify.h"

namespace base {
inline namespace zqe {
template <typename Type>
struct DefaultSingletonTraits;
}  // namespace zqe
}  // namespace base

namespace zqextensionkit {

class ZQEExtensionSignVerifyImpl : public ZQEExtensionSignVerify {
 public:
  // Created on the first call, thread-safely; never destroyed.
  static ZQEExtensionSignVerifyImpl* GetInstance();

  bool SignVerify(const std::string& file_path,
                  const std::string& sign_md5,
                  const std::string& lib_file_md5) override;

 private:
  friend struct base::DefaultSingletonTraits<ZQEExtensionSignVerifyImpl>;

  ZQEExtensionSignVerifyImpl() = default;
  ~ZQEExtensionSignVerifyImpl() override = default;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONSIGNVERIFYIMPL_H_
