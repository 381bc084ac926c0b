// The dynamic scene: voices spatialised relative to the listener with distance attenuation,
// and voice updates spread over the update threads.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <numbers>
#include <set>
#include <thread>

#include "graphics/vl_Graphics.hpp"
#include "sound/vl_DynamicScene.hpp"
#include "sound/vl_Lbap.hpp"
#include "sound/vl_SpeakerLayout.hpp"
#include "sound/vl_StereoPanner.hpp"
#include "synth_test_voices.hpp"

using namespace vl;
using synthtest::CountingVoice;
using synthtest::countList;
using synthtest::makeBlock;

namespace {

const float kHalfPower = std::sqrt(0.5f);

// A scene with a stereo panner and one voice placed at position; returns the voice.
CountingVoice* placeVoice(DynamicScene& scene, const Vec3d& position, unsigned int channels = 1) {
  auto* v = scene.getVoice<CountingVoice>();
  v->setNumOutChannels(channels);
  v->setPose(Pose(position));
  scene.triggerOn(v);
  return v;
}

}  // namespace

TEST(DistanceAttenuation, Laws) {
  DistanceAttenuation atten;  // inverse law by default
  EXPECT_NEAR(atten.attenuation(10.0f), 0.401, 5e-4);
  EXPECT_EQ(atten.attenuation(0.05f), 1.0f);
  EXPECT_EQ(atten.attenuation(0.1f), 1.0f);
  atten.law = ATTEN_LINEAR;
  EXPECT_NEAR(atten.attenuation(10.0f), 1.0 - 9.9 * 0.015075378, 1e-6);
  EXPECT_EQ(atten.attenuation(20.0f), 0.0f);
  atten.farBias = 0.25f;
  EXPECT_EQ(atten.attenuation(30.0f), 0.25f);
  atten.law = ATTEN_INVERSE_SQUARE;
  EXPECT_NEAR(atten.attenuation(10.0f), 0.01 / (0.01 + (100.0 - 0.01) * 0.015075378), 1e-6);
  atten.law = ATTEN_NONE;
  EXPECT_EQ(atten.attenuation(10.0f), 1.0f);
}

TEST(DynamicSceneRender, DistanceGainThroughThePanner) {
  DynamicScene scene;
  scene.setSpatializer<StereoPanner>(StereoSpeakerLayout());
  scene.allocatePolyphony<CountingVoice>(2);
  AudioIOData io = makeBlock(2);
  // Straight ahead, 10 away: both outputs get half the power of the attenuated signal.
  placeVoice(scene, {0, 0, -10}, 2);
  scene.render(io);
  EXPECT_NEAR(io.out(0, 0) / (2 * kHalfPower), 0.401, 5e-4);
  EXPECT_NEAR(io.out(1, 0) / (2 * kHalfPower), 0.401, 5e-4);

  // The same voice without attenuation.
  scene.allNotesOff();
  scene.render(io);
  auto* plain = placeVoice(scene, {0, 0, -10});
  plain->useDistanceAttenuation(false);
  io.zeroOut();
  scene.render(io);
  EXPECT_NEAR(io.out(0, 0), kHalfPower, 1e-6);
}

TEST(DynamicSceneRender, ListenerPoseAndChannelOffsets) {
  DynamicScene scene;
  scene.setSpatializer<StereoPanner>(StereoSpeakerLayout());
  scene.allocatePolyphony<CountingVoice>(1);
  scene.distanceAttenuation().law = ATTEN_NONE;
  AudioIOData io = makeBlock(2);

  scene.listenerPose(Pose({0, 0, 4}));
  CountingVoice* v = placeVoice(scene, {1, 0, 4});  // on the listener's right
  scene.render(io);
  EXPECT_NEAR(io.out(0, 0), 0.0f, 1e-6);
  EXPECT_NEAR(io.out(1, 0), 1.0f, 1e-6);

  // Half a turn about the up axis puts it on the left.
  scene.listenerPose(Pose({0, 0, 4}, Quatd{0, 0, 1, 0}));
  io.zeroOut();
  scene.render(io);
  EXPECT_NEAR(io.out(0, 0), 1.0f, 1e-6);
  EXPECT_NEAR(io.out(1, 0), 0.0f, 1e-6);

  // Each output channel of the voice sits at its own offset.
  scene.listenerPose(Pose());
  v->setPose(Pose());
  v->setNumOutChannels(2);
  io.zeroOut();
  scene.render(io);
  EXPECT_NEAR(io.out(0, 0), 2 * kHalfPower, 1e-6);  // both channels in the middle
  v->audioOutOffsets({{-1, 0, 0}, {1, 0, 0}});
  io.zeroOut();
  scene.render(io);
  EXPECT_NEAR(io.out(0, 0), 1.0f, 1e-6);
  EXPECT_NEAR(io.out(1, 0), 1.0f, 1e-6);
}

