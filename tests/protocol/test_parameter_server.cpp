// The parameter server against independent peers: liblo's oscsend and oscdump, and a peer on a
// plain socket that sends from its own listening port.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "liblo_tools.hpp"
#include "osc_test_support.hpp"
#include "protocol/vl_ParameterServer.hpp"
#include "raw_peer.hpp"
#include "ui/vl_Parameter.hpp"
#include "ui/vl_ParameterBundle.hpp"

using namespace std::chrono_literals;
using osctest::oscsend;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// One parameter of every kind the server knows.
struct Kinds {
  vl::Parameter level{"level", "k", 0.0f, "", -10.0f, 10.0f};
  vl::ParameterBool on{"on", "k"};
  vl::ParameterInt count{"count", "k", 0, "", -100, 100};
  vl::ParameterMenu menu{"menu", "k"};
  vl::ParameterChoice choice{"choice", "k"};
  vl::ParameterString text{"text", "k", "none"};
  vl::ParameterVec3 vec3{"vec3", "k"};
  vl::ParameterVec4 vec4{"vec4", "k"};
  vl::ParameterColor color{"color", "k"};
  vl::ParameterPose pose{"pose", "k"};
  vl::Trigger fire{"fire", "k"};
  vl::ParameterInt done{"done", "k"};  // set last: everything before it has been handled
  std::atomic<int> fired{0};

  Kinds() {
    menu.setElements({"a", "b", "c"});
    fire.registerChangeCallback([this](bool v) {
      if (v) ++fired;
    });
  }
  void registerWith(vl::ParameterServer& s) {
    s << level << on << count << menu << choice << text << vec3 << vec4 << color << pose << fire
      << done;
  }
  bool waitDone(int value) {
    for (int i = 0; i < 500 && done.get() != value; ++i) std::this_thread::sleep_for(10ms);
    return done.get() == value;
  }
};

uint16_t listenOnFreePort(vl::ParameterServer& s) {
  for (int i = 0; i < 20; ++i) {
    uint16_t port = osctest::freeUdpPort();
    if (s.listen(port, "127.0.0.1")) return port;
  }
  return 0;
}

}  // namespace

TEST(ParameterServerPeers, EveryKindIsSetByItsAddressAndTagsAndAnythingElseIsIgnored) {
  Kinds k;
  vl::ParameterBundle bundle("serverTestBundle");
  vl::Parameter gain{"gain", "", 0.0f};
  bundle << gain;
  vl::ParameterServer server;
  k.registerWith(server);
  server << bundle;
  std::string source;
  k.level.registerChangeCallback([&](float, vl::ValueSource* s) {
    if (s) source = s->ipAddr + ":" + std::to_string(s->port);
  });
  const uint16_t port = listenOnFreePort(server);
  ASSERT_NE(port, 0);

  const std::string bundleMessage =
      "/serverTestBundle/" + std::to_string(bundle.bundleIndex()) + "/gain f 0.75";
  for (const char* m :
       {"/k/level f 0.25", "/k/on f 1", "/k/count i 7", "/k/menu i 2", "/k/choice i 513",
        "/k/text s 'two words'", "/k/vec3 fff 1 2 3", "/k/vec4 ffff 1 2 3 4",
        "/k/color ffff 0.1 0.2 0.3 0.4", "/k/pose fffffff 1 2 3 0 0 1 0", "/k/pose/pos/z f 6",
        "/k/fire f 1",
        // each of these must change nothing
        "/k/count f 9", "/k/count ii 1 2", "/k/count", "/k/level i 3", "/k/level f nan",
        "/k/level s x", "/k/menu i 3", "/k/menu i -1", "/k/choice i 70000", "/k/choice i -1",
        "/k/vec3 ff 9 9", "/k/vec3 fffi 9 9 9 9", "/k/pose fff 9 9 9 9", "/k/pose/pos/x i 9",
        "/k/fire f 0.5", "/k/text i 1", "/nothing/here f 1",
        // the bundle's parameter at its address under the bundle's
        bundleMessage.c_str(), "/k/done i 1"}) {
    ASSERT_TRUE(oscsend(port, m)) << m;
  }
  ASSERT_TRUE(k.waitDone(1));

  EXPECT_EQ(k.level.get(), 0.25f);
  EXPECT_EQ(source.rfind("127.0.0.1:", 0), 0u) << source;
  EXPECT_NE(source, "127.0.0.1:0");
  EXPECT_EQ(k.on.get(), 1.0f);
  EXPECT_EQ(k.count.get(), 7);
  EXPECT_EQ(k.menu.get(), 2);
  EXPECT_EQ(k.choice.get(), 513);
  EXPECT_EQ(k.text.get(), "two words");
  EXPECT_EQ(k.vec3.get(), vl::Vec3f(1, 2, 3));
  EXPECT_EQ(k.vec4.get(), vl::Vec4f(1, 2, 3, 4));
  const vl::Color c = k.color.get();
  EXPECT_EQ(std::vector<float>({c.r, c.g, c.b, c.a}), std::vector<float>({0.1f, 0.2f, 0.3f, 0.4f}));
  const vl::Pose p = k.pose.get();
  EXPECT_EQ(p.position, vl::Vec3d(1, 2, 6));
  EXPECT_EQ(
      std::vector<double>({p.orientation.w, p.orientation.x, p.orientation.y, p.orientation.z}),
      std::vector<double>({0, 0, 1, 0}));
  EXPECT_EQ(k.fired.load(), 1);
  EXPECT_EQ(gain.get(), 0.75f);
}

