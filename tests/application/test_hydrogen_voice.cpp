// The voice heard through its sound engine: pitch measured on rendered sound, the engine's
// edge cases, the envelope's release and the synth freeing a finished voice, a triggered preset
// sequence, and the audio thread beside frames, triggers and the synth sequencer, whose preset
// recalls stay off the audio path.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>
#include <vector>

#include "HydrogenVoice.hpp"
#include "sound/allocation_counter.hpp"
#include "sound/vl_DynamicScene.hpp"
#include "sound/vl_PolySynth.hpp"
#include "sound/vl_PolySynthVoicePool.hpp"
#include "sound/vl_StereoPanner.hpp"
#include "ui/vl_SynthSequencer.hpp"
#include "voice_support.hpp"

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;

struct Rate {
  Rate() { snl::Domain::master().setSampleRate(kRate); }
};

vl::AudioIOData block() {
  vl::AudioIOData io;
  io.framesPerSecond(kRate);
  io.framesPerBuffer(kBlock);
  io.channels(2, true);
  return io;
}

// One cycle of a sine in the components that feed the left output (first) or the right.
snl::Array<Spinor> sineTable(bool left, double amplitude = 0.01) {
  snl::Array<Spinor> t(HydrogenSound::kTableSize);
  for (uint32_t k = 0; k < t.size(); ++k) {
    const double s = amplitude * std::sin(2.0 * M_PI * k / t.size());
    t[k] = left ? Spinor(s, 0, 0.5 * s, 0) : Spinor(0, s, 0, 0.5 * s);
  }
  return t;
}

// Renders blocks of a voice, returning each channel.
std::vector<std::vector<float>> render(HydrogenVoice& v, int blocks) {
  vl::AudioIOData io = block();
  std::vector<std::vector<float>> out(2);
  for (int b = 0; b < blocks; ++b) {
    io.zeroOut();
    io.frame(-1);
    v.onProcessAudio(io);
    for (int c = 0; c < 2; ++c) {
      out[c].insert(out[c].end(), io.outBuffer(c), io.outBuffer(c) + kBlock);
    }
  }
  return out;
}

// A voice started off any synth with a fixed table, as the program's static voice is.
void start(HydrogenVoice& v, const snl::Array<Spinor>& table) {
  v.onTriggerOn();
  v.sound().updateTable(table);
}

}  // namespace

TEST(HydrogenSound, PitchMapClampsOctavesSemitonesAndCurvature) {
  EXPECT_NEAR(HydrogenSound::frequency(-2.0, 0.0, 0.0f, 0.0f), 220.0 / 256.0, 1e-5);
  EXPECT_NEAR(HydrogenSound::frequency(8.0, 0.0, 0.0f, 0.0f), 220.0, 1e-3);
  EXPECT_NEAR(HydrogenSound::frequency(8.06, 0.0, 0.0f, 0.0f), 220.0 * std::sqrt(2.0), 1e-2);
  EXPECT_NEAR(HydrogenSound::frequency(8.03, 0.0, 0.0f, 0.0f), 220.0 * std::pow(2.0, 0.25), 1e-2);
  // Curvature beyond the compensation bends the pitch down, by one octave at most.
  EXPECT_FLOAT_EQ(HydrogenSound::frequency(8.0, 0.0, 1.3f, 0.3f), 110.0f);
  EXPECT_FLOAT_EQ(HydrogenSound::frequency(8.0, 0.0, 3.0f, 0.0f), 110.0f);
  EXPECT_NEAR(HydrogenSound::frequency(8.0, 0.0, 0.8f, 0.3f), 220.0 / std::sqrt(2.0), 1e-3);
  EXPECT_FLOAT_EQ(HydrogenSound::frequency(8.0, 0.0, 0.2f, 0.5f), 220.0f);
}

TEST(HydrogenVoice, RenderedSpectrumMovesAnOctavePerPitchAndTwelveSemitonesOfShift) {
  Rate rate;
  zentha_test::WorkingDirectory dir;
  auto peak = [](float pitch, float shift) {
    HydrogenVoice v;
    v.init();
    v.sound().parameters().pitch.set(pitch);
    v.sound().parameters().pitchShift.set(shift);
    start(v, sineTable(true));
    auto out = render(v, 80);
    // The attack and the chorus's first echo are past after half a second.
    std::vector<float> tail(out[0].begin() + 24 * kBlock, out[0].end());
    return zentha_test::peakFrequency(tail, kRate);
  };
  const double at8 = peak(8.0f, 0.0f), at9 = peak(9.0f, 0.0f), shifted = peak(8.0f, 12.0f);
  // The strongest partial is the low oscillator, 1.01 octaves below the base frequency.
  EXPECT_NEAR(at8, 220.0 * std::exp2(-1.01), 0.5);
  EXPECT_NEAR(at9 / at8, 2.0, 0.01);
  EXPECT_NEAR(shifted / at9, 1.0, 0.005);
}

