// The sequence recorder: the file it writes, played back by the preset sequencer to the same
// recalls; the maximum length; refused parameters and names; its OSC messages.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "ui/preset_test_support.hpp"
#include "ui/sequence_test_clock.hpp"
#include "ui/vl_PresetSequencer.hpp"
#include "ui/vl_SequenceRecorder.hpp"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;
using vl::test::readFile;
using vl::test::ScratchDir;
using vl::test::VirtualClock;
using vl::test::writeFile;

namespace {

class Recording : public testing::Test {
 protected:
  void SetUp() override { handler = vl::test::levelPresetHandler(dir, level); }

  // Waits (in real time) for a recording that ends by itself.
  static bool waitUntilStopped(vl::SequenceRecorder& recorder) {
    for (int i = 0; i < 1000 && recorder.recording(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return !recorder.recording();
  }

  ScratchDir dir;
  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  std::unique_ptr<vl::PresetHandler> handler;
  vl::Parameter level{"level", "", 0.0f, "", -10.0f, 10.0f};
  vl::Parameter other{"other", "", 0.0f};
};

}  // namespace

TEST_F(Recording, RecordedFilePlaysBackToTheSameRecalls) {
  {
    vl::SequenceRecorder recorder(clock);
    recorder << *handler << other;
    recorder.startRecord("take");
    handler->recallPreset("A", 0.5f);
    clock->advance(1.5);
    other.set(0.3f);
    clock->advance(0.5);
    handler->recallPreset("B", 0.0f);
    clock->advance(1.0);
    handler->recallPreset("C", 0.25f);
    clock->advance(1.0);
    CaptureStdout();
    recorder.stopRecord();
    EXPECT_EQ(GetCapturedStdout(), "Recorded: " + (dir / "take.sequence") + "\n");
    EXPECT_EQ(recorder.lastRecordedPath(), dir / "take.sequence");
    // Recalls after the end are not recorded.
    handler->recallPreset("A", 0.0f);
  }
  EXPECT_EQ(readFile(dir / "take.sequence"),
            "+0.000000:/other:0.000000\n"
            "A:0.500000:1.500000\n"
            "+1.500000:/other:0.300000\n"
            "B:0.000000:1.000000\n"
            "C:0.250000:0.750000\n"
            "::\n");

  // Played back on the sequencer's thread, on a fresh virtual clock.
  auto playClock = std::make_shared<VirtualClock>();
  vl::PresetSequencer seq(vl::PresetSequencer::TIME_MASTER_CPU, playClock);
  seq << *handler << other;
  const double start = playClock->now();
  std::mutex logLock;
  std::vector<std::string> log;
  const auto stamp = [&](const std::string& what) {
    char text[64];
    std::snprintf(text, sizeof(text), "%s@%.3f", what.c_str(), playClock->now() - start);
    std::lock_guard<std::mutex> lock(logLock);
    log.push_back(text);
  };
  handler->registerRecallNameCallback([&](const std::string& name, float morph) {
    stamp(name + " morph " + std::to_string(morph));
  });
  other.registerChangeCallback([&](float v) { stamp("other " + std::to_string(v)); });
  seq.playSequence("take");
  playClock->advanceTo(start + 4.5);
  EXPECT_EQ(log, (std::vector<std::string>{"other 0.000000@0.000", "A morph 0.500000@0.000",
                                           "other 0.300000@1.500", "B morph 0.000000@2.000",
                                           "C morph 0.250000@3.000"}));
}

TEST_F(Recording, AnUnstoppedRecordingEndsAtItsMaximumLength) {
  vl::SequenceRecorder recorder(clock);
  recorder << *handler;
  recorder.startRecord("");
  handler->recallPreset("A", 1.0f);
  clock->advance(30.0);
  EXPECT_TRUE(recorder.recording());
  CaptureStdout();
  clock->advance(31.0);  // past the default of 60 s
  ASSERT_TRUE(waitUntilStopped(recorder));
  EXPECT_EQ(GetCapturedStdout(), "Recorded: " + (dir / "new_seq.sequence") + "\n");
  handler->recallPreset("B", 0.0f);
  EXPECT_EQ(readFile(dir / "new_seq.sequence"), "A:1.000000:59.000000\n::\n");

  // A settable limit, on the real clock; and an existing name is not overwritten.
  vl::SequenceRecorder quick;
  quick << *handler;
  quick.setMaxRecordTime(0.15);
  CaptureStdout();
  quick.startRecord("");
  handler->recallPreset("C", 0.0f);
  EXPECT_TRUE(waitUntilStopped(quick));
  EXPECT_EQ(GetCapturedStdout(), "Recorded: " + (dir / "new_seq_0.sequence") + "\n");
  const std::string text = readFile(dir / "new_seq_0.sequence");
  EXPECT_EQ(text.substr(0, 11), "C:0.000000:");
  const float wait = std::stof(text.substr(11));
  EXPECT_GT(wait, 0.1f);
  EXPECT_LE(wait, 0.15f);
}

TEST_F(Recording, OverwriteAndRestart) {
  vl::SequenceRecorder recorder(clock);
  recorder << *handler;
  CaptureStdout();
  recorder.startRecord("again");
  handler->recallPreset("A", 0.0f);
  // Starting again ends and writes the first recording.
  recorder.startRecord("again", true);
  EXPECT_EQ(readFile(dir / "again.sequence"), "A:0.000000:0.000000\n::\n");
  handler->recallPreset("B", 0.0f);
  clock->advance(2.0);
  recorder.stopRecord();
  GetCapturedStdout();
  EXPECT_EQ(readFile(dir / "again.sequence"), "B:0.000000:2.000000\n::\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "again_0.sequence"));
}

TEST_F(Recording, RefusedParametersAndNames) {
  vl::SequenceRecorder recorder(clock);
  recorder << *handler;
  vl::ParameterPose pose{"pose"};
  CaptureStderr();
  EXPECT_FALSE(recorder.registerParameter(level));
  EXPECT_FALSE(recorder.registerParameter(pose));
  recorder.startRecord("../escape");
  recorder.startRecord("a/b");
  const std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: Parameters registered with sequence recorder must not be part of "
                     "registered presets: /level\n"),
            std::string::npos);
  EXPECT_NE(err.find("ERROR: Refusing sequence name \"../escape\""), std::string::npos);
  EXPECT_NE(err.find("ERROR: Refusing sequence name \"a/b\""), std::string::npos);
  EXPECT_FALSE(recorder.recording());

