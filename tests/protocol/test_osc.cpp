// The packet builder, message reading and printing, and packet parsing, without a network.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "osc_test_support.hpp"
#include "protocol/vl_OSC.hpp"
#include "protocol/vl_OSCPacket.hpp"
#include "protocol/vl_OSCRecv.hpp"

using namespace vl::osc;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

std::vector<std::shared_ptr<Message>> parse(const Packet& p, const std::string& from = "test") {
  return parsePacket(p.data(), p.size(), from);
}

}  // namespace

TEST(OscMessage, TypedReadsReturnEveryKindInOrder) {
  Packet p;
  const unsigned char blob[5] = {0, 1, 2, 254, 255};
  p.beginMessage("/a/b").add(int32_t(-7)).add(0.25f).add("text").addBlob(blob, 5).add('q');
  p.add(2.5).add(int64_t(1) << 40).endMessage();
  ASSERT_TRUE(p.ready());
  auto messages = parse(p, "127.0.0.1:5");
  ASSERT_EQ(messages.size(), 1u);
  Message& m = *messages[0];
  EXPECT_EQ(m.addressPattern(), "/a/b");
  EXPECT_EQ(m.typeTags(), "ifsbcdh");
  EXPECT_EQ(m.argumentCount(), 7u);
  EXPECT_EQ(m.timeTag(), 1u);
  EXPECT_EQ(m.senderAddress(), "127.0.0.1:5");

  int32_t i = 0;
  float f = 0;
  std::string s;
  std::vector<unsigned char> b;
  char c = 0;
  double d = 0;
  int64_t h = 0;
  m >> i >> f >> s >> b >> c >> d >> h;
  EXPECT_EQ(i, -7);
  EXPECT_EQ(f, 0.25f);
  EXPECT_EQ(s, "text");
  EXPECT_EQ(b, std::vector<unsigned char>(blob, blob + 5));
  EXPECT_EQ(c, 'q');
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(h, int64_t(1) << 40);

  // Past the end: reported, destination unchanged. resetStream starts over.
  CaptureStderr();
  int32_t untouched = 42;
  m >> untouched;
  std::string err = GetCapturedStderr();
  EXPECT_EQ(untouched, 42);
  EXPECT_NE(err.find("vl_OSC.cpp:"), std::string::npos) << err;
  EXPECT_NE(err.find(": OSC error: missing argument\n"), std::string::npos) << err;
  m.resetStream();
  m >> i;
  EXPECT_EQ(i, -7);

  // A mistyped read is reported and leaves the destination alone too.
  CaptureStderr();
  int32_t wrong = 9;
  m >> wrong;  // the second argument is a float
  EXPECT_NE(GetCapturedStderr().find("OSC error: wrong argument type"), std::string::npos);
  EXPECT_EQ(wrong, 9);
}

TEST(OscMessage, PrintFormatsEachArgumentKindAndNoArguments) {
  Packet p;
  p.beginMessage("/p").add(int32_t(3)).add(0.5f).add("x").endMessage();
  CaptureStdout();
  parse(p, "127.0.0.1:9")[0]->print();
  EXPECT_EQ(GetCapturedStdout(), "/p, ifs 1 from 127.0.0.1:9\n\targs = (3, 0.5, x)\n");

  const char bytes[1] = {1};
  p.clear().beginMessage("/q").add('A').add('\n').add(1e10).add(int64_t(-5)).addBlob(bytes, 1);
  p.add(int32_t(0)).endMessage();
  CaptureStdout();
  parse(p, "s")[0]->print();
  EXPECT_EQ(GetCapturedStdout(),
            "/q, ccdhbi 1 from s\n\targs = ('A' (= 65), ' ' (= 10), 1e+10, -5, blob, 0)\n");

  // A message with no arguments has empty type tags, and reading them must not crash.
  p.clear().beginMessage("/bang").endMessage();
  auto bang = parse(p, "peer");
  ASSERT_EQ(bang.size(), 1u);
  EXPECT_EQ(bang[0]->typeTags(), "");
  EXPECT_EQ(bang[0]->argumentCount(), 0u);
  CaptureStdout();
  bang[0]->print();
  EXPECT_EQ(GetCapturedStdout(), "/bang,  1 from peer\n\targs = ()\n");
}

// Overflow of the buffer, and the next message after it, are shown over the network in
// test_osc_network.cpp; misuse of the builder is reported here.
TEST(OscPacket, EndingAMessageNeverBegunIsReported) {
  Packet p;
  CaptureStderr();
  p.endMessage();
  EXPECT_NE(GetCapturedStderr().find("OSC error: call to EndMessage when message is not in"),
            std::string::npos);
  EXPECT_FALSE(p.ready());
  p.clear().beginMessage("/small").add(int32_t(1)).endMessage();
  ASSERT_TRUE(p.ready());
  auto m = parse(p);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0]->addressPattern(), "/small");
}