TEST(HydrogenVoice, GainReverbAndTheTableHandedToTheAudioBlock) {
  Rate rate;
  zentha_test::WorkingDirectory dir;
  {  // "gain" 0.7 scales by 2 * 0.49 against a gain whose scale is 1.
    HydrogenVoice a, b;
    a.init(), b.init();
    a.sound().parameters().gain.set(0.7f);
    b.sound().parameters().gain.set(std::sqrt(0.5f));
    for (HydrogenVoice* v : {&a, &b}) v->sound().parameters().pitch.set(8.0f);
    start(a, sineTable(true));
    start(b, sineTable(true));
    const auto outA = render(a, 8), outB = render(b, 8);
    double peakB = 0.0;
    for (size_t i = 0; i < outA[0].size(); ++i) {
      ASSERT_NEAR(outA[0][i], 0.98 * outB[0][i], 1e-5 * std::fabs(outB[0][i]) + 1e-9) << i;
      peakB = std::max(peakB, double(std::fabs(outB[0][i])));
    }
    EXPECT_GT(peakB, 1e-3);
  }
  {  // Without reverb nothing crosses over: a table feeding only the right leaves left silent.
    HydrogenVoice dry, wet;
    dry.init(), wet.init();
    dry.sound().parameters().reverbAmount.set(0.0f);
    for (HydrogenVoice* v : {&dry, &wet}) {
      v->sound().parameters().pitch.set(8.0f);
      start(*v, sineTable(false));
    }
    const auto outDry = render(dry, 40), outWet = render(wet, 40);
    double dryLeft = 0.0, dryRight = 0.0, wetLeft = 0.0;
    for (size_t i = 0; i < outDry[0].size(); ++i) {
      dryLeft = std::max(dryLeft, double(std::fabs(outDry[0][i])));
      dryRight = std::max(dryRight, double(std::fabs(outDry[1][i])));
      wetLeft = std::max(wetLeft, double(std::fabs(outWet[0][i])));
    }
    EXPECT_EQ(dryLeft, 0.0);
    EXPECT_GT(dryRight, 1e-3);
    EXPECT_GT(wetLeft, 1e-4);
  }
  {  // The first update after a trigger copies; later ones move 0.5 % of the way.
    HydrogenVoice v;
    v.init();
    v.sound().parameters().pitch.set(8.0f);
    const auto s1 = sineTable(true, 0.02), s2 = sineTable(false, 0.03);
    start(v, s1);
    for (uint32_t k = 0; k < s1.size(); ++k) ASSERT_EQ(v.sound().table()[k], s1[k]);
    v.sound().updateTable(s2);
    for (uint32_t k = 0; k < s1.size(); ++k) {
      for (int c = 0; c < 4; ++c) {
        ASSERT_NEAR(v.sound().table()[k][c], s2[k][c] + 0.995 * (s1[k][c] - s2[k][c]), 1e-15);
      }
    }
    // A new trigger zeroes the table the audio plays, though the last one was never picked
    // up, and the next update copies again.
    v.sound().updateTable(s2);
    v.onTriggerOn();
    for (const auto& channel : render(v, 3)) {
      for (float x : channel) ASSERT_EQ(x, 0.0f);
    }
    v.sound().updateTable(s2);
    for (uint32_t k = 0; k < s2.size(); ++k) ASSERT_EQ(v.sound().table()[k], s2[k]);
    double loud = 0.0;
    const auto after = render(v, 10);
    for (float x : after[1]) loud = std::max(loud, double(std::fabs(x)));
    EXPECT_GT(loud, 1e-3);
  }
}

