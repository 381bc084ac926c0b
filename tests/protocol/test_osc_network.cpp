// Sending and receiving over loopback: against liblo's independent tools, against hostile
// datagrams, and through many starts and stops of the receive thread.

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "liblo_tools.hpp"
#include "osc_test_support.hpp"
#include "protocol/vl_OSC.hpp"
#include "protocol/vl_OSCPacket.hpp"
#include "protocol/vl_OSCRecv.hpp"

using namespace vl::osc;
using namespace std::chrono_literals;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

// Appends big-endian 32-bit values and padded strings: an OSC encoder independent of oscpack.
void putInt(std::string& s, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>((v >> shift) & 0xff));
}
void putPadded(std::string& s, const std::string& text) {
  s += text;
  do s.push_back('\0');
  while (s.size() % 4 != 0);
}

}  // namespace

TEST(OscPeers, OscsendAndRawDatagramsReachRecv) {
  Recv r;
  osctest::Recorder rec;
  r.handler(rec);
  uint16_t port = osctest::openOnFreePort(r);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(r.start());

  std::string cmd =
      "oscsend 127.0.0.1 " + std::to_string(port) + " /peer/values ifs 42 0.75 'hello peer'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ASSERT_TRUE(rec.waitFor(1));

  // liblo's tool cannot send blobs: encode one by hand.
  std::string blobMessage;
  putPadded(blobMessage, "/peer/blob");
  putPadded(blobMessage, ",ib");
  putInt(blobMessage, static_cast<uint32_t>(-3));
  putInt(blobMessage, 5);
  blobMessage += std::string("\x01\x00\xff\x7f\x80", 5);
  blobMessage += std::string(3, '\0');
  osctest::sendRaw(port, blobMessage.data(), blobMessage.size());
  ASSERT_TRUE(rec.waitFor(2));
  r.stop();

  auto m = rec.messages();
  EXPECT_EQ(m[0].address, "/peer/values");
  EXPECT_EQ(m[0].typeTags, "ifs");
  EXPECT_EQ(m[0].ints, std::vector<int32_t>{42});
  EXPECT_EQ(m[0].floats, std::vector<float>{0.75f});
  EXPECT_EQ(m[0].strings, std::vector<std::string>{"hello peer"});
  EXPECT_EQ(m[0].timeTag, 1u);
  EXPECT_EQ(m[0].sender.rfind("127.0.0.1:", 0), 0u) << m[0].sender;
  EXPECT_EQ(m[1].address, "/peer/blob");
  EXPECT_EQ(m[1].ints, std::vector<int32_t>{-3});
  ASSERT_EQ(m[1].blobs.size(), 1u);
  EXPECT_EQ(m[1].blobs[0], (std::vector<unsigned char>{1, 0, 255, 127, 128}));
}

TEST(OscPeers, OscdumpDecodesWhatSendSends) {
  uint16_t port = osctest::freeUdpPort();
  osctest::OscDump dump(port);
  Send s;
  ASSERT_TRUE(s.open(port, "127.0.0.1"));
  ASSERT_TRUE(dump.waitReady(s));

  s.beginMessage("/dump/values").add(int32_t(-123456)).add(0.5f).add("two words").add('Z');
  s.add(int64_t(1) << 33).add(-2.25).endMessage();
  EXPECT_GT(s.send(), 0u);
  s.beginMessage("/dump/empty").endMessage();
  EXPECT_GT(s.send(), 0u);

  auto values = dump.linesFor("/dump/values", 1);
  ASSERT_EQ(values.size(), 1u) << dump.output();
  EXPECT_EQ(values[0],
            "/dump/values ifschd -123456 0.500000 \"two words\" 'Z' 8589934592 "
            "-2.250000");
  auto empty = dump.linesFor("/dump/empty", 1);
  ASSERT_EQ(empty.size(), 1u) << dump.output();
  EXPECT_EQ(empty[0], "/dump/empty ");
}

