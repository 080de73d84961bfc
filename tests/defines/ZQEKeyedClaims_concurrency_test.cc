// Keyed claims never wait where the wait would close a cycle: two threads
// that each hold a key and then ask for the other's (two plug-ins whose
// start-up asks for each other, each started on its own thread) both go on,
// whether the keys belong to one set of claims or to two; a thread asking
// for a key whose holder waits for nothing still waits for it.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "ZQExtensionKit/defines/internal/ZQEKeyedClaims.h"
#include "tests/support/Deadlock.h"

namespace zqextensionkit {
namespace {

TEST(KeyedClaimsConcurrencyTest, AWaitThatClosesACycleDoesNotWait) {
  struct Case {
    const char* name;
    bool two_sets;   // The two keys belong to different claims objects.
    bool wait_only;  // The second thread only Wait()s for the first's key.
  };
  const Case cases[] = {
      {"one set, Acquire", false, false},
      {"two sets, Acquire", true, false},
      {"two sets, Wait", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ZQEKeyedClaims first_set;
    ZQEKeyedClaims second_set;
    ZQEKeyedClaims& a_set = first_set;
    ZQEKeyedClaims& b_set = c.two_sets ? second_set : first_set;
    test::Rendezvous rendezvous;
    bool main_owned = true;
    bool other_owned = false;
    test::RunOrFailOnDeadlock([&] {
      std::thread other([&] {
        const ZQEKeyedClaims::Claim b = b_set.Acquire("b");
        rendezvous.Meet(1);
        if (c.wait_only)
          a_set.Wait("a");
        else
          other_owned = a_set.Acquire("a").owned();
      });
      {
        const ZQEKeyedClaims::Claim a = a_set.Acquire("a");
        rendezvous.Meet(0);
        // The other thread waits for "a" by now: asking for "b" closes the
        // cycle.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        main_owned = b_set.Acquire("b").owned();
      }  // "a" given up: the other thread goes on and takes it.
      other.join();
    });
    EXPECT_FALSE(main_owned) << "the wait that closes the cycle";
    EXPECT_EQ(!c.wait_only, other_owned);
  }
}

TEST(KeyedClaimsConcurrencyTest, AKeyWhoseHolderWaitsForNothingIsWaitedFor) {
  ZQEKeyedClaims claims;
  std::atomic<bool> released{false};
  bool owned = false;
  bool waited = false;
  std::thread holder;
  {
    auto claim = std::make_unique<ZQEKeyedClaims::Claim>(claims.Acquire("k"));
    holder = std::thread([&] {
      const ZQEKeyedClaims::Claim second = claims.Acquire("k");
      owned = second.owned();
      waited = second.waited();
      EXPECT_TRUE(released.load()) << "took the key while it was held";
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    released = true;
  }
  holder.join();
  EXPECT_TRUE(owned);
  EXPECT_TRUE(waited);
}

}  // namespace
}  // namespace zqextensionkit
