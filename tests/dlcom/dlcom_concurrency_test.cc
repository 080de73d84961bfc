#include <thread>
#include <vector>

#include "dlcom/comobject.h"
#include "dlcom/comsentry.h"
#include "gtest/gtest.h"

namespace {

struct IShared : public by::IBaseUnknown {};
BY_DECLARE_IID(IShared, "{6A5B4C3D-2E1F-4A0B-9C8D-7E6F5A4B3C2D}")

int g_destroyed = 0;

class Shared : public IShared, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IShared)
  ~Shared() override { ++g_destroyed; }
};

TEST(ComObjectConcurrencyTest, CountsStayExactUnderConcurrentQueries) {
  by::CComObject<Shared>* object = nullptr;
  ASSERT_EQ(S_OK, by::CComObject<Shared>::CreateInstance(&object));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([object] {
      for (int i = 0; i < 20000; ++i) {
        by::com_ptr<IShared> held(static_cast<IShared*>(object));
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(0, g_destroyed);
  EXPECT_EQ(2ul, object->AddRef());
  object->Release();

  // The last of several concurrent releases destroys the object once.
  for (int i = 0; i < 3; ++i)
    object->AddRef();
  threads.clear();
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([object] { object->Release(); });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(1, g_destroyed);
}

}  // namespace