  // Integer and text parameters record their numeric value.
  vl::ParameterInt steps{"steps", "", 2};
  vl::ParameterString amount{"amount", "", "0.5"};
  EXPECT_TRUE(recorder.registerParameter(steps));
  EXPECT_TRUE(recorder.registerParameter(amount));
  CaptureStdout();
  recorder.startRecord("kinds");
  clock->advance(0.25);
  steps.set(5);
  amount.set("1.5");
  recorder.stopRecord();
  GetCapturedStdout();
  EXPECT_EQ(readFile(dir / "kinds.sequence"),
            "+0.000000:/steps:2.000000\n+0.000000:/amount:0.500000\n"
            "+0.250000:/steps:5.000000\n+0.000000:/amount:1.500000\n::\n");
}

TEST_F(Recording, OscMessages) {
  vl::SequenceRecorder recorder(clock);
  recorder << *handler;
  recorder.setOSCSubPath("rec");
  const auto message = [](const std::string& address, auto... args) {
    vl::osc::Packet packet;
    packet.beginMessage(address);
    (packet.add(args), ...);
    packet.endMessage();
    return std::make_unique<vl::osc::Message>(packet.data(), packet.size());
  };
  CaptureStdout();
  EXPECT_TRUE(recorder.consumeMessage(*message("/app/rec/record", 1.0f), "/app"));
  EXPECT_TRUE(recorder.recording());
  handler->recallPreset("B", 0.0f);
  clock->advance(1.0);
  EXPECT_TRUE(recorder.consumeMessage(*message("/app/rec/record", 0.0f), "/app"));
  EXPECT_FALSE(recorder.recording());
  EXPECT_TRUE(
      recorder.consumeMessage(*message("/app/rec/startRecord", std::string("named")), "/app"));
  EXPECT_TRUE(recorder.recording());
  EXPECT_TRUE(recorder.consumeMessage(*message("/app/rec/stopRecord"), "/app"));
  EXPECT_FALSE(recorder.consumeMessage(*message("/app/rec/record", 1), "/app"));
  EXPECT_FALSE(recorder.consumeMessage(*message("/app/other/stopRecord"), "/app"));
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(out, "record sequence NewSequence\nRecorded: " + (dir / "NewSequence.sequence") +
                     "\n/startRecord named\n/stopRecord\nRecorded: " + (dir / "named.sequence") +
                     "\n");
  EXPECT_EQ(readFile(dir / "NewSequence.sequence"), "B:0.000000:1.000000\n::\n");

  CaptureStderr();
  EXPECT_TRUE(
      recorder.consumeMessage(*message("/app/rec/startRecord", std::string("../up")), "/app"));
  EXPECT_NE(GetCapturedStderr().find("Refusing sequence name"), std::string::npos);
  EXPECT_FALSE(recorder.recording());
}

TEST_F(Recording, StartAndStopFromSeveralThreadsAtOnce) {
  vl::SequenceRecorder recorder(clock);
  recorder << *handler;
  constexpr int kThreads = 4, kStarts = 15;
  CaptureStdout();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kStarts; ++i) {
        recorder.startRecord("take" + std::to_string(t), true);
        handler->recallPreset(i % 2 ? "A" : "B", 0.0f);
        if (i % 4 == 3) recorder.stopRecord();
      }
    });
  }
  for (auto& t : threads) t.join();
  recorder.stopRecord();
  const std::string out = GetCapturedStdout();
  EXPECT_FALSE(recorder.recording());
  // Every recording started was ended by a stop or the next start, and wrote its file once.
  std::size_t written = 0;
  for (std::size_t at = out.find("Recorded: "); at != std::string::npos;
       at = out.find("Recorded: ", at + 1)) {
    ++written;
  }
  EXPECT_EQ(written, static_cast<std::size_t>(kThreads * kStarts));
  // On the stopped clock each file holds whole recall lines of zero times, then its end.
  for (int t = 0; t < kThreads; ++t) {
    std::stringstream text(readFile(dir / ("take" + std::to_string(t) + ".sequence")));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_FALSE(lines.empty()) << t;
    EXPECT_EQ(lines.back(), "::") << t;
    lines.pop_back();
    for (const auto& line : lines) {
      EXPECT_TRUE(line == "A:0.000000:0.000000" || line == "B:0.000000:0.000000") << line;
    }
  }
}
