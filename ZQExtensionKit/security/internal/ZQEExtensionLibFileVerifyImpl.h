// The kit's ZQEExtensionLibFileVerify: an MD5 comparison of the library file,
// a stateless leaky singleton. Internal to the kit; reach it through
// ZQEExtensionLibFileVerify::GetInstance().

#ifndef ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONLIBFILEVERIFYIMPL_H_
#define ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONLIBFILEVERIFYIMPL_H_

#include <string>

#include "ZQExtensionKit/security/internal/ZQEExtensionLibFileVerify.h"

namespace base {
inline namespace zqe {
template <typename Type>
struct DefaultSingletonTraits;
}  // namespace zqe
}  // namespace base

namespace zqextensionkit {

class ZQEHashedFile;

class ZQEExtensionLibFileVerifyImpl : public ZQEExtensionLibFileVerify {
 public:
  // Created on the first call, thread-safely; never destroyed.
  static ZQEExtensionLibFileVerifyImpl* GetInstance();

  bool Verify(const std::string& file_path,
              const std::string& expected_md5) override;

  // Verify() for a file already opened and hashed: the same comparison and
  // the same messages, without reading the file again.
  bool VerifyHashedFile(const ZQEHashedFile& file,
                        const std::string& expected_md5);

 private:
  friend struct base::DefaultSingletonTraits<ZQEExtensionLibFileVerifyImpl>;

  ZQEExtensionLibFileVerifyImpl() = default;
  ~ZQEExtensionLibFileVerifyImpl() override = default;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONLIBFILEVERIFYIMPL_H_
