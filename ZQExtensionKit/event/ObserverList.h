// ObserverListBase<T> / ObserverList<T, check_empty>: an ordered list of
// observer pointers that stays valid while it is being walked.
//
// Observers are kept in subscription order, each at most once. A walk is an
// Iterator: while one is alive, RemoveObserver() only blanks the observer's
// slot (the length stays the same) and AddObserver() appends, so the walk
// neither skips nor repeats anybody. A list of type NOTIFY_ALL also reaches
// observers appended during the walk; NOTIFY_EXISTING_ONLY stops at the length
// the list had when the walk began. When the outermost walk ends the blanked
// slots are compacted away. Walks may nest (an observer may walk the list
// again from inside its callback).
//
// Ownership: the list holds raw pointers and never destroys observers. The
// list must outlive every Iterator made over it.
//
// Threads: not thread-safe; one thread at a time.
//
//   ObserverList<Foo> list;
//   list.AddObserver(&foo);
//   ObserverList<Foo>::Iterator it(&list);
//   while (Foo* foo = it.GetNext())
//     foo->OnSomething();

#ifndef ZQEXTENSIONKIT_EVENT_OBSERVERLIST_H_
#define ZQEXTENSIONKIT_EVENT_OBSERVERLIST_H_

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <limits>
#include <vector>

namespace zqextensionkit {

// The list behind ObserverList (see the top of this file).
template <class ObserverType>
class ObserverListBase {
 public:
  // Whether observers added during a walk are reached by that walk.
  enum NotificationType {
    NOTIFY_ALL = 0,
    NOTIFY_EXISTING_ONLY = 1,
  };

  // One walk over a list. Constructing it starts the walk (the list's depth
  // rises by one); destroying it ends the walk and, for the outermost one,
  // compacts the list.
  class Iterator {
   public:
    // A null `list` gives an iterator that returns nothing.
    explicit Iterator(ObserverListBase<ObserverType>* list)
        : list_(list),
          index_(0),
          max_index_(list && list->type_ == NOTIFY_EXISTING_ONLY
                         ? list->observers_.size()
                         : std::numeric_limits<size_t>::max()) {
      if (list_)
        ++list_->notify_depth_;
    }

    ~Iterator() {
      if (list_ && --list_->notify_depth_ == 0)
        list_->Compact();
    }

    Iterator(const Iterator&) = delete;
    Iterator& operator=(const Iterator&) = delete;

    // The next observer still in the list, or null at the end of the walk.
    ObserverType* GetNext() {
      if (!list_)
        return nullptr;
      // Re-read on every call: the previous observer may have changed the
      // list (appending may even have moved its storage).
      ObserverType* const* slots = list_->observers_.data();
      size_t bound = list_->observers_.size();
      if (max_index_ < bound)
        bound = max_index_;
      size_t index = index_;
      while (index < bound) {
        ObserverType* observer = slots[index++];
        // Blank slots are rare: lay the found case out as the straight path.
        if (__builtin_expect(observer != nullptr, 1)) {
          index_ = index;
          return observer;
        }
      }
      index_ = index;
      return nullptr;
    }

   private:
    ObserverListBase<ObserverType>* list_;
    size_t index_;      // Next slot to look at.
    size_t max_index_;  // End of the walk (see NotificationType).
  };

  // An empty list.
  ObserverListBase() : notify_depth_(0), type_(NOTIFY_ALL) {}
  explicit ObserverListBase(NotificationType type)
      : notify_depth_(0), type_(type) {}

  ObserverListBase(const ObserverListBase&) = delete;
  ObserverListBase& operator=(const ObserverListBase&) = delete;

  // Appends `obs` unless it is null or already in the list.
  void AddObserver(ObserverType* obs) {
    if (!obs || HasObserver(obs))
      return;
    observers_.push_back(obs);
  }

  // Removes `obs`; a null or unknown observer changes nothing. During a walk
  // the slot is blanked instead, so the length stays the same.
  void RemoveObserver(ObserverType* obs) {
    if (!obs)
      return;
    auto it = std::find(observers_.begin(), observers_.end(), obs);
    if (it == observers_.end())
      return;
    if (notify_depth_ > 0)
      *it = nullptr;
    else
      observers_.erase(it);
  }

  // Whether `observer` is in the list.
  bool HasObserver(const ObserverType* observer) const {
    return observer && std::find(observers_.begin(), observers_.end(),
                                 observer) != observers_.end();
  }

  // Removes every observer (blanks every slot during a walk).
  void Clear() {
    if (notify_depth_ > 0)
      std::fill(observers_.begin(), observers_.end(), nullptr);
    else
      observers_.clear();
  }

 protected:
  ~ObserverListBase() = default;

  // The number of slots, blanked ones included.
  size_t size() const { return observers_.size(); }

  // Drops the blanked slots, keeping the order of the rest.
  void Compact() {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr),
                     observers_.end());
  }

 private:
  std::vector<ObserverType*> observers_;
  int notify_depth_;  // Number of walks in progress.
  NotificationType type_;
};

// With `check_empty`, a list must have no observers left when destroyed
// (checked in debug builds).
template <class ObserverType, bool check_empty = false>
class ObserverList : public ObserverListBase<ObserverType> {
 public:
  // See ObserverListBase::NotificationType.
  using NotificationType =
      typename ObserverListBase<ObserverType>::NotificationType;

  // An empty list.
  ObserverList() = default;
  explicit ObserverList(NotificationType type)
      : ObserverListBase<ObserverType>(type) {}

  ~ObserverList() {
    if (check_empty) {
      this->Compact();
      assert(this->size() == 0 && "observers left in the list");
    }
  }

  // False once the list has no slot left (after removals outside walks).
  bool might_have_observers() const { return this->size() != 0; }
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EVENT_OBSERVERLIST_H_
