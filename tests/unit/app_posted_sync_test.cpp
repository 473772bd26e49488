// The window's hand-over: calls run on the owner when it drains, workers wait for exactly
// that, and a released or unreachable owner never runs a call nor keeps a worker waiting.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "app/deep_scan.h"
#include "app/posted_sync.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// A stand-in for the owner's message queue: notifications are counted, the owner waits for
// them as a window waits for its posted message.
class FakeQueue {
 public:
  bool accept = true;  // false: posting fails, as it does once the window is gone

  std::function<bool()> Notifier() {
    return [this] {
      std::lock_guard lock(mutex_);
      if (!accept) return false;
      ++posted_;
      arrived_.notify_all();
      return true;
    };
  }
  // Waits until `count` notifications have arrived in all.
  bool WaitFor(int count, std::chrono::milliseconds timeout = 5s) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return posted_ >= count; });
  }
  int Posted() {
    std::lock_guard lock(mutex_);
    return posted_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  int posted_ = 0;
};

TEST(PostedSync, ACallRunsOnTheOwnerWhenItDrainsAndTheWorkerWaitsUntilThen) {
  FakeQueue queue;
  app::TPostedSynchronizer sync(queue.Notifier());
  std::thread::id ranOn;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    sync.Synchronize([&] { ranOn = std::this_thread::get_id(); });
    returned = true;
  });
  EXPECT_TRUE(queue.WaitFor(1));
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(returned) << "the worker went on before its call ran";
  EXPECT_EQ(sync.RunPosted(), 1u);
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(sync.RunPosted(), 0u);  // a late notification finds nothing to run
}

TEST(PostedSync, OnTheOwnerThreadACallRunsAtOnceWithoutNotification) {
  FakeQueue queue;
  app::TPostedSynchronizer sync(queue.Notifier());
  int ran = 0;
  sync.Synchronize([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(queue.Posted(), 0);
  sync.Release();
  sync.Synchronize([&] { ++ran; });
  EXPECT_EQ(ran, 1);
}

TEST(PostedSync, AWorkerNeverWaitsForAnOwnerThatWillNotRunItsCall) {
  enum class Release { before, whileWaiting, never };
  struct Case {
    const char* what;
    bool posts;  // whether the notification reaches the owner
    Release release;
  };
  const Case cases[] = {
      {"released while the worker waits", true, Release::whileWaiting},
      {"released before the worker posts", true, Release::before},
      {"the notification cannot be posted (window gone)", false, Release::never},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeQueue queue;
    queue.accept = c.posts;
    app::TPostedSynchronizer sync(queue.Notifier());
    if (c.release == Release::before) sync.Release();
    std::atomic<int> ran{0};
    std::thread worker([&] { sync.Synchronize([&] { ++ran; }); });
    if (c.release == Release::whileWaiting) {
      EXPECT_TRUE(queue.WaitFor(1));
      sync.Release();
    }
    worker.join();
    EXPECT_EQ(queue.Posted(), c.release == Release::whileWaiting ? 1 : 0);
    EXPECT_EQ(sync.RunPosted(), 0u);
    EXPECT_EQ(ran, 0);
  }
}

TEST(PostedSync, ACallThatPumpsMessagesRunsTheNextOneWithoutDeadlock) {
  FakeQueue queue;
  app::TPostedSynchronizer sync(queue.Notifier());
  std::vector<int> order;
  std::thread first([&] {
    sync.Synchronize([&] {
      order.push_back(1);
      // A modal dialog opened from a report dispatches the window's messages meanwhile.
      EXPECT_TRUE(queue.WaitFor(2));
      sync.RunPosted();
      order.push_back(3);
    });
  });
  EXPECT_TRUE(queue.WaitFor(1));
  std::thread second([&] { sync.Synchronize([&] { order.push_back(2); }); });
  EXPECT_EQ(sync.RunPosted(), 1u);
  first.join();
  second.join();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(PostedSync, AThrowingCallLetsItsWorkerGoAndReachesTheOwner) {
  FakeQueue queue;
  app::TPostedSynchronizer sync(queue.Notifier());
  std::thread worker([&] { sync.Synchronize([] { throw std::runtime_error("report failed"); }); });
  EXPECT_TRUE(queue.WaitFor(1));
  EXPECT_THROW(sync.RunPosted(), std::runtime_error);
  worker.join();
}

// The Deep Scan session over the window's hand-over: rows arrive while the owner drains on
// notification, and a session destroyed while its workers wait still ends.
TEST(PostedSync, CarriesADeepScanAndLetsTheSessionEndMidScan) {
  sim::MachineBuilder b;
  for (char16_t c = u'A'; c <= u'T'; ++c) {
    b.File(u"C:\\Many\\" + std::u16string(1, c) + u"\\ghost.sys").hidden = true;
    b.StringValue(u"HKLM\\SOFTWARE\\Many\\" + std::u16string(1, c), u"ghost", u"x").hidden = true;
  }
  testing_support::SimMachineFixture fixture(b);
  FakeQueue queue;
  auto sync = std::make_shared<app::TPostedSynchronizer>(queue.Notifier());
  {
    app::TDeepScanSession session(sync);
    int finished = 0;
    session.OnScanFinished = [&](app::TDeepScanSession&) { ++finished; };
    session.StartScan({"C:"}, {"HKEY_LOCAL_MACHINE"});
    // The owner's message loop: drain on every notification until both walks have ended.
    while (session.Running()) {
      const int before = queue.Posted();
      if (sync->RunPosted() == 0 && !queue.WaitFor(before + 1)) break;
    }
    EXPECT_FALSE(session.Running());
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(session.Rows().size(), 40u);

    session.Refresh();
    session.StartScan({"C:"}, {"HKEY_LOCAL_MACHINE"});
    ASSERT_TRUE(queue.WaitFor(queue.Posted() + 1));
    // Nobody drains any more: the session's end must release and join its workers.
  }
  EXPECT_TRUE(sync->Released());
  EXPECT_EQ(sync->RunPosted(), 0u);
}

}  // namespace