TEST(HydrogenVoice, ReleaseFromTheAttackLevelThenTheSynthFreesTheVoice) {
  Rate rate;
  zentha_test::WorkingDirectory dir;
  vl::PolySynth synth;
  synth.allocatePolyphony<HydrogenVoice>(1);
  auto* v = synth.getVoice<HydrogenVoice>();
  ASSERT_NE(v, nullptr);
  v->sound().parameters().pitch.set(8.0f);
  // attackTime 1 s, releaseTime 0.25 s, no preset, no sequence, no shift, scale 1, gain 0.7.
  ASSERT_TRUE(
      v->setTriggerParams(std::vector<vl::ParameterField>{1.0f, 0.25f, "", "", 0.0f, 1.0f, 0.7f}));
  const int id = synth.triggerOn(v);
  ASSERT_GE(id, 0);
  v->sound().updateTable(sineTable(true));
  vl::AudioIOData io = block();
  synth.prepare(io);
  auto pass = [&] {
    io.zeroOut();
    io.frame(-1);
    synth.render(io);
  };
  for (int b = 0; b < 20; ++b) pass();
  const float reached = v->sound().level();
  EXPECT_GT(reached, 0.05f);
  EXPECT_LT(reached, 0.9f);
  synth.triggerOff(id);
  pass();
  EXPECT_LT(v->sound().level(), reached);
  EXPECT_GT(v->sound().level(), 0.5f * reached);  // from where it stood, not from the top
  int blocks = 1;
  while (synth.getActiveVoices() && blocks < 200) pass(), ++blocks;
  EXPECT_EQ(synth.getActiveVoices(), nullptr);
  EXPECT_NEAR(blocks * kBlock / kRate, 0.25, 0.05);
  EXPECT_EQ(synth.getFreeVoices(), v);
  EXPECT_EQ(v->id(), -1);
  pass();
  for (int f = 0; f < kBlock; ++f) ASSERT_EQ(io.out(0, f), 0.0f);
}

// "sequenceToPlay" plays in the voice's own frames: the second preset comes after the first
// one's wait in frame time, whatever the wall clock does; a release stops it at the next frame.
TEST(HydrogenVoice, TriggeredSequenceFollowsTheFramesAndStopsWithTheRelease) {
  Rate rate;
  zentha_test::WorkingDirectory dir;
  {
    HydrogenVoice author;
    author.init();
    author.sound().parameters().pitch.set(7.0f);
    author.presets().storePreset("Low");
    author.sound().parameters().pitch.set(9.0f);
    author.presets().storePreset("High");
  }
  std::ofstream("hydrogen_presets/LowHigh.sequence") << "Low:0:0.5\nHigh:0:1\n";
  HydrogenVoice v;
  v.init();
  v.parameters().sequenceToPlay.set("LowHigh");
  v.parameters().seqTimeScale.set(2.0f);  // the high preset after a second
  v.onTriggerOn();
  EXPECT_TRUE(v.atom().forceResetRequested());
  EXPECT_TRUE(v.sequencer().running());
  int frames = 0;
  while (frames < 200 && v.sound().parameters().pitch.get() != 9.0f) {
    v.update(1.0 / 60.0);
    ++frames;
    if (frames == 2) {
      EXPECT_FLOAT_EQ(v.sound().parameters().pitch.get(), 7.0f);
    }
  }
  EXPECT_NEAR(frames, 61, 2);
  v.onTriggerOff();
  EXPECT_TRUE(v.sequencer().running());  // the audio side only asks
  v.update(1.0 / 60.0);
  EXPECT_FALSE(v.sequencer().running());
}

// The audio thread renders while the main thread steps frames, triggers and changes the sound:
// tables and triggers reach the audio block whole (under ThreadSanitizer: without a race).
TEST(HydrogenVoiceThreads, AudioBlocksBesideFramesTriggersAndParameterChanges) {
  Rate rate;
  zentha_test::WorkingDirectory dir;
  HydrogenVoice v;
  v.init();
  zentha_test::setSoundingAtom(v);
  v.onTriggerOn();
  std::atomic<bool> run{true};
  std::atomic<int> blocks{0}, bad{0};
  std::thread audio([&] {
    vl::AudioIOData io = block();
    while (run) {
      io.zeroOut();
      io.frame(-1);
      v.onProcessAudio(io);
      for (int f = 0; f < kBlock; ++f) {
        if (!std::isfinite(io.out(0, f)) || !std::isfinite(io.out(1, f))) ++bad;
      }
      ++blocks;
      std::this_thread::yield();
    }
  });
  for (int frame = 0; frame < 40; ++frame) {
    v.update(1.0 / 60.0);
    if (frame % 10 == 5) v.onTriggerOff();
    if (frame % 10 == 8) v.onTriggerOn();
    v.sound().parameters().pitch.set(6.0f + 0.05f * float(frame % 20));
  }
  while (blocks < 20) std::this_thread::yield();
  run = false;
  audio.join();
  EXPECT_EQ(bad.load(), 0);
}

