// Real-time safety of the scene: once warmed up, rendering blocks through the scene and a
// spatialiser allocates nothing and never blocks on a lock, while other threads trigger voices
// on and off and hold the scene's locks. Allocations are counted by replacing operator new in
// this binary; blocking lock calls by interposing pthread_mutex_lock and pthread_cond_wait.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <random>
#include <thread>

#include "allocation_counter.hpp"
#include "sound/vl_DynamicScene.hpp"
#include "sound/vl_PolySynthVoicePool.hpp"
#include "sound/vl_SpeakerLayout.hpp"
#include "synth_test_voices.hpp"

using alloctest::counted;
using alloctest::gAllocations;
using alloctest::gCounting;
using alloctest::gOnlyMarked;
using alloctest::tExempt;
using alloctest::tMarked;

namespace {
std::atomic<long> gBlockingLocks{0};
}  // namespace

extern "C" int pthread_mutex_lock(pthread_mutex_t* m) {
  using Fn = int (*)(pthread_mutex_t*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  if (counted()) gBlockingLocks.fetch_add(1);
  return real(m);
}

extern "C" int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
  using Fn = int (*)(pthread_cond_t*, pthread_mutex_t*);
  static Fn real = reinterpret_cast<Fn>(dlvsym(RTLD_NEXT, "pthread_cond_wait", "GLIBC_2.3.2"));
  if (counted()) gBlockingLocks.fetch_add(1);
  return real(c, m);
}

using namespace vl;

