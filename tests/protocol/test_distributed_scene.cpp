// Scenes mirrored between instances: two scenes over loopback, and hostile messages fed to a
// scene's consumer.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <limits>
#include <thread>

#include "osc_test_support.hpp"
#include "protocol/vl_DistributedScene.hpp"
#include "sound/synth_test_voices.hpp"

using namespace std::chrono_literals;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace scenetest {

// A positioned voice with a number and a text among its trigger fields, and one more parameter.
class TaggedVoice : public synthtest::CountingVoice {
 public:
  TaggedVoice() {
    registerTriggerParameter(label);
    registerParameter(cutoff);
  }
  vl::ParameterString label{"label", "", "none"};
  vl::Parameter cutoff{"cutoff", "", 100.0f, "", 0.0f, 20000.0f};
};

}  // namespace scenetest

namespace {

using scenetest::TaggedVoice;

template <class F>
bool eventually(F condition, std::chrono::milliseconds timeout = 5s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TaggedVoice* activeVoice(vl::DistributedScene& scene, int id) {
  std::lock_guard<std::mutex> lock(scene.voiceLock());
  for (vl::SynthVoice* v = scene.getActiveVoices(); v; v = vl::PolySynth::nextVoice(v)) {
    if (v->active() && v->id() == id) return dynamic_cast<TaggedVoice*>(v);
  }
  return nullptr;
}

int activeCount(vl::DistributedScene& scene) {
  std::lock_guard<std::mutex> lock(scene.voiceLock());
  return synthtest::countList(scene.getActiveVoices());
}

int freeCount(vl::DistributedScene& scene) {
  std::lock_guard<std::mutex> lock(scene.voiceLock());
  return synthtest::countList(scene.getFreeVoices());
}

void setUp(vl::DistributedScene& scene, int voices) {
  scene.registerSynthClass<TaggedVoice>("", false);
  scene.allocatePolyphony<TaggedVoice>(voices);
}

// Hands every received message to a scene's consumer and records what it got.
class SceneInput : public osctest::Recorder {
 public:
  explicit SceneInput(vl::DistributedScene& scene) : mScene(scene) {}
  void onMessage(vl::osc::Message& m) override {
    osctest::Recorder::onMessage(m);
    m.resetStream();
    mScene.consumeMessage(m, "");
  }

 private:
  vl::DistributedScene& mScene;
};

// One instance plays on scene a; b mirrors it. b also sends to a, so an echo would show.
TEST(DistributedScene, MirrorsVoicesBetweenTwoScenesOverLoopback) {
  vl::DistributedScene a("hydrogen", 0, vl::TIME_MASTER_CPU);
  vl::DistributedScene b("hydrogen", 0, vl::TIME_MASTER_CPU);
  setUp(a, 4);
  setUp(b, 4);
  SceneInput toA(a), toB(b);
  vl::osc::Recv recvA, recvB;
  const uint16_t portA = osctest::openOnFreePort(recvA);
  const uint16_t portB = osctest::openOnFreePort(recvB);
  ASSERT_NE(portA, 0);
  ASSERT_NE(portB, 0);
  recvA.handler(toA);
  recvB.handler(toB);
  recvA.start();
  recvB.start();
  ASSERT_TRUE(a.setDestination(portB, "127.0.0.1"));
  ASSERT_TRUE(b.setDestination(portA, "127.0.0.1"));

  auto* voice = a.getVoice<TaggedVoice>();
  ASSERT_NE(voice, nullptr);
  voice->amp.set(0.25f);
  voice->label.set("blue");
  voice->setPose(vl::Pose(vl::Vec3d{1.0, -2.0, 3.5}));
  voice->setSize(2.0f);
  ASSERT_EQ(a.triggerOn(voice, 0, 77), 77);

  TaggedVoice* mirror = nullptr;
  ASSERT_TRUE(eventually([&] { return (mirror = activeVoice(b, 77)) != nullptr; }));
  EXPECT_EQ(mirror->amp.get(), 0.25f);
  EXPECT_EQ(mirror->label.get(), "blue");
  EXPECT_EQ(mirror->pose().pos()[0], 1.0);
  EXPECT_EQ(mirror->pose().pos()[1], -2.0);
  EXPECT_EQ(mirror->pose().pos()[2], 3.5);
  EXPECT_EQ(mirror->size(), 2.0f);
  EXPECT_EQ(mirror->triggerOns.load(), 1);
  EXPECT_EQ(freeCount(b), 3);

  // A third party addresses the mirrored voice's own parameters.
  vl::osc::Send peer(portB, "127.0.0.1");
  peer.beginMessage("/hydrogen/voice/77/cutoff").add(440.0f).endMessage();
  peer.send();
  peer.beginMessage("/hydrogen/voice/77/_pose/pos/y").add(8.0f).endMessage();
  peer.send();
  EXPECT_TRUE(eventually([&] { return mirror->cutoff.get() == 440.0f; }));
  EXPECT_TRUE(eventually([&] { return mirror->pose().pos()[1] == 8.0; }));
  EXPECT_EQ(voice->cutoff.get(), 100.0f);  // the sender's voice is another voice

  a.triggerOff(77);
  EXPECT_TRUE(eventually([&] { return mirror->triggerOffs.load() == 1; }));
  EXPECT_EQ(activeVoice(b, 77), mirror);  // released, not yet freed
  a.triggerFree(77);
  EXPECT_TRUE(eventually([&] { return mirror->frees.load() == 1; }));
  EXPECT_TRUE(eventually([&] { return freeCount(a) == 4 && freeCount(b) == 4; }));
  EXPECT_EQ(activeCount(b), 0);

  // All notes off reaches the mirror as all notes off.
  for (int id : {5, 6}) a.triggerOn(a.getVoice<TaggedVoice>(), 0, id);
  ASSERT_TRUE(eventually([&] { return activeCount(b) == 2; }));
  a.allNotesOff();
  EXPECT_TRUE(eventually([&] { return activeCount(b) == 0 && freeCount(b) == 4; }));

  // liblo's oscsend, an encoder independent of the scene's, triggers a voice on b directly.
  const std::string send =
      "oscsend 127.0.0.1 " + std::to_string(portB) + " /hydrogen/triggerOn iisfsffffffff 0 900 " +
      vl::SynthRegistry::nameOf<TaggedVoice>() + " 0.75 'from liblo' 4 5 6 1 0 0 0 3";
  ASSERT_EQ(std::system(send.c_str()), 0);
  TaggedVoice* fromPeer = nullptr;
  ASSERT_TRUE(eventually([&] { return (fromPeer = activeVoice(b, 900)) != nullptr; }));
  EXPECT_EQ(fromPeer->amp.get(), 0.75f);
  EXPECT_EQ(fromPeer->label.get(), "from liblo");
  EXPECT_EQ(fromPeer->pose().pos()[2], 6.0);
  EXPECT_EQ(fromPeer->size(), 3.0f);
  b.triggerFree(900);  // freed on b, which the peer triggered: not announced to a
  EXPECT_TRUE(eventually([&] { return freeCount(b) == 4; }));

  // Everything a sent arrived at b; nothing came back from b, whose voices were all remote.
  std::this_thread::sleep_for(50ms);
  const auto atB = toB.messages();
  std::vector<std::string> addresses;
  for (const auto& m : atB) {
    if (m.address.rfind("/hydrogen/voice/", 0) != 0) addresses.push_back(m.address);
  }
  EXPECT_EQ(addresses, (std::vector<std::string>{"/hydrogen/triggerOn", "/hydrogen/triggerOff",
                                                 "/hydrogen/remove", "/hydrogen/triggerOn",
                                                 "/hydrogen/triggerOn", "/hydrogen/allNotesOff",
                                                 "/hydrogen/triggerOn"}));
  ASSERT_FALSE(atB.empty());
  EXPECT_EQ(atB[0].typeTags, "iisfsffffffff");
  EXPECT_EQ(atB[0].strings[0], vl::SynthRegistry::nameOf<TaggedVoice>());
  EXPECT_TRUE(toA.messages().empty());
  recvA.stop();
  recvB.stop();
}

vl::osc::Message message(vl::osc::Packet& p) {
  return vl::osc::Message(p.data(), p.size());
}

// Hostile or mistaken input: each gets its line or is ignored, and no voice is lost, leaked
// or left half triggered.
TEST(DistributedScene, RefusesBadMessagesAndKeepsItsVoices) {
  vl::DistributedScene scene("hydrogen");
  setUp(scene, 2);
  auto block = synthtest::makeBlock(2);
  auto consume = [&](vl::osc::Packet& p) {
    auto m = message(p);
    const bool consumed = scene.consumeMessage(m, "");
    p.clear();
    scene.render(block);  // bookkeeping
    return consumed;
  };
  const std::string type = vl::SynthRegistry::nameOf<TaggedVoice>();
  auto triggerOn = [&](vl::osc::Packet& p, int id, const std::string& name) -> vl::osc::Packet& {
    return p.beginMessage("/hydrogen/triggerOn").add(int32_t(0)).add(int32_t(id)).add(name);
  };
  vl::osc::Packet p;

  CaptureStdout();
  CaptureStderr();
  triggerOn(p, 1, type).add(0.5f).endMessage();  // label missing
  EXPECT_TRUE(consume(p));
  triggerOn(p, 2, type).add(0.5f).add(int32_t(3)).endMessage();  // an int field
  EXPECT_TRUE(consume(p));
  p.beginMessage("/hydrogen/triggerOn").add(int32_t(0)).add(int32_t(3)).add(1.0f).endMessage();
  EXPECT_TRUE(consume(p));
  triggerOn(p, -7, type).add(0.5f).add("x").endMessage();
  EXPECT_TRUE(consume(p));
  triggerOn(p, 4, type).add(std::numeric_limits<float>::quiet_NaN()).add("x").endMessage();
  EXPECT_TRUE(consume(p));
  triggerOn(p, 5, "NoSuchVoice").add(0.5f).add("x").endMessage();
  EXPECT_TRUE(consume(p));
  p.beginMessage("/hydrogen/triggerOn").add(int32_t(0)).add(int32_t(6)).endMessage();
  EXPECT_TRUE(consume(p));
  p.beginMessage("/hydrogen/triggerOff").add(1.0f).endMessage();
  EXPECT_TRUE(consume(p));
  p.beginMessage("/hydrogen/voice/99999999999999/cutoff").add(1.0f).endMessage();
  EXPECT_TRUE(consume(p));
  p.beginMessage("/hydrogen/voice/-1").endMessage();
  EXPECT_TRUE(consume(p));
  const std::string out = GetCapturedStdout();
  const std::string err = GetCapturedStderr();
  EXPECT_EQ(activeCount(scene), 0);
  EXPECT_EQ(freeCount(scene), 2);
  EXPECT_NE(err.find("ERROR: Too few trigger fields"), std::string::npos) << err;
  EXPECT_NE(err.find("ERROR: Unsupported parameter type for scene trigger\n"), std::string::npos);
  EXPECT_NE(err.find("Unexpected type for /triggerOn name\n"), std::string::npos);
  EXPECT_NE(err.find("ERROR: Invalid voice id -7"), std::string::npos);
  EXPECT_NE(err.find("ERROR: Non-finite trigger field"), std::string::npos);
  EXPECT_NE(out.find("Can't get free voice of type: NoSuchVoice\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" -- Can't match voice id 99999999999999\n"), std::string::npos);
  EXPECT_NE(out.find(" -- Can't match voice id -1\n"), std::string::npos);

  // Both voices busy: a third trigger gets the line and changes nothing.
  triggerOn(p, 10, type).add(0.1f).add("a").endMessage();
  EXPECT_TRUE(consume(p));
  triggerOn(p, 11, type).add(0.2f).add("b").endMessage();
  EXPECT_TRUE(consume(p));
  ASSERT_EQ(activeCount(scene), 2);
  CaptureStdout();
  triggerOn(p, 12, type).add(0.3f).add("c").endMessage();
  EXPECT_TRUE(consume(p));
  EXPECT_NE(GetCapturedStdout().find("Can't get free voice of type: " + type + "\n"),
            std::string::npos);
  EXPECT_EQ(activeCount(scene), 2);
  EXPECT_EQ(activeVoice(scene, 12), nullptr);
  EXPECT_EQ(activeVoice(scene, 10)->label.get(), "a");
  EXPECT_EQ(activeVoice(scene, 11)->amp.get(), 0.2f);

  // Another prefix, and no prefix, are left for the next consumer.
  p.beginMessage("/other/triggerOff").add(int32_t(10)).endMessage();
  EXPECT_FALSE(consume(p));
  p.beginMessage("/triggerOff").add(int32_t(10)).endMessage();
  EXPECT_FALSE(consume(p));
  p.beginMessage("/hydrogenX/allNotesOff").endMessage();
  EXPECT_FALSE(consume(p));
  EXPECT_EQ(activeVoice(scene, 10)->triggerOffs.load(), 0);
  EXPECT_EQ(activeCount(scene), 2);

  // The root path the scene is registered under comes in front of the prefix.
  auto m = message(p.beginMessage("/app/hydrogen/remove").add(int32_t(10)).endMessage());
  EXPECT_TRUE(scene.consumeMessage(m, "/app"));
  p.clear();
  scene.render(block);
  EXPECT_EQ(activeCount(scene), 1);
  EXPECT_EQ(freeCount(scene), 1);
}

}  // namespace