TEST(DynamicSceneRender, SpeakerArrayAndUnplacedVoices) {
  DynamicScene scene;
  scene.setSpatializer(spatializerForOutputs(60));
  scene.allocatePolyphony<CountingVoice>(1);
  AudioIOData io = makeBlock(60);
  placeVoice(scene, {0, 0, -5});
  scene.render(io);
  // Straight ahead is the ear-height speaker at azimuth 0, on channel 23.
  const float gain = scene.distanceAttenuation().attenuation(5.0f);
  for (int c = 0; c < 60; ++c) EXPECT_NEAR(io.out(c, 511), c == 23 ? gain : 0.0f, 1e-5) << c;

  // A voice with no place is heard at the listener, unattenuated, and without a spatialiser
  // the voices are mixed straight into the outputs.
  struct Unplaced : SynthVoice {
    void onProcessAudio(AudioIOData& io) override {
      while (io()) io.out(0) = 1.0f;
    }
  };
  DynamicScene bare;
  bare.allocatePolyphony<Unplaced>(1);
  bare.triggerOn(bare.getFreeVoice(), 256);
  AudioIOData stereo = makeBlock(2);
  bare.render(stereo);
  EXPECT_EQ(stereo.out(0, 255), 0.0f);
  EXPECT_EQ(stereo.out(0, 256), 1.0f);
}

namespace {

// Records which threads update it and how many voices update at once.
class UpdateVoice : public PositionedVoice {
 public:
  void update(double dt) override {
    const int now = running.fetch_add(1) + 1;
    int seen = maxRunning.load();
    while (now > seen && !maxRunning.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    {
      std::lock_guard<std::mutex> lock(threadsLock);
      threads.insert(std::this_thread::get_id());
      totalDt += dt;
    }
    running.fetch_sub(1);
  }
  static inline std::atomic<int> running{0}, maxRunning{0};
  static inline std::mutex threadsLock;
  static inline std::set<std::thread::id> threads;
  static inline double totalDt = 0.0;
};

}  // namespace

TEST(DynamicSceneUpdate, PoolRunsVoicesOnSeveralThreads) {
  DynamicScene scene(6, TIME_MASTER_UPDATE);
  EXPECT_EQ(scene.updateThreadCount(), 6u);
  scene.allocatePolyphony<UpdateVoice>(12);
  for (int i = 0; i < 12; ++i) scene.triggerOn(scene.getFreeVoice());
  scene.update(0.5);  // bookkeeping activates them at the start of this pass
  // update() returns only when every voice has been updated.
  EXPECT_DOUBLE_EQ(UpdateVoice::totalDt, 12 * 0.5);
  EXPECT_GE(UpdateVoice::maxRunning.load(), 2);
  EXPECT_GE(UpdateVoice::threads.size(), 2u);
  EXPECT_EQ(UpdateVoice::threads.count(std::this_thread::get_id()), 0u);

  // Without the pool the calling thread updates them one after another.
  UpdateVoice::threads.clear();
  UpdateVoice::maxRunning = 0;
  scene.useUpdateThreads(false);
  scene.update(0.5);
  EXPECT_EQ(UpdateVoice::maxRunning.load(), 1);
  EXPECT_EQ(UpdateVoice::threads, std::set<std::thread::id>{std::this_thread::get_id()});
}

namespace {

// Records the model matrix it is drawn with and the order of drawing.
class DrawVoice : public PositionedVoice {
 public:
  void preProcessGraphics(Graphics&) override { ++preProcessed; }
  void onProcessGraphics(Graphics& g) override {
    matrix = g.modelMatrix();
    order->push_back(this);
  }
  std::vector<DrawVoice*>* order = nullptr;
  Mat4f matrix{1.0f};
  int preProcessed = 0;
};

}  // namespace

TEST(DynamicSceneGraphics, VoicesDrawnInTheirFramesFarthestFirst) {
  DynamicScene scene(0, TIME_MASTER_GRAPHICS);
  scene.allocatePolyphony<DrawVoice>(3);
  scene.listenerPose(Pose({0, 0, 1}));
  std::vector<DrawVoice*> order;
  std::vector<DrawVoice*> voices;
  const double depths[] = {-2.0, -9.0, -5.0};
  for (double z : depths) {
    auto* v = scene.getVoice<DrawVoice>();
    v->order = &order;
    v->setPose(Pose({1, 0, z}, Quatd::fromAxisAngle(std::numbers::pi / 2, {0, 1, 0})));
    v->setSize(2.0f);
    scene.triggerOn(v);
    voices.push_back(v);
  }
  Graphics g;
  scene.sortDrawingByDistance(true);
  scene.render(g);  // bookkeeping at the start of the frame activates the voices
  ASSERT_EQ(order.size(), 3u);
  EXPECT_EQ(order[0], voices[1]);
  EXPECT_EQ(order[1], voices[2]);
  EXPECT_EQ(order[2], voices[0]);
  EXPECT_EQ(voices[0]->preProcessed, 1);
  // Placed, turned a quarter about y and doubled: the voice's own (1, 0, 0) turns to -z and
  // lands 2 beyond its position.
  const glm::vec4 p = voices[0]->matrix * glm::vec4(1, 0, 0, 1);
  EXPECT_NEAR(p.x, 1.0f, 1e-5);
  EXPECT_NEAR(p.y, 0.0f, 1e-5);
  EXPECT_NEAR(p.z, -4.0f, 1e-5);
  EXPECT_EQ(g.modelMatrix(), Mat4f(1.0f));  // every push was popped

  // Voices that finish leave at the end of the frame.
  voices[1]->free();
  order.clear();
  scene.render(g);
  EXPECT_EQ(order.size(), 2u);
  EXPECT_EQ(countList(scene.getActiveVoices()), 2);
}
