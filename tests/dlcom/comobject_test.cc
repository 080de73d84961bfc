#include "dlcom/comobject.h"

#include <stdexcept>

#include "dlcom/comsentry.h"
#include "gtest/gtest.h"

namespace {

struct ICounter : public by::IBaseUnknown {
  virtual int Next() = 0;
};
BY_DECLARE_IID(ICounter, "{0C1D2E3F-4051-4627-8394-A5B6C7D8E9F0}")

struct INamed : public by::IBaseUnknown {
  virtual const char* Name() = 0;
};
BY_DECLARE_IID(INamed, "{0C1D2E3F-4051-4627-8394-A5B6C7D8E9F1}")

struct IUnrelated : public by::IBaseUnknown {};
BY_DECLARE_IID(IUnrelated, "{0C1D2E3F-4051-4627-8394-A5B6C7D8E9F2}")

int g_destroyed = 0;
HRESULT g_init_result = S_OK;
by::IBaseUnknown* g_seen_prot = nullptr;

// Implements the three operations itself, with two interfaces.
class Counter : public ICounter, public INamed, public by::CUnknownImp {
 public:
  BY_UNKNOWN_IMP(ICounter, INamed)
  ~Counter() override { ++g_destroyed; }
  HRESULT init_class(by::IBaseUnknown* prot, by::IBaseUnknown* /*outer*/) {
    g_seen_prot = prot;
    if (g_init_result == E_UNEXPECTED)
      throw std::runtime_error("init_class threw");
    return g_init_result;
  }
  int Next() override { return ++value_; }
  const char* Name() override { return "counter"; }

