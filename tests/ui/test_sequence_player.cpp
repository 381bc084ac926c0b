// The preset sequencer: sequence files, the timing thread on a virtual clock, seeking into a
// morph, stopping over OSC, the modes without a thread and repeated start handshakes.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "ui/preset_test_support.hpp"
#include "ui/sequence_test_clock.hpp"
#include "ui/vl_PresetSequencer.hpp"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;
using vl::PresetSequencer;
using vl::test::ScratchDir;
using vl::test::VirtualClock;
using vl::test::writeFile;

namespace {

std::unique_ptr<vl::osc::Message> makeMessage(const std::string& address,
                                              const std::string* text = nullptr) {
  vl::osc::Packet packet;
  packet.beginMessage(address);
  if (text) packet.add(*text);
  packet.endMessage();
  return std::make_unique<vl::osc::Message>(packet.data(), packet.size());
}

class Sequencing : public testing::Test {
 protected:
  void SetUp() override {
    handler = vl::test::levelPresetHandler(dir, level);
    handler->registerRecallNameCallback([this](const std::string& name, float morph) {
      std::lock_guard<std::mutex> lock(logLock);
      log.push_back(name + "@" + time() + " morph " + std::to_string(morph));
    });
  }

  std::string time() {
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f", clock->now() - start);
    return text;
  }

  std::vector<std::string> takeLog() {
    std::lock_guard<std::mutex> lock(logLock);
    return std::exchange(log, {});
  }

  ScratchDir dir;
  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  double start = clock->now();
  std::unique_ptr<vl::PresetHandler> handler;
  vl::Parameter level{"level", "", 0.0f, "", -10.0f, 10.0f};
  vl::Parameter other{"other", "", 0.0f};
  std::mutex logLock;
  std::vector<std::string> log;
};

}  // namespace

TEST_F(Sequencing, SequenceFileFormat) {
  PresetSequencer seq(PresetSequencer::TIME_MASTER_UPDATE);
  seq << *handler;
  writeFile(dir / "s.sequence",
            "# comment\n\nA:2:3\r\n@ev:1:2:0.5:7\n+2:/other:0.75\n::\nB\nC:x:1\n");
  CaptureStdout();
  auto steps = seq.loadSequence("s", 0.5);
  EXPECT_EQ(GetCapturedStdout(),
            "ERROR: Bad sequence line in " + (dir / "s.sequence") + ": C:x:1\n");
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[0].type, PresetSequencer::Step::PRESET);
  EXPECT_EQ(steps[0].name, "A");
  EXPECT_FLOAT_EQ(steps[0].morphTime, 1.0f);
  EXPECT_FLOAT_EQ(steps[0].waitTime, 1.5f);
  EXPECT_EQ(steps[1].type, PresetSequencer::Step::EVENT);
  EXPECT_EQ(steps[1].name, "ev");
  EXPECT_FLOAT_EQ(steps[1].morphTime, 0.5f);
  EXPECT_FLOAT_EQ(steps[1].waitTime, 1.0f);
  ASSERT_EQ(steps[1].params.size(), 2u);
  EXPECT_FLOAT_EQ(steps[1].params[1].get<float>(), 7.0f);
  EXPECT_EQ(steps[2].type, PresetSequencer::Step::PARAMETER);
  EXPECT_EQ(steps[2].name, "/other");
  EXPECT_FLOAT_EQ(steps[2].waitTime, 1.0f);
  EXPECT_FLOAT_EQ(steps[2].params[0].get<float>(), 0.75f);  // a value is not scaled
  EXPECT_EQ(steps[3].name, "B");
  EXPECT_EQ(steps[3].morphTime + steps[3].waitTime, 0.0f);

  // The next preset step starts 2.5 s after A; the event and parameter steps count from A.
  level.set(-1.0f);
  seq << other;
  seq.playSequence("s", 0.5);
  EXPECT_EQ(takeLog(), std::vector<std::string>{"A@0.000 morph 1.000000"});
  for (int i = 0; i < 19; ++i) seq.stepSequencer(0.1);
  EXPECT_EQ(other.get(), 0.0f);
  seq.stepSequencer(0.1);
  EXPECT_EQ(other.get(), 0.75f);
  for (int i = 0; i < 4; ++i) seq.stepSequencer(0.1);
  EXPECT_TRUE(takeLog().empty());
  seq.stepSequencer(0.1);
  EXPECT_EQ(takeLog(), std::vector<std::string>{"B@0.000 morph 0.000000"});

  CaptureStdout();
  EXPECT_TRUE(seq.loadSequence("missing").empty());
  EXPECT_EQ(GetCapturedStdout(), "Could not open:" + (dir / "missing.sequence") + "\n");
  CaptureStderr();
  EXPECT_TRUE(seq.loadSequence("../s").empty());
  EXPECT_NE(GetCapturedStderr().find("ERROR: Refusing sequence name \"../s\""), std::string::npos);
}