// The synth sequencer in audio time on a scene of voices, as in the performance: each event's
// preset is recalled by the sequencer's preparation thread, never by the audio thread, which
// allocates nothing while the main thread steps the voices' frames.
TEST(HydrogenVoiceThreads, SequencedPresetsAreRecalledOffTheAudioThread) {
  Rate rate;
  zentha_test::WorkingDirectory dir;
  zentha_test::storeSoundingPreset("Sounding", "defaults");
  constexpr int kVoices = 4, kEvents = 6;
  {
    std::ofstream score("score.synthSequence");
    for (int i = 0; i < kEvents; ++i) {
      score << "@ " << 0.05 + 0.25 * i
            << " 0.15 HydrogenVoice 0.01 0.05 \"defaults/Sounding\" \"\" 0 1 0.5\n";
    }
  }
  vl::DynamicScene scene(2, vl::TIME_MASTER_AUDIO);
  scene.setSpatializer<vl::StereoPanner>(vl::StereoSpeakerLayout(0, 30.0f, 1.0f, 1.0f));
  scene.registerSynthClass<HydrogenVoice>("HydrogenVoice");
  scene.allocatePolyphony("HydrogenVoice", kVoices);
  scene.disableAllocation("HydrogenVoice");
  std::atomic<int> recalls{0}, recallsOnAudio{0};
  {
    std::lock_guard<std::mutex> lock(scene.voiceLock());
    for (vl::SynthVoice* v = scene.getFreeVoices(); v; v = vl::PolySynth::nextVoice(v)) {
      static_cast<HydrogenVoice*>(v)->presets().registerRecallNameCallback(
          [&](const std::string&, float) {
            ++recalls;
            if (alloctest::tMarked) ++recallsOnAudio;
          });
    }
  }
  vl::AudioIOData io = block();
  io.channelsBus(1);
  scene.prepare(io);
  vl::PolySynthVoicePool pool(scene);
  vl::SynthSequencer seq(vl::SynthSequencer::TIME_MASTER_AUDIO);
  seq.setVoicePool(pool);
  seq.lookAhead(0.2);
  ASSERT_TRUE(seq.playSequence("score"));

  std::atomic<bool> frames{true};
  std::thread mainLoop([&] {
    while (frames) {
      scene.update(1.0 / 60.0);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  auto countFree = [&] {
    std::lock_guard<std::mutex> lock(scene.voiceLock());
    int n = 0;
    for (vl::SynthVoice* v = scene.getFreeVoices(); v; v = vl::PolySynth::nextVoice(v)) ++n;
    return n;
  };
  alloctest::tMarked = true;
  alloctest::gOnlyMarked = true;
  alloctest::gAllocations = 0;
  alloctest::gCounting = true;
  int blocks = 0;
  double loud = 0.0;
  while ((seq.playing() || countFree() < kVoices) && blocks < 2000) {
    io.zeroOut();
    io.frame(-1);
    vl::renderSynthSequence(seq, scene, io);
    for (int f = 0; f < kBlock; ++f) loud = std::max(loud, double(std::fabs(io.out(0, f))));
    ++blocks;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  alloctest::gCounting = false;
  alloctest::gOnlyMarked = false;
  alloctest::tMarked = false;
  frames = false;
  mainLoop.join();
  seq.reportMessages();

  EXPECT_EQ(alloctest::gAllocations.load(), 0);
  EXPECT_EQ(recalls.load(), kEvents);
  EXPECT_EQ(recallsOnAudio.load(), 0);
  EXPECT_EQ(countFree(), kVoices);
  EXPECT_GT(loud, 1e-3);
  // The voices that played took the preset's pitch at their first frame.
  std::lock_guard<std::mutex> lock(scene.voiceLock());
  int recalled = 0;
  for (vl::SynthVoice* v = scene.getFreeVoices(); v; v = vl::PolySynth::nextVoice(v)) {
    recalled += static_cast<HydrogenVoice*>(v)->sound().parameters().pitch.get() == 7.0f;
  }
  EXPECT_GE(recalled, 2);
}
