#include "ZQExtensionKit/event/ZQNotificationService.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dlcom/comsentry.h"
#include "tests/support/LogCapture.h"

namespace zqextensionkit {
namespace {

constexpr int kType = NOTIFICATION_OPEN_SYNC_MESSAGE;
constexpr int kOtherType = NOTIFICATION_FETCH_REMOTE_EXTENSION_SUCCESS;

struct Call {
  int observer;
  int type;
  uintptr_t source;
  uintptr_t params;
  bool operator==(const Call& other) const {
    return observer == other.observer && type == other.type &&
           source == other.source && params == other.params;
  }
};

// Records every call into a shared log and runs an optional action.
class RecordingObserver : public ZQNotificationObserver {
 public:
  RecordingObserver(int id, std::vector<Call>* calls)
      : id_(id), calls_(calls) {}
  ~RecordingObserver() override = default;

  void Observe(int type,
               const ZQNotificationSource& source,
               const ZQNotificationParameters& params) override {
    calls_->push_back(Call{id_, type, source.map_key(), params.map_key()});
    if (action_)
      action_();
  }

  std::function<void()> action_;

 private:
  int id_;
  std::vector<Call>* calls_;
};

class ZQNotificationServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(by::CComObject<ZQNotificationService>::CreateInstance(bus_.pp()),
              S_OK);
  }

  std::vector<int> CalledObservers() const {
    std::vector<int> ids;
    for (const Call& call : calls_)
      ids.push_back(call.observer);
    return ids;
  }

  by::CComObjectScopedPtr<ZQNotificationService> bus_;
  std::vector<Call> calls_;
  int chat_ = 0, other_chat_ = 0, message_ = 0;
  Source<int> chat_source_{&chat_};
  Source<int> other_source_{&other_chat_};
};

TEST_F(ZQNotificationServiceTest, PostingReachesTheFourListsInOrder) {
  RecordingObserver all_all(1, &calls_), all_chat(2, &calls_),
      type_all(3, &calls_), type_chat(4, &calls_), type_other(5, &calls_),
      other_type_chat(6, &calls_);
  // Subscribed in reverse of the delivery order.
  bus_->AddObserver(&type_chat, kType, chat_source_);
  bus_->AddObserver(&type_all, kType, IZQNotificationService::AllSources());
  bus_->AddObserver(&all_chat, NOTIFICATION_ALL, chat_source_);
  bus_->AddObserver(&all_all, NOTIFICATION_ALL,
                    IZQNotificationService::AllSources());
  bus_->AddObserver(&type_other, kType, other_source_);
  bus_->AddObserver(&other_type_chat, kOtherType, chat_source_);

  bus_->Notify(kType, chat_source_, Params<int>(&message_));
  const uintptr_t chat = chat_source_.map_key();
  const uintptr_t message = reinterpret_cast<uintptr_t>(&message_);
  EXPECT_EQ(calls_, (std::vector<Call>{{1, kType, chat, message},
                                       {2, kType, chat, message},
                                       {3, kType, chat, message},
                                       {4, kType, chat, message}}));
}

TEST_F(ZQNotificationServiceTest, PostingFromAllSourcesReachesOnlyAllSources) {
  RecordingObserver all_all(1, &calls_), all_chat(2, &calls_),
      type_all(3, &calls_), type_chat(4, &calls_);
  bus_->AddObserver(&all_all, NOTIFICATION_ALL,
                    IZQNotificationService::AllSources());
  bus_->AddObserver(&all_chat, NOTIFICATION_ALL, chat_source_);
  bus_->AddObserver(&type_all, kType, IZQNotificationService::AllSources());
  bus_->AddObserver(&type_chat, kType, chat_source_);

  bus_->Notify(kType, IZQNotificationService::AllSources(),
               IZQNotificationService::NoParams());
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1, 3}));
  EXPECT_EQ(calls_[0].source, 0u);
  EXPECT_EQ(calls_[0].params, 0u);
}

TEST_F(ZQNotificationServiceTest, TypeZeroWalksTheAllTypesListsTwice) {
  RecordingObserver all_all(1, &calls_), all_chat(2, &calls_),
      type_chat(3, &calls_);
  bus_->AddObserver(&all_all, NOTIFICATION_ALL,
                    IZQNotificationService::AllSources());
  bus_->AddObserver(&all_chat, NOTIFICATION_ALL, chat_source_);
  bus_->AddObserver(&type_chat, kType, chat_source_);

  bus_->Notify(NOTIFICATION_ALL, chat_source_,
               IZQNotificationService::NoParams());
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1, 2, 1, 2}));

  // From all sources, the all-types/all-sources list is both the "source"
  // list of all types and that of the type: walked twice, and no observer of
  // a particular source is reached.
  calls_.clear();
  bus_->Notify(NOTIFICATION_ALL, IZQNotificationService::AllSources(),
               IZQNotificationService::NoParams());
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1, 1}));
}

TEST_F(ZQNotificationServiceTest, DuplicateSubscriptionIsOneSubscription) {
  RecordingObserver observer(1, &calls_);
  bus_->AddObserver(&observer, kType, chat_source_);
  bus_->AddObserver(&observer, kType, chat_source_);
  bus_->AddObserver(nullptr, kType, chat_source_);
  bus_->Notify(kType, chat_source_, IZQNotificationService::NoParams());
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1}));

  bus_->RemoveObserver(&observer, kType, chat_source_);
  bus_->Notify(kType, chat_source_, IZQNotificationService::NoParams());
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1}));
}