TEST(OscNetwork, BundleReachesEachHandlerAsTwoMessagesWithItsTimeTag) {
  Recv r;
  osctest::Recorder first, second;
  r.handler(first);
  r.handler(second);
  uint16_t port = osctest::openOnFreePort(r);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(r.start());

  Send s(port, "127.0.0.1");
  const uint64_t tag = 0xdeadbeef00000001ull;
  s.beginBundle(tag);
  s.beginMessage("/b/one").add(1.5f).endMessage();
  s.beginMessage("/b/two").add("two").endMessage();
  s.endBundle();
  EXPECT_GT(s.send(), 0u);
  ASSERT_TRUE(first.waitFor(2));
  ASSERT_TRUE(second.waitFor(2));
  for (osctest::Recorder* rec : {&first, &second}) {
    auto m = rec->messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].address, "/b/one");
    EXPECT_EQ(m[0].floats, std::vector<float>{1.5f});
    EXPECT_EQ(m[1].address, "/b/two");
    EXPECT_EQ(m[1].strings, std::vector<std::string>{"two"});
    EXPECT_EQ(m[0].timeTag, tag);
    EXPECT_EQ(m[1].timeTag, tag);
  }
}

TEST(OscNetwork, OversizedMessageIsReportedAndTheNextOneArrives) {
  Recv r;
  osctest::Recorder rec;
  r.handler(rec);
  uint16_t port = osctest::openOnFreePort(r);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(r.start());
  Send s(port, "127.0.0.1");
  ASSERT_TRUE(s.opened());

  CaptureStderr();
  s.beginMessage("/too/big").add(std::string(2000, 'x')).endMessage();
  EXPECT_EQ(s.send(), 0u);
  std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("OSC error: out of buffer memory"), std::string::npos) << err;

  s.beginMessage("/after").add(int32_t(7)).endMessage();
  EXPECT_GT(s.send(), 0u);
  ASSERT_TRUE(rec.waitFor(1));
  auto m = rec.messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].address, "/after");
  EXPECT_EQ(m[0].ints, std::vector<int32_t>{7});
}

TEST(OscNetwork, ReceiverSurvivesThousandsOfHostileDatagrams) {
  Recv r;
  osctest::Recorder rec;
  r.handler(rec);
  uint16_t port = osctest::openOnFreePort(r);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(r.start());

  Packet valid;
  valid.beginBundle(5).beginMessage("/v").add(int32_t(1)).add("s").endMessage().endBundle();
  const std::string good(valid.data(), valid.size());

  std::mt19937 rng(1234);
  CaptureStderr();
  for (int i = 0; i < 3000; ++i) {
    std::string d;
    switch (i % 3) {
      case 0: {  // random bytes, sometimes starting like a message or a bundle
        d.resize(rng() % 256);
        for (auto& c : d) c = static_cast<char>(rng());
        if (i % 2 && d.size() > 8)
          d.replace(0, 8, (i % 4 == 1) ? std::string("#bundle\0", 8) : "/x\0\0,is\0");
        break;
      }
      case 1:  // a valid packet cut short, or with a byte flipped
        d = good.substr(0, rng() % good.size());
        if (!d.empty() && i % 2) d[rng() % d.size()] ^= static_cast<char>(1 + rng() % 255);
        break;
      default:  // larger than the socket's receive buffer
        d.assign(4100 + rng() % 20000, static_cast<char>(rng()));
        d.replace(0, good.size(), good);
    }
    if (!d.empty()) osctest::sendRaw(port, d.data(), d.size());
    if (i % 200 == 0) std::this_thread::sleep_for(2ms);
  }
  // The kernel may drop datagrams when its buffer fills, so the good message is repeated
  // until it shows up; a dead receiver never shows it.
  Send s(port, "127.0.0.1");
  bool arrived = false;
  for (int attempt = 0; attempt < 50 && !arrived; ++attempt) {
    s.beginMessage("/still/alive").add(int32_t(99)).endMessage();
    s.send();
    for (int w = 0; w < 20 && !arrived; ++w) {
      std::this_thread::sleep_for(5ms);
      for (const auto& m : rec.messages()) arrived |= m.address == "/still/alive";
    }
  }
  std::string err = GetCapturedStderr();
  EXPECT_TRUE(arrived);
  EXPECT_TRUE(r.isRunning());
  EXPECT_NE(err.find("OSC error: "), std::string::npos);
  r.stop();
}

