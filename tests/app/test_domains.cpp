// The domain tree: initialisation, clean-up and ticking order, and the frame pacer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/vl_FPS.hpp"
#include "app/vl_OpenGLGraphicsDomain.hpp"
#include "app/vl_SimulationDomain.hpp"
#include "core/vl_ComputationDomain.hpp"
#include "sound/vl_AudioDomain.hpp"

using namespace vl;

namespace {

struct Recorder : SynchronousDomain {
  Recorder(std::vector<std::string>& log, std::string name, bool result = true)
      : log(log), name(std::move(name)), result(result) {}
  bool init(ComputationDomain* p) override {
    parent = p;
    log.push_back("init " + name);
    return result;
  }
  bool cleanup(ComputationDomain*) override {
    log.push_back("cleanup " + name);
    return result;
  }
  bool tick() override {
    log.push_back("tick " + name + " " + std::to_string(timeDelta()));
    return result;
  }
  std::vector<std::string>& log;
  std::string name;
  bool result;
  ComputationDomain* parent = nullptr;
};

}  // namespace

TEST(ComputationDomain, PrependSubdomainsComeFirstAndEveryOneIsVisitedAfterAFailure) {
  std::vector<std::string> log;
  SynchronousDomain root;
  auto after = std::make_shared<Recorder>(log, "after", false);
  auto before = std::make_shared<Recorder>(log, "before");
  auto before2 = std::make_shared<Recorder>(log, "before2", false);
  root.addSubDomain(after, false);
  root.addSubDomain(before, true);
  root.addSubDomain(before2, true);

  EXPECT_FALSE(root.init());
  EXPECT_EQ(log, (std::vector<std::string>{"init before", "init before2", "init after"}));
  EXPECT_EQ(before->parent, &root);

  log.clear();
  root.timeDelta(0.25);
  EXPECT_FALSE(root.tick());
  EXPECT_EQ(log, (std::vector<std::string>{"tick before 0.250000", "tick before2 0.250000",
                                           "tick after 0.250000"}));

  log.clear();
  EXPECT_FALSE(root.cleanup());
  EXPECT_EQ(log, (std::vector<std::string>{"cleanup before", "cleanup before2", "cleanup after"}));
}

TEST(ComputationDomain, RemovingASubdomainCleansItUpAndKeepsTheOrderOfTheRest) {
  std::vector<std::string> log;
  SynchronousDomain root;
  auto a = std::make_shared<Recorder>(log, "a");
  auto b = std::make_shared<Recorder>(log, "b");
  auto c = std::make_shared<Recorder>(log, "c");
  root.addSubDomain(a);
  root.addSubDomain(b);
  root.addSubDomain(c);
  std::weak_ptr<Recorder> weakB = b;
  EXPECT_TRUE(root.removeSubDomain(b));
  b.reset();
  EXPECT_TRUE(weakB.expired());  // the list held the last reference
  EXPECT_EQ(log, (std::vector<std::string>{"cleanup b"}));
  ASSERT_EQ(root.subDomains().size(), 2u);
  EXPECT_EQ(root.subDomains()[0].domain, a);
  EXPECT_EQ(root.subDomains()[1].domain, c);
  EXPECT_FALSE(root.removeSubDomain(std::make_shared<Recorder>(log, "stranger")));
}

TEST(SimulationDomain, RunsTheFunctionBetweenItsSubdomainsUnlessDisabled) {
  std::vector<std::string> log;
  SimulationDomain sim;
  sim.addSubDomain(std::make_shared<Recorder>(log, "pre"), true);
  sim.addSubDomain(std::make_shared<Recorder>(log, "post"), false);
  sim.simulationFunction = [&](double dt) { log.push_back("simulate " + std::to_string(dt)); };
  sim.timeDelta(0.5);
  EXPECT_TRUE(sim.tick());
  sim.enabled = false;
  EXPECT_TRUE(sim.tick());
  EXPECT_EQ(
      log, (std::vector<std::string>{"tick pre 0.500000", "simulate 0.500000", "tick post 0.500000",
                                     "tick pre 0.500000", "tick post 0.500000"}));
}

TEST(FPS, FastFramesArePacedToExactlyOneIntervalAndSlowOnesMeasured) {
  FPS fps;
  fps.fps(200.0);  // 5 ms frames keep the test short
  EXPECT_EQ(fps.intervalNs(), 5000000);
  fps.startFPS();
  fps.waitForNextFrame();  // measures from the clock's zero: any length
  int64_t start = fps.lastFrameTimeNs();
  for (int i = 0; i < 5; ++i) {
    fps.waitForNextFrame();
    EXPECT_GE(fps.lastFrameDurationNs(), fps.intervalNs());
  }
  // Each paced frame advances by at least one interval; a frame may overrun on a loaded
  // machine, but never runs early.
  EXPECT_GE(fps.lastFrameTimeNs() - start, 5 * fps.intervalNs());
  EXPECT_GE(FPS::nowNs(), fps.lastFrameTimeNs());

  // An overrun is measured as it was, with no catch-up afterwards.
  struct timespec ts {
    0, 12000000
  };
  nanosleep(&ts, nullptr);
  fps.waitForNextFrame();
  EXPECT_GE(fps.lastFrameDurationNs(), 12000000);
  int64_t afterOverrun = fps.lastFrameTimeNs();
  fps.waitForNextFrame();
  EXPECT_GE(fps.lastFrameTimeNs() - afterOverrun, fps.intervalNs());

  fps.fps(0.0);  // ignored: a zero rate would divide by zero
  EXPECT_EQ(fps.fps(), 200.0);
}

TEST(OpenGLGraphicsDomain, TheFrameMutexIsFreeWhileTheLoopSleeps) {
  // Frames with no work: the loop spends nearly all its time waiting for the next one.
  struct Frames : SynchronousDomain {
    std::atomic<int> count{0};
    bool tick() override { return ++count < 40; }
  };
  OpenGLGraphicsDomain gd;
  auto frames = std::make_shared<Frames>();
  gd.addSubDomain(frames);
  std::atomic<bool> done{false};
  int tries = 0, got = 0;
  std::thread other([&] {
    while (!done) {
      if (frames->count >= 2 && frames->count < 39) {  // only while the loop runs
        ++tries;
        if (gd.mutex().try_lock()) {
          ++got;
          gd.mutex().unlock();
        }
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
  EXPECT_TRUE(gd.start());
  done = true;
  other.join();
  ASSERT_GT(tries, 20);
  EXPECT_GT(got, tries / 2) << got << " of " << tries;
}

TEST(AudioDomain, TheGainParameterIsTheStreamGainClampedToTwo) {
  AudioDomain audio;
  ASSERT_EQ(audio.parameters().size(), 1u);
  EXPECT_EQ(audio.parameters()[0]->getName(), "gain");
  audio.gainParameter().set(0.5f);
  EXPECT_EQ(audio.audioIO().gain(), 0.5f);
  audio.gain(3.0f);
  EXPECT_EQ(audio.gain(), 2.0f);
  EXPECT_EQ(audio.audioIO().gain(), 2.0f);
  audio.gain(-1.0f);
  EXPECT_EQ(audio.audioIO().gain(), 0.0f);
}