TEST(OscPacket, BundlesGiveEachMessageItsBundleTimeTag) {
  Packet p;
  p.beginBundle(0x1122334455667788ull);
  p.beginMessage("/one").add(int32_t(1)).endMessage();
  p.beginBundle(77);
  p.beginMessage("/inner").endMessage();
  p.endBundle();
  p.beginMessage("/two").add("b").endMessage();
  p.endBundle();
  ASSERT_TRUE(p.ready());
  auto m = parse(p);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0]->addressPattern(), "/one");
  EXPECT_EQ(m[0]->timeTag(), 0x1122334455667788ull);
  EXPECT_EQ(m[1]->addressPattern(), "/inner");
  EXPECT_EQ(m[1]->timeTag(), 77u);
  EXPECT_EQ(m[2]->addressPattern(), "/two");
  EXPECT_EQ(m[2]->timeTag(), 0x1122334455667788ull);
}

TEST(OscRecv, MalformedPacketsAreReportedAndDroppedWithoutReachingHandlers) {
  Recv r;  // not opened: packets are handed in directly
  osctest::Recorder rec;
  r.handler(rec);
  const std::vector<std::string> bad = {
      std::string("/abc", 4),                     // unterminated address
      std::string("/ab\0,i\0\0", 8),              // argument missing
      std::string("/ab\0,x\0\0\0\0\0\0", 12),     // unknown type tag
      std::string("/a\0\0,b\0\0\0\0\0\x40", 12),  // blob larger than the message
      std::string("/a\0\0,ib\0\0\0\0\0\1", 12),   // blob without its size
      // a bogus first blob size sends oscpack's parser far past the end for the second
      std::string("/a\0\0,bb\0\x7f\0\0\0\0\0\0\x04", 16),
      // type tags padded with a non-zero byte, which oscpack would read past
      std::string("/blob\0\0\0,b\0c\0\0\0\x05\1\2\3\4\5\0\0\0\0\0\0\x41", 28),
      std::string("#bundle\0\0\0\0\0\0\0\0\1\0\0\0\x40", 20),  // element past the end
      std::string("#bundle\0", 8),                             // too short for a bundle
      // an element size that wraps oscpack's bundle reader round to the same element forever
      std::string("#bundle\0\0\0\0\0\0\0\0\1\xff\xff\xff\xfc/a\0\0", 24),
      std::string("/a\0", 3),               // not a multiple of four
      std::string("/a\0\0,s\0\0abcd", 12),  // unterminated string argument
  };
  for (const auto& b : bad) {
    CaptureStderr();
    r.processPacket(b.data(), b.size(), "x");
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("OSC error: "), std::string::npos) << "no report for " << b.size();
  }
  EXPECT_TRUE(rec.messages().empty());

  // A bundle that nests itself deeper than any sane sender is refused, not followed.
  Packet deep(4096);
  for (int i = 0; i < 40; ++i) deep.beginBundle(1);
  deep.beginMessage("/deep").endMessage();
  for (int i = 0; i < 40; ++i) deep.endBundle();
  ASSERT_TRUE(deep.ready());
  CaptureStderr();
  r.processPacket(deep.data(), deep.size(), "x");
  EXPECT_NE(GetCapturedStderr().find("OSC error: "), std::string::npos);
  EXPECT_TRUE(rec.messages().empty());

  Packet good;
  good.beginMessage("/ok").add(int32_t(5)).endMessage();
  r.processPacket(good.data(), good.size(), "x");
  ASSERT_EQ(rec.messages().size(), 1u);
  EXPECT_EQ(rec.messages()[0].ints, std::vector<int32_t>{5});
}

namespace {

// Throws on every message: the receiver must carry on with the other handlers.
struct ThrowingHandler : PacketHandler {
  void onMessage(Message&) override { throw std::runtime_error("handler failed"); }
};

// Reads the first argument, which moves the reading position.
struct ReadingHandler : PacketHandler {
  std::vector<int32_t> seen;
  void onMessage(Message& m) override {
    int32_t v = -1;
    m >> v;
    seen.push_back(v);
  }
};

}  // namespace

TEST(OscRecv, HandlersRunInOrderEachFromTheFirstArgument) {
  Recv r;
  ReadingHandler first, third;
  ThrowingHandler second;
  r.handler(first);
  r.handler(second);
  r.handler(third);
  Packet p;
  p.beginBundle(1);
  p.beginMessage("/m").add(int32_t(1)).endMessage();
  p.beginMessage("/m").add(int32_t(2)).endMessage();
  p.endBundle();
  CaptureStderr();
  r.processPacket(p.data(), p.size(), "x");
  std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("OSC error: handler failed"), std::string::npos);
  EXPECT_EQ(first.seen, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(third.seen, (std::vector<int32_t>{1, 2}));
}