TEST_F(Sequencing, UnsupportedModesFallBackToTheThread) {
  for (int mode : {0, 1}) {
    CaptureStderr();
    PresetSequencer seq(mode);
    EXPECT_EQ(GetCapturedStderr(),
              "ERROR: PresetSequencer: TimeMasterMode not supported, treating as "
              "TIME_MASTER_CPU\n");
    EXPECT_EQ(seq.timeMasterMode(), PresetSequencer::TIME_MASTER_CPU);
  }
}

TEST_F(Sequencing, ThreadPlaysStepsAtTheirTimes) {
  PresetSequencer seq(PresetSequencer::TIME_MASTER_CPU, clock);
  seq << *handler << other;
  writeFile(dir / "play.sequence", "A:0:1\nB:0.5:1\n@ev:0:0.25:3\n+0.5:/other:0.7\nC:0:1\n");
  std::vector<std::string> events;
  std::vector<float> reports;
  std::atomic<int> begins{0};
  std::atomic<int> finishedEnds{0}, stoppedEnds{0};
  seq.registerEventCommand("ev", [&](const std::vector<vl::ParameterField>& values) {
    events.push_back("ev@" + time() + " " + values[0].get<std::string>());
  });
  seq.registerEventCommand(
      "other", [&](const std::vector<vl::ParameterField>&) { events.push_back("wrong listener"); });
  other.registerChangeCallback(
      [&](float v) { events.push_back("other@" + time() + " " + std::to_string(v)); });
  seq.registerTimeChangeCallback([&](float t) { reports.push_back(t); });
  seq.registerBeginCallback([&](PresetSequencer* s) {
    EXPECT_EQ(s, &seq);
    ++begins;
  });
  seq.registerEndCallback(
      [&](bool finished, PresetSequencer*) { ++(finished ? finishedEnds : stoppedEnds); });

  seq.playSequence("play");
  EXPECT_EQ(begins, 1);
  EXPECT_TRUE(seq.running());
  clock->advanceTo(start + 3.4);
  EXPECT_TRUE(seq.running());
  EXPECT_EQ(finishedEnds + stoppedEnds, 0);
  clock->advanceTo(start + 3.6);
  for (int i = 0; i < 500 && finishedEnds + stoppedEnds == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_FALSE(seq.running());
  EXPECT_EQ(takeLog(), (std::vector<std::string>{"A@0.000 morph 0.000000", "B@1.000 morph 0.500000",
                                                 "C@2.500 morph 0.000000"}));
  EXPECT_EQ(events, (std::vector<std::string>{"ev@1.250 3.000000", "other@1.750 0.700000"}));
  EXPECT_EQ(finishedEnds, 1);
  EXPECT_EQ(stoppedEnds, 0);
  ASSERT_EQ(reports.size(), 70u);
  for (std::size_t i = 1; i < reports.size(); ++i) {
    EXPECT_NEAR(reports[i] - reports[i - 1], 0.05f, 1e-5f) << i;
  }
  // The morph left running at the end is halted.
  EXPECT_EQ(handler->totalMorphSteps(), 0u);
}

TEST_F(Sequencing, SeekLandsOnTheInterpolatedState) {
  PresetSequencer seq(PresetSequencer::TIME_MASTER_CPU, clock);
  seq << *handler;
  writeFile(dir / "m.sequence", "A:0:1\nB:2:1\nC:0:5\n");
  std::vector<float> reports;
  std::vector<double> reportClock;
  seq.registerTimeChangeCallback([&](float t) {
    reports.push_back(t);
    reportClock.push_back(clock->now() - start);
  });
  seq.playSequence("m", 1.0, 2.0f);
  clock->advance(0.001);
  // B starts at 1 and morphs for 2 s: at 2 the morph is half-way.
  EXPECT_NEAR(level.get(), 0.5f, 1e-6f);
  ASSERT_FALSE(reports.empty());
  EXPECT_FLOAT_EQ(reports.front(), 2.0f);
  EXPECT_EQ(handler->totalMorphSteps(), 50u);  // the remaining second of the morph
  for (int i = 0; i < 26; ++i) handler->morphStep(0.02);
  EXPECT_NEAR(level.get(), 0.75f, 1e-6f);

  // Into the wait of a step: its preset at once, and its morph time.
  seq.seek(3.5f);
  clock->advance(0.02);
  EXPECT_EQ(level.get(), 1.0f);
  EXPECT_FLOAT_EQ(handler->getMorphTime(), 2.0f);
  EXPECT_FALSE(handler->morphing());
  takeLog();
  const auto landed = std::find(reports.begin(), reports.end(), 3.5f);
  ASSERT_NE(landed, reports.end());
  const double seekClock = reportClock[landed - reports.begin()];
  clock->advance(0.6);  // C at 4.0, half a second after the seek
  char expected[64];
  std::snprintf(expected, sizeof(expected), "C@%.3f morph 0.000000", seekClock + 0.5);
  EXPECT_EQ(takeLog(), std::vector<std::string>{expected});
  seq.stopSequence();

  // A seek made while stopped does not carry over into the next start.
  seq.seek(4.5f);
  seq.playSequence("m");
  clock->advance(0.02);
  handler->morphStep(0.02);
  EXPECT_EQ(level.get(), 0.0f);  // A, not C
  EXPECT_LT(seq.currentTime(), 1.0);
  seq.stopSequence();
}

TEST_F(Sequencing, OscStartAndStop) {
  PresetSequencer seq(PresetSequencer::TIME_MASTER_CPU, clock);
  seq << *handler;
  seq.setOSCSubPath("seq");
  writeFile(dir / "long.sequence", "A:0:1\nB:10:1\n");
  std::atomic<int> finishedEnds{0}, stoppedEnds{0};
  seq.registerEndCallback(
      [&](bool finished, PresetSequencer*) { ++(finished ? finishedEnds : stoppedEnds); });

  const std::string name = "long";
  auto start = makeMessage("/root/seq", &name);
  CaptureStdout();
  EXPECT_TRUE(seq.consumeMessage(*start, "/root"));
  EXPECT_EQ(GetCapturedStdout(), "start sequence long\n");
  EXPECT_TRUE(seq.running());
  clock->advance(2.0);
  for (int i = 0; i < 10; ++i) handler->morphStep(0.02);
  EXPECT_TRUE(handler->morphing());

  auto other = makeMessage("/root/seq/pause");
  EXPECT_FALSE(seq.consumeMessage(*other, "/root"));
  auto wrongRoot = makeMessage("/seq/stop");
  EXPECT_FALSE(seq.consumeMessage(*wrongRoot, "/root"));

  auto stop = makeMessage("/root/seq/stop");
  CaptureStdout();
  EXPECT_TRUE(seq.consumeMessage(*stop, "/root"));
  EXPECT_EQ(GetCapturedStdout(), "stop sequence \n");
  EXPECT_FALSE(seq.running());
  EXPECT_FALSE(handler->morphing());
  const float halted = level.get();
  for (int i = 0; i < 10; ++i) handler->morphStep(0.02);
  EXPECT_EQ(level.get(), halted);
  for (int i = 0; i < 500 && stoppedEnds == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(stoppedEnds, 1);
  EXPECT_EQ(finishedEnds, 0);
}

TEST(SequencerThread, RepeatedStartsHandShakeEveryTime) {
  ScratchDir dir;
  writeFile(dir / "short.sequence", "@tick:0:0.003\n@tick:0:0.003\n");
  PresetSequencer seq;
  seq.setDirectory(dir.path());
  std::atomic<int> begins{0}, ticks{0};
  seq.registerBeginCallback([&](PresetSequencer*) { ++begins; });
  seq.registerEventCommand("tick", [&](const std::vector<vl::ParameterField>&) { ++ticks; });
  for (int i = 0; i < 40; ++i) {
    seq.playSequence(i % 2 ? "" : "short");
    EXPECT_EQ(begins, i + 1);
    if (i % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(8));
  }
  for (int i = 0; i < 500 && seq.running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_FALSE(seq.running());
  EXPECT_GE(ticks, 2);
}

TEST(SequenceFiles, EveryKindOfStepReadsBackAsWritten) {
  ScratchDir dir;
  std::vector<PresetSequencer::Step> steps(3);
  steps[0].name = "A";
  steps[0].morphTime = 1.5f;
  steps[0].waitTime = 0.25f;
  steps[1].type = PresetSequencer::Step::EVENT;
  steps[1].name = "flash";
  steps[1].waitTime = 2.0f;
  steps[1].params = {0.5f, -3.0f};
  steps[2].type = PresetSequencer::Step::PARAMETER;
  steps[2].name = "/g/level";
  steps[2].waitTime = 0.125f;
  steps[2].params = {0.75f};
  const std::string path = dir / "round.sequence";
  ASSERT_TRUE(vl::SequenceFile::write(path, steps));
  const auto read = vl::SequenceFile::read(path, 2.0);
  ASSERT_EQ(read.size(), steps.size());
  for (std::size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(read[i].type, steps[i].type) << i;
    EXPECT_EQ(read[i].name, steps[i].name) << i;
    EXPECT_FLOAT_EQ(read[i].morphTime, 2.0f * steps[i].morphTime) << i;
    EXPECT_FLOAT_EQ(read[i].waitTime, 2.0f * steps[i].waitTime) << i;
    ASSERT_EQ(read[i].params.size(), steps[i].params.size()) << i;
    for (std::size_t k = 0; k < steps[i].params.size(); ++k) {
      EXPECT_FLOAT_EQ(read[i].params[k].get<float>(), steps[i].params[k].get<float>());
    }
  }
}
