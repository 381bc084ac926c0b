// The receive thread allocates nothing per datagram once it has seen its largest packet. A
// binary of its own, because the counter replaces the global operator new.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "osc_test_support.hpp"
#include "sound/allocation_counter.hpp"

using namespace vl::osc;

namespace {

// Reads every argument into locals, as a parameter server does for numbers.
struct Reader : PacketHandler {
  std::atomic<long> messages{0};
  float sum = 0.0f;
  void onMessage(Message& m) override {
    int32_t i = 0;
    float f = 0.0f;
    m >> i >> f;
    sum += static_cast<float>(i) + f + static_cast<float>(m.addressPattern().size());
    messages.fetch_add(1);
  }
};

}  // namespace

TEST(OscRecvAllocation, ReceivingAllocatesNothingOnceWarm) {
  alloctest::tExempt = true;  // the test thread sends; only the receive thread is counted
  Recv r;
  Reader reader;
  r.handler(reader);
  uint16_t port = osctest::openOnFreePort(r);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(r.start());
  Send s(port, "127.0.0.1");

  long expected = 0;
  // Plain messages and bundles of three, with addresses longer than any short-string buffer;
  // at most a few datagrams in flight, so that the kernel drops none.
  auto sendRound = [&](int i) {
    if (i % 2) {
      s.beginMessage("/a/rather/long/parameter/address").add(int32_t(i)).add(0.5f).endMessage();
      expected += 1;
    } else {
      s.beginBundle(7);
      for (int k = 0; k < 3; ++k) {
        s.beginMessage("/bundle/element/address/" + std::to_string(k)).add(int32_t(k));
        s.add(0.25f).endMessage();
      }
      s.endBundle();
      expected += 3;
    }
    ASSERT_GT(s.send(), 0u);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (reader.messages < expected - 8 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
  };
  for (int i = 0; i < 20; ++i) sendRound(i);
  while (reader.messages < expected) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  alloctest::gAllocations = 0;
  alloctest::gCounting = true;
  for (int i = 0; i < 3000; ++i) sendRound(i);
  for (int w = 0; w < 5000 && reader.messages < expected; ++w) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  alloctest::gCounting = false;
  EXPECT_EQ(reader.messages, expected);
  EXPECT_EQ(alloctest::gAllocations, 0);
  r.stop();
}