TEST(ParameterServerPeers, ListenersGetEveryLocalChangeAndAChangeIsNotEchoedToItsSender) {
  Kinds k;
  vl::ParameterServer server;
  k.registerWith(server);
  const uint16_t port = listenOnFreePort(server);
  ASSERT_NE(port, 0);
  const uint16_t dumpPort = osctest::freeUdpPort();
  osctest::OscDump dump(dumpPort);
  ASSERT_TRUE(dump.waitReady());
  osctest::RawPeer peer;
  ASSERT_TRUE(peer.bound());
  ASSERT_TRUE(server.addListener("127.0.0.1", dumpPort));
  ASSERT_TRUE(server.addListener("localhost", peer.port()));
  ASSERT_TRUE(server.addListener("127.0.0.1", peer.port()));  // the same listener: not twice
  EXPECT_EQ(server.listenerCount(), 2u);

  k.level.set(0.5f);
  k.on.set(1.0f);
  k.count.set(-4);
  k.menu.set(1);
  k.choice.set(9);
  k.text.set("hi");
  k.vec3.set(vl::Vec3f(1, 2, 3));
  k.vec4.set(vl::Vec4f(1, 2, 3, 4));
  k.color.set(vl::Color(0.5f, 0.25f, 1, 1));
  k.pose.set(vl::Pose({1, 2, 3}, vl::Quatd(1, 0, 0, 0)));
  k.fire.set(true);
  k.fire.set(false);  // only a firing is announced
  k.done.set(1);

  for (auto [address, line] : std::vector<std::pair<std::string, std::string>>{
           {"/k/level", "/k/level f 0.500000"},
           {"/k/on", "/k/on f 1.000000"},
           {"/k/count", "/k/count i -4"},
           {"/k/menu", "/k/menu i 1"},
           {"/k/choice", "/k/choice i 9"},
           {"/k/text", "/k/text s \"hi\""},
           {"/k/vec3", "/k/vec3 fff 1.000000 2.000000 3.000000"},
           {"/k/vec4", "/k/vec4 ffff 1.000000 2.000000 3.000000 4.000000"},
           {"/k/color", "/k/color ffff 0.500000 0.250000 1.000000 1.000000"},
           {"/k/pose",
            "/k/pose fffffff 1.000000 2.000000 3.000000 1.000000 0.000000 0.000000 0.000000"},
           {"/k/fire", "/k/fire f 1.000000"},
           {"/k/done", "/k/done i 1"}}) {
    auto lines = dump.linesFor(address + " ", 1);
    ASSERT_EQ(lines.size(), 1u) << address << "\n" << dump.output();
    EXPECT_EQ(lines[0], line);
  }
  osctest::RawMessage m;
  ASSERT_TRUE(peer.receive(m));
  EXPECT_EQ(m.address, "/k/level");
  ASSERT_EQ(m.floats, std::vector<float>{0.5f});

  // From the peer's own port: set here and passed on to the other listener, not back to it.
  peer.send(port, "/k/level", "f", {"0.125"});
  for (int i = 0; i < 500 && k.level.get() != 0.125f; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(k.level.get(), 0.125f);
  EXPECT_EQ(dump.linesFor("/k/level ", 2).back(), "/k/level f 0.125000");
  // Datagrams on loopback keep their order: what comes next after the peer's own change is
  // the next local one, not an echo.
  k.level.set(0.75f);
  std::string seen;
  for (;;) {
    ASSERT_TRUE(peer.receive(m)) << seen;
    seen += m.address + " " + (m.floats.empty() ? "" : std::to_string(m.floats[0])) + "\n";
    if (m.address == "/k/level" && m.floats != std::vector<float>{0.5f}) break;
  }
  EXPECT_EQ(m.floats, std::vector<float>{0.75f}) << seen;

  // A server that goes tells its listeners; registering a parameter again changes nothing.
  {
    vl::ParameterServer leaving;
    leaving << k.level << k.level;
    leaving.addListener("127.0.0.1", dumpPort);
    k.level.set(0.0625f);
  }
  EXPECT_EQ(dump.linesFor("/quit ", 1).at(0), "/quit f 0.000000");
  k.level.set(0.03125f);  // reaches the remaining server only; the callback of the gone one
                          // is still on the parameter and must do nothing
  k.done.set(2);          // sent after everything above: once it is there, the rest is too
  ASSERT_EQ(dump.linesFor("/k/done ", 2).size(), 2u);
  // 0.5, 0.125, 0.75, then 0.0625 from each of the two servers once, then 0.03125
  EXPECT_EQ(dump.linesFor("/k/level ", 1).size(), 6u) << dump.output();
}

TEST(ParameterServerPeers, SendAllParametersAnswersTheSendersAddress) {
  Kinds k;
  vl::ParameterServer server;
  k.registerWith(server);
  k.count.set(7);
  k.text.set("hello");
  const uint16_t port = listenOnFreePort(server);
  ASSERT_NE(port, 0);

  // With only a port, from 127.0.0.2: answered there, not to 127.0.0.1 at the same port.
  osctest::RawPeer asking("127.0.0.2");
  ASSERT_TRUE(asking.bound());
  osctest::RawPeer elsewhere("127.0.0.1", asking.port());
  ASSERT_TRUE(elsewhere.bound());
  CaptureStdout();
  asking.send(port, "/sendAllParameters", "i", {std::to_string(asking.port())});
  std::vector<std::string> addresses;
  osctest::RawMessage m;
  while (addresses.size() < 12 && asking.receive(m)) addresses.push_back(m.address);
  EXPECT_NE(GetCapturedStdout().find("/sendAllParameters"), std::string::npos);
  EXPECT_EQ(addresses.size(), 12u);
  EXPECT_EQ(addresses.front(), "/k/level");
  EXPECT_EQ(addresses.back(), "/k/done");
  EXPECT_FALSE(elsewhere.receive(m, 100)) << m.address;

  // With "0.0.0.0" as the address, liblo's tool decodes what arrives at the sender's.
  const uint16_t dumpPort = osctest::freeUdpPort();
  osctest::OscDump dump(dumpPort);
  ASSERT_TRUE(dump.waitReady());
  CaptureStdout();
  ASSERT_TRUE(oscsend(port, "/sendAllParameters si 0.0.0.0 " + std::to_string(dumpPort)));
  auto lines = dump.linesFor("/k/done ", 1);
  GetCapturedStdout();
  ASSERT_EQ(lines.size(), 1u) << dump.output();
  EXPECT_EQ(dump.linesFor("/k/count ", 1).at(0), "/k/count i 7");
  EXPECT_EQ(dump.linesFor("/k/text ", 1).at(0), "/k/text s \"hello\"");

  // A port out of range, or an address that would need a name lookup, is refused.
  testing::internal::CaptureStderr();
  CaptureStdout();
  ASSERT_TRUE(oscsend(port, "/sendAllParameters i 70000"));
  ASSERT_TRUE(oscsend(port, "/registerListener si example.invalid 9"));
  ASSERT_TRUE(oscsend(port, "/k/done i 2"));
  ASSERT_TRUE(k.waitDone(2));
  GetCapturedStdout();
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("Port 70000 out of range"), std::string::npos) << errors;
  EXPECT_NE(errors.find("Refusing address \"example.invalid\""), std::string::npos) << errors;
  EXPECT_EQ(server.listenerCount(), 0u);
}