namespace {

constexpr int kVoices = 32;
constexpr int kBlocks = 1000;

// A voice that keeps sounding for a couple of blocks after its turn-off and whose update holds
// the scene's update lock for a while.
class RealtimeVoice : public synthtest::CountingVoice {
 public:
  RealtimeVoice() {
    releaseBlocks = 2;
    audioOutOffsets({{-0.4f, 0, 0}, {0.4f, 0, 1}});
  }
  void update(double) override { std::this_thread::sleep_for(std::chrono::microseconds(300)); }
};

// Free voices, counted under the lock that guards the list (the clock thread changes it).
int countFree(PolySynth& synth) {
  std::lock_guard<std::mutex> lock(synth.voiceLock());
  int n = 0;
  for (SynthVoice* v = synth.getFreeVoices(); v; v = PolySynth::nextVoice(v)) ++n;
  return n;
}

// The instruments themselves: an allocation or a blocking lock on a counted thread shows.
TEST(SceneRealtimeInstruments, CountAllocationsAndBlockingLocks) {
  std::mutex m;
  gAllocations = 0;
  gBlockingLocks = 0;
  gCounting = true;
  auto* p = new int(3);
  m.lock();
  m.unlock();
  gCounting = false;
  delete p;
  EXPECT_EQ(gAllocations.load(), 1);
  EXPECT_EQ(gBlockingLocks.load(), 1);
}

struct Case {
  TimeMasterMode mode;
  int outputs;
};

class SceneRealtime : public testing::TestWithParam<Case> {};

TEST_P(SceneRealtime, NoAllocationNoBlockingWhileVoicesComeAndGo) {
  const Case c = GetParam();
  std::FILE* saved = stdout;  // the layouts describe themselves
  stdout = std::fopen("/dev/null", "w");
  auto spatializer = spatializerForOutputs(c.outputs);
  std::fclose(stdout);
  stdout = saved;

  DynamicScene scene(0, c.mode);
  scene.setSpatializer(spatializer);
  scene.registerSynthClass<RealtimeVoice>("RealtimeVoice", false);
  scene.allocatePolyphony("RealtimeVoice", kVoices);
  AudioIOData io = synthtest::makeBlock(c.outputs);

  std::atomic<bool> stop{false};
  std::atomic<bool> voiceLockHeld{false}, updateRunning{false};
  std::atomic<int> triggered{0};

  // Triggers voices on, off and free, now and then all of them off, at a few hundred
  // microseconds apart.
  std::thread triggers([&] {
    tExempt = true;
    std::mt19937 rng(7);
    std::vector<int> ids;
    for (int i = 0; !stop.load(); ++i) {
      if (SynthVoice* v = scene.getFreeVoice("RealtimeVoice")) {
        auto* voice = static_cast<RealtimeVoice*>(v);
        voice->setPose(Pose({rng() % 11 - 5.0, rng() % 5 - 2.0, rng() % 11 - 5.0}));
        const int id = scene.triggerOn(v, static_cast<int>(rng() % 1000));
        if (id >= 0) ids.push_back(id), triggered.fetch_add(1);
      }
      if (ids.size() > 8) {
        (rng() % 4 == 0) ? scene.triggerFree(ids.front()) : scene.triggerOff(ids.front());
        ids.erase(ids.begin());
      }
      if (i % 300 == 299) scene.allNotesOff(), ids.clear();
      std::this_thread::sleep_for(std::chrono::microseconds(100 + rng() % 200));
    }
  });
  // Holds the voice lock and runs updates (which hold the update lock) back to back, so that
  // bookkeeping keeps meeting busy locks.
  std::thread locker([&] {
    tExempt = true;
    while (!stop.load()) {
      {
        std::lock_guard<std::mutex> lock(scene.voiceLock());
        voiceLockHeld = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        voiceLockHeld = false;
      }
      updateRunning = true;
      scene.update(1.0 / 60.0);
      updateRunning = false;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });

  // Warm-up: the first blocks size the voice buffer and the spatialiser's scratch blocks.
  for (int i = 0; i < 20; ++i) {
    io.zeroOut();
    scene.render(io);
  }
  int blocksUnderVoiceLock = 0, blocksDuringUpdate = 0, soundingBlocks = 0;
  gAllocations = 0;
  gBlockingLocks = 0;
  gCounting = true;
  for (int b = 0; b < kBlocks; ++b) {
    io.zeroOut();
    const bool locked = voiceLockHeld.load(), updating = updateRunning.load();
    scene.render(io);
    blocksUnderVoiceLock += locked && voiceLockHeld.load();
    blocksDuringUpdate += updating && updateRunning.load();
    float energy = 0.0f;
    for (int ch = 0; ch < io.channelsOut(); ++ch) energy += std::abs(io.out(ch, 511));
    soundingBlocks += energy > 0.0f;
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  gCounting = false;
  stop = true;
  triggers.join();
  locker.join();

  EXPECT_EQ(gAllocations.load(), 0);
  EXPECT_EQ(gBlockingLocks.load(), 0);
  // The busy paths were taken, and voices really came and went.
  EXPECT_GT(blocksUnderVoiceLock, 0);
  EXPECT_GT(blocksDuringUpdate, 0);
  EXPECT_GT(triggered.load(), kVoices);
  EXPECT_GT(soundingBlocks, kBlocks / 10);

  // Nothing was lost on the way: with the locks free again every voice returns to the pool.
  scene.allNotesOff();
  for (int i = 0; i < 200 && countFree(scene) < kVoices; ++i) {
    scene.render(io);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(countFree(scene), kVoices);
  EXPECT_EQ(scene.getActiveVoices(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(ModesAndLayouts, SceneRealtime,
                         testing::Values(Case{TIME_MASTER_AUDIO, 2}, Case{TIME_MASTER_AUDIO, 8},
                                         Case{TIME_MASTER_AUDIO, 60}, Case{TIME_MASTER_CPU, 2},
                                         Case{TIME_MASTER_CPU, 8}, Case{TIME_MASTER_CPU, 60}),
                         [](const testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.mode == TIME_MASTER_CPU ? "Clock"
                                                                                 : "Audio") +
                                  std::to_string(info.param.outputs) + "Outputs";
                         });

// The synth sequencer in audio time on the scene: a score of "@" lines and of "+" and "-"
// lines plays through 32 voices while the audio thread allocates nothing and never blocks,
// from the very first block of a scene prepared when audio starts. The sequencer's own
// preparation thread may allocate and lock; only the audio thread counts.
TEST(SceneRealtimeSequencer, OnlyStartsPreparedVoicesInAudioTime) {
  constexpr int kOutputs = 60;  // the layered panner, with its scratch blocks
  constexpr int kHeld = 12, kPlayed = 160;
  std::FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");
  auto spatializer = spatializerForOutputs(kOutputs);
  std::fclose(stdout);
  stdout = saved;

  DynamicScene scene(0, TIME_MASTER_AUDIO);
  scene.setSpatializer(spatializer);
  scene.registerSynthClass<synthtest::CountingVoice>("CountingVoice", false);
  scene.allocatePolyphony("CountingVoice", kVoices);
  AudioIOData io = synthtest::makeBlock(kOutputs);
  io.framesPerSecond(44100);
  scene.prepare(io);  // as audio start does

  const std::string dir = testing::TempDir() + "/zentha_rt_sequence";
  std::system(("mkdir -p " + dir).c_str());
  {
    std::FILE* score = std::fopen((dir + "/rt.synthSequence").c_str(), "w");
    for (int i = 0; i < kHeld; ++i) {
      std::fprintf(score, "+ %f %d CountingVoice 0.5\n- %f %d\n", 0.3 + i * 0.9, i + 1,
                   0.3 + i * 0.9 + 0.6, i + 1);
    }
    for (int i = 0; i < kPlayed; ++i) {
      std::fprintf(score, "@ %f 0.2 CountingVoice 0.25\n", 0.05 + i * 0.07);
    }
    std::fclose(score);
  }
  PolySynthVoicePool pool(scene);
  SynthSequencer seq(SynthSequencer::TIME_MASTER_AUDIO);
  seq.setVoicePool(pool);
  seq.setDirectory(dir);
  seq.lookAhead(0.5);  // most events are prepared while the blocks run
  std::atomic<int> ends{0};
  seq.registerEndCallback([&](SynthSequencer*) { ends.fetch_add(1); });
  ASSERT_TRUE(seq.playSequence("rt"));

  int blocks = 0, soundingBlocks = 0;
  tMarked = true;
  gOnlyMarked = true;
  gAllocations = 0;
  gBlockingLocks = 0;
  gCounting = true;
  while (seq.playing() && blocks < 3000) {
    io.zeroOut();
    renderSynthSequence(seq, scene, io);
    float energy = 0.0f;
    for (int ch = 0; ch < io.channelsOut(); ++ch) energy += std::abs(io.out(ch, 511));
    soundingBlocks += energy > 0.0f;
    ++blocks;
    // About twenty times faster than real time: the preparation keeps half a second ahead.
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  gCounting = false;
  gOnlyMarked = false;
  tMarked = false;

  EXPECT_EQ(gAllocations.load(), 0);
  EXPECT_EQ(gBlockingLocks.load(), 0);
  EXPECT_FALSE(seq.playing());
  EXPECT_GT(soundingBlocks, blocks / 2);
  // Every event started a voice and every voice came back.
  int triggerOns = 0;
  for (int i = 0; i < 20 && countFree(scene) < kVoices; ++i) {
    scene.render(io);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  {
    std::lock_guard<std::mutex> lock(scene.voiceLock());
    for (SynthVoice* v = scene.getFreeVoices(); v; v = PolySynth::nextVoice(v)) {
      triggerOns += static_cast<synthtest::CountingVoice*>(v)->triggerOns.load();
    }
  }
  EXPECT_EQ(triggerOns, kHeld + kPlayed);
  EXPECT_EQ(countFree(scene), kVoices);
  seq.reportMessages();
  EXPECT_EQ(ends.load(), 1);
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
