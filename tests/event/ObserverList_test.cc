#include "ZQExtensionKit/event/ObserverList.h"

#include <functional>
#include <vector>

#include <gtest/gtest.h>

namespace zqextensionkit {
namespace {

class Foo {
 public:
  virtual ~Foo() = default;
  virtual void Ping() = 0;
};

// Records its calls and runs an optional action on each.
class RecordingFoo : public Foo {
 public:
  RecordingFoo(int id, std::vector<int>* calls) : id_(id), calls_(calls) {}
  void Ping() override {
    calls_->push_back(id_);
    if (action_)
      action_();
  }
  std::function<void()> action_;

 private:
  int id_;
  std::vector<int>* calls_;
};

using List = ObserverList<Foo>;

// Walks `list` once, pinging every observer it reaches.
void Walk(List* list) {
  List::Iterator it(list);
  while (Foo* foo = it.GetNext())
    foo->Ping();
}

TEST(ObserverListTest, WalksInSubscriptionOrderAndIgnoresDuplicatesAndNull) {
  std::vector<int> calls;
  RecordingFoo a(1, &calls), b(2, &calls);
  List list;
  EXPECT_FALSE(list.might_have_observers());
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&a);
  list.AddObserver(nullptr);
  EXPECT_TRUE(list.HasObserver(&a));
  EXPECT_FALSE(list.HasObserver(nullptr));
  Walk(&list);
  EXPECT_EQ(calls, (std::vector<int>{1, 2}));

  list.RemoveObserver(&a);
  list.RemoveObserver(&a);  // Unknown now: nothing changes.
  list.RemoveObserver(nullptr);
  EXPECT_FALSE(list.HasObserver(&a));
  list.RemoveObserver(&b);
  EXPECT_FALSE(list.might_have_observers());
}

TEST(ObserverListTest, RemovalDuringWalkSkipsTheRemovedAndKeepsLengthUntilEnd) {
  std::vector<int> calls;
  RecordingFoo a(1, &calls), b(2, &calls), c(3, &calls);
  List list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&c);
  // `a` removes itself and `c` (not yet reached); both disappear only when
  // the walk is over.
  a.action_ = [&] {
    list.RemoveObserver(&a);
    list.RemoveObserver(&c);
    EXPECT_TRUE(list.might_have_observers());
    EXPECT_FALSE(list.HasObserver(&a));
  };
  Walk(&list);
  EXPECT_EQ(calls, (std::vector<int>{1, 2}));

  // After the walk the blanked slots are gone: removing `b` empties it.
  list.RemoveObserver(&b);
  EXPECT_FALSE(list.might_have_observers());
}

TEST(ObserverListTest, NotifyAllReachesObserversAddedDuringTheWalk) {
  std::vector<int> calls;
  RecordingFoo a(1, &calls), b(2, &calls);
  List list;
  list.AddObserver(&a);
  a.action_ = [&] { list.AddObserver(&b); };
  Walk(&list);
  EXPECT_EQ(calls, (std::vector<int>{1, 2}));
}

TEST(ObserverListTest, ExistingOnlyStopsAtTheLengthWhenTheWalkBegan) {
  std::vector<int> calls;
  RecordingFoo a(1, &calls), b(2, &calls);
  List list(List::NOTIFY_EXISTING_ONLY);
  list.AddObserver(&a);
  a.action_ = [&] { list.AddObserver(&b); };
  Walk(&list);
  EXPECT_EQ(calls, (std::vector<int>{1}));
  a.action_ = nullptr;
  Walk(&list);
  EXPECT_EQ(calls, (std::vector<int>{1, 1, 2}));
}

TEST(ObserverListTest, NestedWalksCompactOnlyWhenTheOutermostEnds) {
  std::vector<int> calls;
  RecordingFoo a(1, &calls), b(2, &calls);
  List list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  bool nested = false;
  a.action_ = [&] {
    if (nested)
      return;
    nested = true;
    // The inner walk removes `b`; the outer walk must not reach it either.
    b.action_ = [&] { list.RemoveObserver(&b); };
    Walk(&list);
    EXPECT_TRUE(list.might_have_observers());
  };
  Walk(&list);
  EXPECT_EQ(calls, (std::vector<int>{1, 1, 2}));
  list.RemoveObserver(&a);
  EXPECT_FALSE(list.might_have_observers());
}

TEST(ObserverListTest, ClearDuringWalkStopsTheWalk) {
  std::vector<int> calls;
  RecordingFoo a(1, &calls), b(2, &calls);
  List list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  a.action_ = [&] { list.Clear(); };
  Walk(&list);
  EXPECT_EQ(calls, (std::vector<int>{1}));
  EXPECT_FALSE(list.might_have_observers());
}

TEST(ObserverListTest, IteratorOverNoListReturnsNothing) {
  List::Iterator it(nullptr);
  EXPECT_EQ(it.GetNext(), nullptr);
}

}  // namespace
}  // namespace zqextensionkit
