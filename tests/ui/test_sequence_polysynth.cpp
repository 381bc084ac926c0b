// The synth sequencer driving the real polyphonic synth: voices taken by type name, their
// trigger fields set from the score (quoted texts included), ids of "+" and "-" lines, voices
// missing from the synth, and time from audio blocks.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "sound/vl_AudioIOData.hpp"
#include "sound/vl_PolySynthVoicePool.hpp"
#include "ui/preset_test_support.hpp"
#include "ui/vl_Parameter.hpp"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using vl::test::ScratchDir;
using vl::test::writeFile;

namespace {

std::mutex gLogLock;
std::vector<std::string> gLog;
double gNow = 0.0;

void note(const std::string& text) {
  char stamp[32];
  std::snprintf(stamp, sizeof(stamp), "%.2f ", gNow);
  std::lock_guard<std::mutex> lock(gLogLock);
  gLog.push_back(stamp + text);
}

class Beep : public vl::SynthVoice {
 public:
  Beep() {
    registerTriggerParameter(frequency);
    registerTriggerParameter(label);
  }
  void onTriggerOn() override {
    note("on #" + std::to_string(id()) + " " + std::to_string(frequency.get()) + " " + label.get());
  }
  void onTriggerOff() override {
    note("off #" + std::to_string(id()));
    free();
  }

  vl::Parameter frequency{"frequency", "", 0.0f, "", 0.0f, 20000.0f};
  vl::ParameterString label{"label", "", ""};
};

}  // namespace

TEST(SynthSequencerOnPolySynth, PlaysTheScoreOnTheSynthsVoices) {
  ScratchDir dir;
  writeFile(dir / "s.synthSequence",
            "@ 0 0.1 Beep 440 \"a b\"\n+ 0.05 7 Beep 220 \"held\"\n- 0.2 7\n@ 0.1 0.1 Nope 1\n");
  vl::PolySynth synth(vl::TIME_MASTER_AUDIO);
  synth.registerSynthClass<Beep>("Beep");
  synth.allocatePolyphony("Beep", 2);
  vl::PolySynthVoicePool pool(synth);
  vl::SynthSequencer seq(vl::SynthSequencer::TIME_MASTER_AUDIO);
  seq.setVoicePool(pool);
  seq.setDirectory(dir.path());
  gLog.clear();
  ASSERT_TRUE(seq.playSequence("s"));
  // The "+" voice was taken while the score was read, and the voice of the "@" line at 0 was
  // prepared before the first block could ask for it.
  int free = 0;
  for (auto* v = synth.getFreeVoices(); v; v = vl::PolySynth::nextVoice(v)) ++free;
  EXPECT_EQ(free, 0);

  vl::AudioIOData io;
  io.framesPerSecond(44100);
  io.framesPerBuffer(441);
  io.channels(2, true);
  CaptureStdout();
  for (int i = 0; i < 40 && seq.playing(); ++i) {
    gNow = seq.currentTime();
    vl::renderSynthSequence(seq, synth, io);
  }
  for (int i = 0; i < 3; ++i) synth.render(io);
  seq.reportMessages();
  EXPECT_EQ(GetCapturedStdout(),
            "SynthSequencer::processEvents: Could not get free voice 'Nope' for sequencer!\n");
  EXPECT_FALSE(seq.playing());
  EXPECT_EQ(gLog,
            (std::vector<std::string>{"0.00 on #1000 440.000000 a b", "0.04 on #7 220.000000 held",
                                      "0.09 off #1000", "0.19 off #7"}));
}

// A trigger refused by a trigger-on callback leaves the voice as it was, on the free list;
// a sequencer stopped from its own threads (its end callback) while other threads start and
// stop it neither hangs nor crashes; the synth's clock thread can end its own mode.
TEST(SynthSequencerOnPolySynth, RefusalsAndStopsFromAnyThread) {
  vl::PolySynth synth(vl::TIME_MASTER_AUDIO);
  synth.registerSynthClass<Beep>("Beep");
  synth.allocatePolyphony("Beep", 2);
  synth.registerTriggerOnCallback([](vl::SynthVoice*, int, int, void*) { return false; });
  vl::PolySynthVoicePool pool(synth);
  const int handle = pool.takeVoice("Beep");
  int id = 5;
  EXPECT_FALSE(pool.prepareTrigger(handle, id));
  int free = 0;
  for (auto* v = synth.getFreeVoices(); v; v = vl::PolySynth::nextVoice(v)) {
    ++free;
    EXPECT_EQ(v->id(), -1);
  }
  EXPECT_EQ(free, 2);

  ScratchDir dir;
  writeFile(dir / "short.synthSequence", "@ 0 0.002 Beep 1 \"x\"\n");
  vl::PolySynth played(vl::TIME_MASTER_CPU);
  played.registerSynthClass<Beep>("Beep");
  vl::PolySynthVoicePool playedPool(played);
  for (int32_t mode :
       {vl::SynthSequencer::TIME_MASTER_CPU, vl::SynthSequencer::TIME_MASTER_AUDIO}) {
    vl::SynthSequencer seq(mode);
    seq.setVoicePool(playedPool);
    seq.setDirectory(dir.path());
    std::atomic<int> ends{0};
    seq.registerEndCallback([&](vl::SynthSequencer* s) {
      ends.fetch_add(1);
      s->stopSequence();
      s->stopSequence();
    });
    std::atomic<bool> stop{false};
    std::thread audio([&] {
      vl::AudioIOData io;
      io.framesPerSecond(44100);
      io.framesPerBuffer(64);
      io.channels(2, true);
      while (!stop) vl::renderSynthSequence(seq, played, io);
    });
    std::vector<std::thread> controllers;
    for (int t = 0; t < 2; ++t) {
      controllers.emplace_back([&, t] {
        for (int i = 0; i < 40; ++i) {
          seq.playSequence("short");
          if ((i + t) % 3 == 0) seq.stopSequence();
          std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
      });
    }
    for (auto& c : controllers) c.join();
    ends = 0;
    seq.playSequence("short");  // the last start plays to its end
    for (int i = 0; i < 500 && seq.playing(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    seq.reportMessages();
    stop = true;
    audio.join();
    seq.stopSequence();
    EXPECT_EQ(ends.load(), 1);
  }

  // A free callback on the clock thread moves the synth to audio time: the thread ends itself.
  bool switched = false;
  played.setTimeMaster(vl::TIME_MASTER_AUDIO);  // callbacks are registered with no clock running
  played.registerFreeCallback([&](int, void*) {
    played.setTimeMaster(vl::TIME_MASTER_AUDIO);
    played.setTimeMaster(vl::TIME_MASTER_AUDIO);
    switched = true;
  });
  played.setTimeMaster(vl::TIME_MASTER_CPU);
  played.setTimeMaster(vl::TIME_MASTER_CPU);
  auto* voice = played.getFreeVoice("Beep");
  ASSERT_NE(voice, nullptr);
  played.triggerOn(voice);
  voice->free();
  for (int i = 0; i < 500 && played.timeMaster() != vl::TIME_MASTER_AUDIO; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(played.timeMaster(), vl::TIME_MASTER_AUDIO);
  played.setTimeMaster(vl::TIME_MASTER_CPU);  // joins the ended thread and starts a new one
  played.setTimeMaster(vl::TIME_MASTER_AUDIO);
  EXPECT_TRUE(switched);
}
