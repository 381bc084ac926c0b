// The synth sequencer driving the real polyphonic synth: voices taken by type name, their
// trigger fields set from the score (quoted texts included), ids of "+" and "-" lines, voices
// missing from the synth, and time from audio blocks.

#include <gtest/gtest.h>

#include <mutex>

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