TEST_F(ZQNotificationServiceTest, RemovingUnknownSubscriptionsChangesNothing) {
  RecordingObserver observer(1, &calls_), stranger(2, &calls_);
  bus_->AddObserver(&observer, kType, chat_source_);
  bus_->RemoveObserver(&stranger, kType, chat_source_);
  bus_->RemoveObserver(nullptr, kType, chat_source_);
  bus_->RemoveObserver(&observer, kOtherType, chat_source_);
  bus_->RemoveObserver(&observer, kType, other_source_);
  bus_->Notify(kType, chat_source_, IZQNotificationService::NoParams());
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1}));
}

TEST_F(ZQNotificationServiceTest, ObserverRemovingItselfAndPostingAgain) {
  RecordingObserver first(1, &calls_), second(2, &calls_);
  bus_->AddObserver(&first, kType, chat_source_);
  bus_->AddObserver(&second, kType, chat_source_);
  first.action_ = [&] {
    bus_->RemoveObserver(&first, kType, chat_source_);
    // The nested walk skips the removed observer too.
    bus_->Notify(kType, chat_source_, IZQNotificationService::NoParams());
  };
  bus_->Notify(kType, chat_source_, IZQNotificationService::NoParams());
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1, 2, 2}));

  calls_.clear();
  bus_->Notify(kType, chat_source_, IZQNotificationService::NoParams());
  EXPECT_EQ(CalledObservers(), (std::vector<int>{2}));
}

TEST_F(ZQNotificationServiceTest, LastObserverRemovingItselfEmptiesTheList) {
  RecordingObserver once(1, &calls_);
  once.action_ = [&] { bus_->RemoveObserver(&once, kType, chat_source_); };
  for (int round = 0; round < 2; ++round) {
    bus_->AddObserver(&once, kType, chat_source_);
    bus_->Notify(kType, chat_source_, IZQNotificationService::NoParams());
    bus_->Notify(kType, chat_source_, IZQNotificationService::NoParams());
  }
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1, 1}));
}

TEST_F(ZQNotificationServiceTest, ObserverAddedDuringTheWalkIsCalledInIt) {
  RecordingObserver first(1, &calls_), late(2, &calls_);
  bus_->AddObserver(&first, kType, chat_source_);
  first.action_ = [&] {
    bus_->AddObserver(&late, kType, chat_source_);
    first.action_ = nullptr;
  };
  bus_->Notify(kType, chat_source_, IZQNotificationService::NoParams());
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1, 2}));
}

TEST_F(ZQNotificationServiceTest, ListEmptiedByAnEarlierObserverIsSkipped) {
  RecordingObserver all_all(1, &calls_), type_chat(2, &calls_),
      type_all(3, &calls_);
  bus_->AddObserver(&all_all, NOTIFICATION_ALL,
                    IZQNotificationService::AllSources());
  bus_->AddObserver(&type_all, kType, IZQNotificationService::AllSources());
  bus_->AddObserver(&type_chat, kType, chat_source_);
  // Removing the only observers of two later lists deletes those lists
  // before their turn comes.
  all_all.action_ = [&] {
    bus_->RemoveObserver(&type_chat, kType, chat_source_);
    bus_->RemoveObserver(&type_all, kType,
                         IZQNotificationService::AllSources());
  };
  bus_->Notify(kType, chat_source_, IZQNotificationService::NoParams());
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1}));
}

TEST_F(ZQNotificationServiceTest, ObserverThatThrowsDoesNotStopTheOthers) {
  test::LogCapture log;
  RecordingObserver first(1, &calls_), second(2, &calls_), third(3, &calls_);
  first.action_ = [] { throw std::runtime_error("observer failed"); };
  // The second observer removes itself, then throws: its walk still ends
  // cleanly, so the list is compacted and kept for the others.
  second.action_ = [&] {
    bus_->RemoveObserver(&second, kType, chat_source_);
    throw 7;
  };
  bus_->AddObserver(&first, kType, chat_source_);
  bus_->AddObserver(&second, kType, chat_source_);
  bus_->AddObserver(&third, kType, chat_source_);

  EXPECT_NO_THROW(bus_->Notify(kType, chat_source_, Params<int>(&message_)));
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1, 2, 3}));
  const std::string failed =
      "notification service - notify observer failed, because of observe "
      "execute failed, type:" +
      std::to_string(kType);
  EXPECT_EQ(log.texts(), (std::vector<std::string>{failed, failed}));

  calls_.clear();
  first.action_ = nullptr;
  bus_->Notify(kType, chat_source_, Params<int>(&message_));
  EXPECT_EQ(CalledObservers(), (std::vector<int>{1, 3}));
}

TEST_F(ZQNotificationServiceTest, AnswersItsTwoInterfaces) {
  by::com_ptr<IZQNotificationService> bus(bus_.ptr());
  ASSERT_TRUE(bus.ptr() != nullptr);
  by::com_ptr<by::IBaseUnknown> unknown(bus.ptr());
  EXPECT_TRUE(unknown.ptr() != nullptr);
  void* other = nullptr;
  EXPECT_EQ(bus->QueryInterface(by::__uuid_s<by::IClassFactory__>::iid, &other),
            E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
}

}  // namespace
}  // namespace zqextensionkit