 private:
  int value_ = 0;
};

// Leaves the three operations to CComObject.
class Named : public INamed, public by::CUnknownImp {
 public:
  BY_INTERFACES(INamed)
  ~Named() override { ++g_destroyed; }
  const char* Name() override { return "named"; }
};

// Derives from a class that named its list, and writes part of the three
// operations itself: QueryInterface answering one more interface, and
// AddRef counting its calls. Release stays the template's.
class NamedCounter : public ICounter, public Named {
 public:
  HRESULT QueryInterface(const ZQIID& riid, void** ppv) override {
    if (riid == by::__uuid_s<ICounter>::iid) {
      *ppv = static_cast<ICounter*>(this);
      AddRef();
      return S_OK;
    }
    // The base's own list answers the rest.
    return by::QueryInterfaceFromList(static_cast<Named*>(this),
                                      Named::by_interface_list(), riid, ppv);
  }
  ULONG AddRef() override {
    ++add_refs;
    return InternalAddRef();
  }
  int Next() override { return 7; }
  int add_refs = 0;
};

// By type: which operations CComObject takes from the class.
static_assert(!by::detail::uses_own_operation<Named, by::detail::AddRefOp>);
static_assert(by::detail::uses_own_operation<Counter, by::detail::ReleaseOp>);
static_assert(
    by::detail::uses_own_operation<NamedCounter, by::detail::QueryInterfaceOp>);
static_assert(
    by::detail::uses_own_operation<NamedCounter, by::detail::AddRefOp>);
static_assert(
    !by::detail::uses_own_operation<NamedCounter, by::detail::ReleaseOp>);

class ComObjectTest : public testing::Test {
 protected:
  void SetUp() override {
    g_destroyed = 0;
    g_init_result = S_OK;
    g_seen_prot = nullptr;
  }
};

TEST_F(ComObjectTest, CreateInstanceHandsOutOneReference) {
  by::CComObject<Counter>* object = nullptr;
  ASSERT_EQ(S_OK, by::CComObject<Counter>::CreateInstance(&object));
  ASSERT_NE(nullptr, object);
  EXPECT_EQ(2ul, object->AddRef());
  EXPECT_EQ(1ul, object->Release());
  EXPECT_EQ(0, g_destroyed);
  EXPECT_EQ(0ul, object->Release());
  EXPECT_EQ(1, g_destroyed);
}

TEST_F(ComObjectTest, QueryInterfaceCountsAndAnswersEachInterface) {
  by::CComObject<Counter>* object = nullptr;
  ASSERT_EQ(S_OK, by::CComObject<Counter>::CreateInstance(&object));

  void* unknown = nullptr;
  ASSERT_EQ(S_OK, object->QueryInterface(by::__uuid_s<by::IBaseUnknown>::iid,
                                         &unknown));
  EXPECT_EQ(static_cast<by::IBaseUnknown*>(static_cast<ICounter*>(object)),
            unknown);
  void* named = nullptr;
  ASSERT_EQ(S_OK, object->QueryInterface(by::__uuid_s<INamed>::iid, &named));
  // The second interface pointer must reach the second interface's slots.
  EXPECT_STREQ("counter", static_cast<INamed*>(named)->Name());
  EXPECT_EQ(4ul, object->AddRef());

  void* untouched = &named;
  EXPECT_EQ(2147500034L,
            object->QueryInterface(by::__uuid_s<IUnrelated>::iid, &untouched));
  EXPECT_EQ(&named, untouched);
  EXPECT_EQ(E_POINTER,
            object->QueryInterface(by::__uuid_s<ICounter>::iid, nullptr));
  EXPECT_EQ(3ul, object->Release());

  static_cast<INamed*>(named)->Release();
  static_cast<by::IBaseUnknown*>(unknown)->Release();
  EXPECT_EQ(0, g_destroyed);
  EXPECT_EQ(0ul, object->Release());
  EXPECT_EQ(1, g_destroyed);
}

TEST_F(ComObjectTest, TemplateSuppliesTheOperationsAClassLeavesOpen) {
  void* named = nullptr;
  ASSERT_EQ(S_OK, by::CComObject<Named>::CreateInstance2(
                      by::__uuid_s<INamed>::iid, &named));
  EXPECT_STREQ("named", static_cast<INamed*>(named)->Name());
  EXPECT_EQ(0, g_destroyed);
  EXPECT_EQ(0ul, static_cast<INamed*>(named)->Release());
  EXPECT_EQ(1, g_destroyed);
}

// A class below one that named its interfaces keeps the operations it writes
// itself; the ones it leaves open come from the list.
TEST_F(ComObjectTest, TemplateKeepsTheOperationsADerivedClassWrites) {
  void* counter = nullptr;
  ASSERT_EQ(S_OK, by::CComObject<NamedCounter>::CreateInstance2(
                      by::__uuid_s<ICounter>::iid, &counter));
  EXPECT_EQ(7, static_cast<ICounter*>(counter)->Next());
  by::com_ptr<INamed> named(static_cast<ICounter*>(counter));
  ASSERT_TRUE(named);
  EXPECT_STREQ("named", named->Name());
  // CreateInstance's, CreateInstance2's query and com_ptr's query.
  EXPECT_EQ(
      3, static_cast<NamedCounter*>(static_cast<ICounter*>(counter))->add_refs);
  named.dispose();
  EXPECT_EQ(0ul, static_cast<ICounter*>(counter)->Release());
  EXPECT_EQ(1, g_destroyed);
}

TEST_F(ComObjectTest, FailedInitClassDestroysTheObjectAndPassesItsResultOn) {
  g_init_result = E_FAIL;
  by::CComObject<Counter>* object = nullptr;
  EXPECT_EQ(E_FAIL, by::CComObject<Counter>::CreateInstance(&object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(1, g_destroyed);

  void* ppv = nullptr;
  EXPECT_EQ(E_FAIL, by::CComObject<Counter>::CreateInstance2(
                        by::__uuid_s<ICounter>::iid, &ppv));
  EXPECT_EQ(nullptr, ppv);
  EXPECT_EQ(2, g_destroyed);
  EXPECT_EQ(E_POINTER, by::CComObject<Counter>::CreateInstance(nullptr));

  // An init_class that throws: the exception passes on, the object does not
  // outlive it.
  g_init_result = E_UNEXPECTED;
  EXPECT_THROW(by::CComObject<Counter>::CreateInstance(&object),
               std::runtime_error);
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(3, g_destroyed);
}

TEST_F(ComObjectTest, CreateInstanceExPassesItsArgumentsToInitClass) {
  by::CComObjectScopedPtr<Named> prot;
  ASSERT_EQ(S_OK, by::CComObject<Named>::CreateInstance(prot.pp()));
  by::CComObject<Counter>* object = nullptr;
  ASSERT_EQ(S_OK,
            by::CComObject<Counter>::CreateInstanceEx(&object, prot, nullptr));
  EXPECT_EQ(static_cast<by::IBaseUnknown*>(prot.ptr()), g_seen_prot);
  object->Release();
}

TEST_F(ComObjectTest, CreateInstance2FailsForAnInterfaceTheClassLacks) {
  void* ppv = nullptr;
  EXPECT_EQ(E_NOINTERFACE, by::CComObject<Named>::CreateInstance2(
                               by::__uuid_s<ICounter>::iid, &ppv));
  EXPECT_EQ(nullptr, ppv);
  EXPECT_EQ(1, g_destroyed);
}

TEST_F(ComObjectTest, NullObjectAnswersOnlyTheRootInterface) {
  by::CComObjectScopedPtr<by::CNullObjcetUnkown> object;
  ASSERT_EQ(S_OK,
            by::CComObject<by::CNullObjcetUnkown>::CreateInstance(object.pp()));
  void* ppv = nullptr;
  EXPECT_EQ(S_OK,
            object->QueryInterface(by::__uuid_s<by::IBaseUnknown>::iid, &ppv));
  EXPECT_EQ(1ul, static_cast<by::IBaseUnknown*>(ppv)->Release());
  EXPECT_EQ(E_NOINTERFACE,
            object->QueryInterface(by::__uuid_s<by::IPlugin>::iid, &ppv));
}

TEST_F(ComObjectTest, ComPtrQueriesOnAcquireAndReleasesOnDestruction) {
  by::CComObject<Counter>* object = nullptr;
  ASSERT_EQ(S_OK, by::CComObject<Counter>::CreateInstance(&object));
  {
    by::com_ptr<ICounter> counter(static_cast<ICounter*>(object));
    ASSERT_NE(nullptr, counter.ptr());
    EXPECT_EQ(1, counter->Next());
    by::com_ptr<INamed> named(counter);  // query across interfaces
    EXPECT_STREQ("counter", named->Name());
    by::com_ptr<IUnrelated> unrelated(counter);  // not answered: stays null
    EXPECT_EQ(nullptr, unrelated.ptr());
    EXPECT_EQ(4ul, object->AddRef());
    object->Release();
  }
  EXPECT_EQ(2ul, object->AddRef());
  object->Release();
  EXPECT_EQ(0, g_destroyed);
  object->Release();
  EXPECT_EQ(1, g_destroyed);
}

TEST_F(ComObjectTest, ComPtrAssignmentAttachDetachAndOutParameters) {
  by::com_ptr<ICounter> first;
  by::CComObject<Counter>::CreateInstance2(by::__uuid_s<ICounter>::iid,
                                           first.vpp());
  by::com_ptr<ICounter> second;
  by::CComObject<Counter>::CreateInstance2(by::__uuid_s<ICounter>::iid,
                                           second.vpp());
  ASSERT_TRUE(first.ptr() && second.ptr());

  first = second;  // releases the first object
  EXPECT_EQ(1, g_destroyed);
  EXPECT_EQ(first.ptr(), second.ptr());
  by::com_ptr<ICounter>& alias = first;
  first = alias;  // self-assignment keeps the object alive
  EXPECT_EQ(1, first->Next());

  ICounter* raw = second.detach();
  EXPECT_EQ(nullptr, second.ptr());
  by::com_ptr<ICounter> third;
  third.attach(raw);  // takes the detached reference over, no query
  first.dispose();
  EXPECT_EQ(1, g_destroyed);

  // pp() releases what was held before handing out the slot.
  by::CComObject<Counter>::CreateInstance2(by::__uuid_s<ICounter>::iid,
                                           third.vpp());
  EXPECT_EQ(2, g_destroyed);

  by::com_ptr<ICounter> moved(std::move(third));
  EXPECT_EQ(nullptr, third.ptr());
  moved = nullptr;
  EXPECT_EQ(3, g_destroyed);
}

TEST_F(ComObjectTest, ScopedPtrDestroysTheComponentAtTheEndOfTheScope) {
  {
    by::CComObjectScopedPtr<Counter> scoped;
    ASSERT_EQ(S_OK, by::CComObject<Counter>::CreateInstance(scoped.pp()));
    EXPECT_EQ(1, scoped->Next());
  }
  EXPECT_EQ(1, g_destroyed);
}

}  // namespace