TEST(OscNetwork, StartAndStopAThousandTimesNeverHangs) {
  Recv r;
  osctest::Recorder rec;
  r.handler(rec);
  uint16_t port = osctest::openOnFreePort(r);
  ASSERT_NE(port, 0);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(r.start());
    if (i % 3 == 0) std::this_thread::yield();
    r.stop();
    ASSERT_FALSE(r.isRunning());
  }
  // Still a working receiver afterwards; stop twice is harmless and the destructor stops it.
  ASSERT_TRUE(r.start());
  Send s(port, "127.0.0.1");
  s.beginMessage("/after/cycles").endMessage();
  s.send();
  EXPECT_TRUE(rec.waitFor(1));
  r.stop();
  r.stop();
  Recv running;
  ASSERT_NE(osctest::openOnFreePort(running), 0);
  running.start();
}

namespace {

// Stops its own receiver from inside the receive thread.
struct StoppingHandler : PacketHandler {
  Recv* recv = nullptr;
  std::atomic<int> calls{0};
  void onMessage(Message&) override {
    ++calls;
    recv->stop();
    EXPECT_FALSE(recv->open(1, "127.0.0.1"));
  }
};

}  // namespace

TEST(OscNetwork, HandlerMayStopItsOwnReceiver) {
  Recv r;
  StoppingHandler h;
  h.recv = &r;
  r.handler(h);
  uint16_t port = osctest::openOnFreePort(r);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(r.start());
  CaptureStderr();
  osctest::sendRaw(port, "/stop\0\0\0", 8);
  for (int i = 0; i < 200 && h.calls == 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_NE(GetCapturedStderr().find("OSC error: a receiver cannot be reopened"),
            std::string::npos);
  ASSERT_EQ(h.calls, 1);
  r.stop();  // joins the thread that ended its loop
  EXPECT_FALSE(r.isRunning());
  ASSERT_TRUE(r.start());
  osctest::sendRaw(port, "/stop\0\0\0", 8);
  for (int i = 0; i < 200 && h.calls == 1; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(h.calls, 2);
}

TEST(OscNetwork, OpenReportsFailuresAndBindsLocalhostByDefault) {
  Recv r;
  osctest::Recorder rec;
  r.handler(rec);
  uint16_t port = osctest::freeUdpPort();
  ASSERT_TRUE(r.open(port));
  EXPECT_EQ(r.address(), "localhost");
  EXPECT_EQ(r.port(), port);
  ASSERT_TRUE(r.start());
  osctest::sendRaw(port, "/lh\0,\0\0\0", 8);
  EXPECT_TRUE(rec.waitFor(1));

  Recv taken;
  CaptureStdout();
  EXPECT_FALSE(taken.open(port, "127.0.0.1"));
  EXPECT_EQ(GetCapturedStdout().rfind("run time exception at Recv::open: ", 0), 0u);
  EXPECT_FALSE(taken.start());

  Send s;
  CaptureStdout();
  EXPECT_FALSE(s.open(port, "no-such-host.invalid"));
  EXPECT_EQ(GetCapturedStdout().rfind("run time exception at Send::open: ", 0), 0u);
  s.beginMessage("/nowhere").endMessage();
  EXPECT_EQ(s.send(), 0u);
}

TEST(OscNetwork, OpenBindsTheGivenInterfaceAndRefusesUnknownNames) {
  // Loopback answers on all of 127/8, so two interface addresses need no extra set-up.
  Recv one, two, any;
  osctest::Recorder atOne, atTwo, atAny;
  one.handler(atOne);
  two.handler(atTwo);
  any.handler(atAny);
  uint16_t port = 0;
  for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
    uint16_t candidate = osctest::freeUdpPort();
    if (one.open(candidate, "127.0.0.1") && two.open(candidate, "127.0.0.2")) port = candidate;
  }
  ASSERT_NE(port, 0);
  uint16_t anyPort = osctest::freeUdpPort();
  ASSERT_TRUE(any.open(anyPort, "0.0.0.0"));
  ASSERT_TRUE(one.start() && two.start() && any.start());

  Send toOne(port, "127.0.0.1"), toTwo(port, "127.0.0.2");
  Send anyOne(anyPort, "127.0.0.1"), anyTwo(anyPort, "127.0.0.2");
  toTwo.beginMessage("/two").endMessage();
  toTwo.send();
  toOne.beginMessage("/one").endMessage();
  toOne.send();
  anyOne.beginMessage("/a").endMessage();
  anyOne.send();
  anyTwo.beginMessage("/b").endMessage();
  anyTwo.send();
  ASSERT_TRUE(atOne.waitFor(1));
  ASSERT_TRUE(atTwo.waitFor(1));
  ASSERT_TRUE(atAny.waitFor(2));
  std::this_thread::sleep_for(50ms);  // a stray datagram would have arrived by now
  ASSERT_EQ(atOne.messages().size(), 1u);
  ASSERT_EQ(atTwo.messages().size(), 1u);
  EXPECT_EQ(atOne.messages()[0].address, "/one");
  EXPECT_EQ(atTwo.messages()[0].address, "/two");
  EXPECT_EQ(atTwo.messages()[0].sender.rfind("127.0.0.1:", 0), 0u);

  // A name that does not resolve must not end up listening on every interface.
  Recv unknown;
  CaptureStdout();
  EXPECT_FALSE(unknown.open(osctest::freeUdpPort(), "no-such-host.invalid"));
  EXPECT_EQ(GetCapturedStdout().rfind("run time exception at Recv::open: ", 0), 0u);
}

namespace {

// Counts its calls; while inside one it holds `inside` up for a moment.
struct SlowHandler : PacketHandler {
  std::atomic<int> calls{0};
  std::atomic<bool> inside{false};
  void onMessage(Message&) override {
    inside = true;
    ++calls;
    std::this_thread::sleep_for(2ms);
    inside = false;
  }
};

// Removes itself from its receiver at its first message.
struct LeavingHandler : PacketHandler {
  Recv* recv = nullptr;
  int calls = 0;
  void onMessage(Message&) override {
    ++calls;
    recv->removeHandler(*this);
  }
};

}  // namespace

TEST(OscNetwork, RemovedHandlerIsNeverCalledAgain) {
  Recv r;
  SlowHandler slow;
  LeavingHandler leaving;
  osctest::Recorder after;
  leaving.recv = &r;
  r.handler(leaving);
  r.handler(slow);
  r.handler(after);
  uint16_t port = osctest::openOnFreePort(r);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(r.start());

  // The messages keep coming while the slow handler is removed from the test thread.
  std::atomic<bool> sending{true};
  std::thread sender([&] {
    Send s(port, "127.0.0.1");
    while (sending) {
      s.beginBundle().beginMessage("/m").endMessage().beginMessage("/m").endMessage().endBundle();
      s.send();
      std::this_thread::sleep_for(200us);
    }
  });
  while (slow.calls < 20) std::this_thread::sleep_for(1ms);
  r.removeHandler(slow);
  const bool insideAtReturn = slow.inside;
  const int callsAtReturn = slow.calls;
  const std::size_t seen = after.messages().size();
  ASSERT_TRUE(after.waitFor(seen + 50));
  sending = false;
  sender.join();
  EXPECT_FALSE(insideAtReturn);
  EXPECT_EQ(slow.calls, callsAtReturn);
  // It left at its first message: not even the second message of that bundle reached it.
  EXPECT_EQ(leaving.calls, 1);
}
