#include "dlcom/comfactory.h"

#include <cstring>

#include "gtest/gtest.h"

namespace {

struct IGreeter : public by::IBaseUnknown {
  virtual const char* Greet() = 0;
};
BY_DECLARE_IID(IGreeter, "{3D2C1B0A-9F8E-4D7C-A6B5-C4D3E2F1A0B9}")

class Greeter : public IGreeter, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(IGreeter)
  const char* Greet() override { return "hello"; }
};

constexpr ZQGUID kGreeterClsid =
    by::GuidFromLiteral("{3D2C1B0A-9F8E-4D7C-A6B5-C4D3E2F1A0BA}");
constexpr by::ComClassEntry kTable[] = {by::ComClass<Greeter>(kGreeterClsid)};

HRESULT GetClassObject(const ZQGUID& clsid, const ZQIID& iid, void** ppv) {
  return by::GetClassObjectFromTable(kTable, 1, clsid, iid, ppv);
}

// Index of a virtual function in its vtable (Itanium C++ ABI: a pointer to a
// virtual member function holds 1 + the slot's byte offset).
template <class F>
size_t SlotOf(F member) {
  static_assert(sizeof(F) == 2 * sizeof(size_t), "Itanium member pointer");
  size_t words[2];
  std::memcpy(words, &member, sizeof(words));
  return (words[0] - 1) / sizeof(void*);
}

TEST(ComFactoryTest, FactoryInterfacesKeepTheirSlotOrder) {
  EXPECT_EQ(0u, SlotOf(&by::IBaseUnknown::QueryInterface));
  EXPECT_EQ(2u, SlotOf(&by::IBaseUnknown::Release));
  EXPECT_EQ(3u, SlotOf(static_cast<HRESULT (by::IClassFactory__::*)(
                           by::IBaseUnknown*, const ZQIID&, void**)>(
                    &by::IClassFactory__::CreateInstance)));
  // The kit calls the framework factory's sixth operation.
  EXPECT_EQ(5u, SlotOf(&by::IComObjectFrameworkClassFactory::CreateInstance));
}

TEST(ComFactoryTest, ClassFactoryCreatesTheTablesClassThroughBothInterfaces) {
  by::com_ptr<by::IClassFactory__> factory;
  ASSERT_EQ(S_OK, GetClassObject(kGreeterClsid,
                                 by::__uuid_s<by::IClassFactory__>::iid,
                                 factory.vpp()));
  by::com_ptr<by::IComObjectFrameworkClassFactory> framework(factory);
  ASSERT_NE(nullptr, framework.ptr());

  by::com_ptr<IGreeter> greeter;
  ASSERT_EQ(S_OK,
            framework->CreateInstance(
                nullptr, nullptr, by::__uuid_s<IGreeter>::iid, greeter.vpp()));
  EXPECT_STREQ("hello", greeter->Greet());
  EXPECT_EQ(2ul, greeter->AddRef());  // one reference for the caller
  greeter->Release();

  by::com_ptr<IGreeter> second;
  EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, by::__uuid_s<IGreeter>::iid,
                                          second.vpp()));
  EXPECT_NE(greeter.ptr(), second.ptr());
  void* missing = nullptr;
  EXPECT_EQ(E_NOINTERFACE,
            framework->CreateInstance(
                nullptr, nullptr, by::__uuid_s<by::IPlugin>::iid, &missing));
  EXPECT_EQ(nullptr, missing);
}

TEST(ComFactoryTest, ModuleFactoryAnswersTheFrameworkIdAndCreatesNothing) {
  by::com_ptr<by::IComObjectFrameworkClassFactory> framework;
  ASSERT_EQ(S_OK, GetClassObject(
                      CLSID_MDClassFactory,
                      by::__uuid_s<by::IComObjectFrameworkClassFactory>::iid,
                      framework.vpp()));
  ASSERT_NE(nullptr, framework.ptr());
  ZQGUID clsid = GUID_NULL;
  EXPECT_EQ(S_OK, framework->GetClassID(&clsid));
  EXPECT_TRUE(clsid == CLSID_MDClassFactory);
  void* ppv = nullptr;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            framework->CreateInstance(nullptr, nullptr,
                                      by::__uuid_s<IGreeter>::iid, &ppv));
}

TEST(ComFactoryTest, UnknownClassStoresNothing) {
  void* ppv = &ppv;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            GetClassObject(CLSID_ZQEBaseBundle,
                           by::__uuid_s<by::IClassFactory__>::iid, &ppv));
  EXPECT_EQ(nullptr, ppv);
  EXPECT_EQ(E_POINTER,
            GetClassObject(kGreeterClsid,
                           by::__uuid_s<by::IClassFactory__>::iid, nullptr));
}

}  // namespace
