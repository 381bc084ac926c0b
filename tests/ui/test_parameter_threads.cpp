// Concurrent sets, reads and callback registration; built again under ThreadSanitizer by
// scripts/checks/tsan_parameters.sh.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "protocol/osc_test_support.hpp"
#include "ui/vl_Parameter.hpp"

using namespace vl;

namespace {

// Runs writers and readers together until every writer has done its sets.
template <class W, class R>
void race(int writers, int readers, W write, R read) {
  std::atomic<int> writing{writers};
  std::vector<std::thread> threads;
  for (int w = 0; w < writers; ++w) {
    threads.emplace_back([&, w] {
      for (int k = 0; k < 2000; ++k) write(w, k);
      --writing;
    });
  }
  for (int r = 0; r < readers; ++r) {
    threads.emplace_back([&] {
      while (writing > 0) read();
    });
  }
  for (auto& t : threads) t.join();
}

}  // namespace

TEST(ParameterThreads, ReadsNeverSeeATornOrForeignValue) {
  Parameter p("p", "", 0.0f, "", 0.0f, 100.0f);
  ParameterInt i("i", "", 0, "", 0, 100);
  std::atomic<long> callbackCalls{0};
  p.registerChangeCallback([&](float) { ++callbackCalls; });
  std::atomic<bool> bad{false};
  race(
      3, 2,
      [&](int w, int k) {
        p.set(static_cast<float>((w * 7 + k) % 150));
        i.set((w + k) % 150);
      },
      [&] {
        float v = p.get();
        int32_t n = i.get();
        if (v < 0.0f || v > 100.0f || n < 0 || n > 100) bad = true;
      });
  EXPECT_FALSE(bad);
  EXPECT_EQ(callbackCalls, 3 * 2000);

  // Each writer stores a pose whose seven numbers are all equal, and a text of one repeated
  // letter long enough to live on the heap: a reader must never see a mix.
  ParameterPose pose("pose", "", Pose({0.0, 0.0, 0.0}, Quatd(0, 0, 0, 0)));
  ParameterString s("s", "", std::string(40, 'a'));
  ParameterVec3 v("v", "", Vec3f(0.f, 0.f, 0.f));
  race(
      3, 3,
      [&](int w, int k) {
        double x = w * 10000 + k;
        pose.set(Pose({x, x, x}, Quatd(x, x, x, x)));
        s.set(std::string(40 + k % 30, static_cast<char>('a' + w)));
        v.setQuiet(Vec3f(float(k), float(k), float(k)));
      },
      [&] {
        Pose p7 = pose.get();
        double x = p7.position[0];
        if (p7.position[1] != x || p7.position[2] != x || p7.orientation.w != x ||
            p7.orientation.z != x) {
          bad = true;
        }
        std::string text = s.get();
        if (text.size() < 40 || text.find_first_not_of(text[0]) != std::string::npos) bad = true;
        Vec3f q = v.get();
        if (q[0] != q[1] || q[1] != q[2]) bad = true;
      });
  EXPECT_FALSE(bad);
}

TEST(ParameterThreads, RegistrationWhileOtherThreadsSet) {
  Parameter p("p");
  ParameterMenu menu("menu");
  menu.setElements({"a", "b", "c"});
  std::atomic<long> calls{0};
  std::atomic<bool> bad{false};
  std::atomic<bool> registered{false};
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (int k = 0; k < 200; ++k) {
      p.registerChangeCallback([&](float) { ++calls; });
      menu.setElements(k % 2 ? std::vector<std::string>{"a", "b"}
                             : std::vector<std::string>{"a", "b", "c"});
    }
    registered = true;
  });
  for (int w = 0; w < 2; ++w) {
    threads.emplace_back([&] {
      // Keep setting until the registrations are over, however the threads are scheduled.
      int afterRegistration = 0;
      for (int k = 0; k < 2000 || afterRegistration < 10; ++k) {
        if (registered) ++afterRegistration;
        p.set(float(k));
        menu.set(k % 3);
        std::string e = menu.currentElement();
        if (!e.empty() && e != "a" && e != "b" && e != "c") bad = true;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_FALSE(bad);
  EXPECT_GT(calls, 0);
  calls = 0;
  p.set(1.0f);
  EXPECT_EQ(calls, 200);
}

// The first setter's callback is still running when the second setter starts: the second
// must not be announced and stored in between, or the first would store its older value last.
template <class P, class V>
void overtakeWhileAnnouncing(P& p, V first, V second) {
  std::atomic<bool> inside{false};
  std::mutex lock;
  std::vector<V> announced;
  p.registerChangeCallback([&](V v) {
    {
      std::lock_guard<std::mutex> g(lock);
      announced.push_back(v);
    }
    if (v == first) {
      inside = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  std::thread slow([&] { p.set(first); });
  while (!inside) std::this_thread::yield();
  p.set(second);
  slow.join();
  ASSERT_EQ(announced.size(), 2u);
  EXPECT_EQ(p.get(), announced.back());
}

TEST(ParameterThreads, ConcurrentSettersStoreTheValueAnnouncedLast) {
  Parameter p("p", "", 0.0f, "", 0.0f, 10.0f);
  overtakeWhileAnnouncing(p, 1.0f, 2.0f);
  ParameterString s("s");
  overtakeWhileAnnouncing(s, std::string(30, 'a'), std::string(30, 'b'));
}

namespace {

// Checks every message that arrives for one of the texts the senders send.
struct TextChecker : vl::osc::PacketHandler {
  std::atomic<int> good{0}, bad{0}, ended{0};
  void onMessage(vl::osc::Message& m) override {
    if (m.addressPattern() == "/end") {
      ++ended;
      return;
    }
    std::string text;
    if (m.addressPattern() == "/text" && m.typeTags() == "s") m >> text;
    const bool whole = text.size() == 200 && text.find_first_not_of(text[0]) == std::string::npos;
    ++(whole ? good : bad);
  }
};

}  // namespace

TEST(ParameterThreads, TwoThreadsSendingThroughOneSenderSendWholePackets) {
  vl::osc::Recv r;
  TextChecker checker;
  r.handler(checker);
  uint16_t port = osctest::openOnFreePort(r);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(r.start());
  vl::osc::Send shared(port, "127.0.0.1");
  ParameterString a("text", "", std::string(200, 'a')), b("text", "", std::string(200, 'b'));
  // Full speed, so that the two builds overlap; the kernel may drop some datagrams then, but
  // none that arrives may be torn and no build may fail.
  const int perThread = 2000;
  std::atomic<int> ready{0};
  auto sendAll = [&](ParameterString& p) {
    ++ready;
    while (ready < 2) std::this_thread::yield();
    for (int k = 0; k < perThread; ++k) p.sendValue(shared);
  };
  testing::internal::CaptureStderr();
  std::thread first(sendAll, std::ref(a));
  std::thread second(sendAll, std::ref(b));
  first.join();
  second.join();
  // The last message is sent once more, alone, to know when the rest has been handled.
  ParameterString last("end", "", std::string(200, 'z'));
  for (int w = 0; w < 200 && checker.ended == 0; ++w) {
    last.sendValue(shared);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(errors, "");
  EXPECT_EQ(checker.bad, 0);
  // A loaded machine drops most of a burst; a few dozen whole packets still prove the point.
  EXPECT_GT(checker.good, perThread / 100);
}