// Messages arriving, local changes on other threads, listeners coming and going, parameters
// registered and the receiver replaced, all at once; ThreadSanitizer checks the locking.
TEST(ParameterServerThreads, DispatchChangesListenersAndRestartsShareTheServer) {
  Kinds k;
  vl::ParameterServer server;
  k.registerWith(server);
  uint16_t port = listenOnFreePort(server);
  ASSERT_NE(port, 0);
  osctest::RawPeer sink;
  std::atomic<bool> running{true};
  std::atomic<uint16_t> target{port};

  std::thread sender([&] {
    osctest::RawPeer peer;
    for (int i = 0; running; ++i) {
      peer.send(target, "/k/level", "f", {std::to_string((i % 100) / 100.0)});
      peer.send(target, "/k/text", "s", {"t" + std::to_string(i % 7)});
      if (i % 50 == 0) peer.send(target, "/sendAllParameters", "i", {std::to_string(sink.port())});
    }
  });
  std::thread setter([&] {
    for (int i = 0; running; ++i) {
      k.count.set(i % 100);
      k.pose.set(vl::Pose({double(i % 5), 0, 0}));
    }
  });
  std::thread listeners([&] {
    for (int i = 0; running; ++i) {
      server.addListener("127.0.0.1", sink.port());
      server.removeListener("127.0.0.1", sink.port());
    }
  });
  std::vector<std::unique_ptr<vl::Parameter>> added;
  for (int round = 0; round < 5; ++round) {
    std::this_thread::sleep_for(40ms);
    added.push_back(std::make_unique<vl::Parameter>("added" + std::to_string(round), "k"));
    server << *added.back();
    const uint16_t next = listenOnFreePort(server);
    ASSERT_NE(next, 0);
    target = next;
  }
  running = false;
  sender.join();
  setter.join();
  listeners.join();

  // Still serving, at the last port, the parameters registered on the way too.
  osctest::RawPeer last;
  last.send(target, "/k/added4", "f", {"0.5"});
  for (int i = 0; i < 500 && added.back()->get() != 0.5f; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(added.back()->get(), 0.5f);
  EXPECT_TRUE(server.isRunning());
  server.stopServer();
  EXPECT_FALSE(server.isRunning());
}
