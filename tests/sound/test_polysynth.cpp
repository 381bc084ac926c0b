// The polyphonic synth: voice lists and bookkeeping, trigger offsets, ids, allocation by name,
// the id rings, callbacks and the trigger value forms of voices.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sound/vl_PolySynth.hpp"
#include "synth_test_voices.hpp"

using namespace vl;
using synthtest::CountingVoice;
using synthtest::countList;
using synthtest::firstSounding;
using synthtest::makeBlock;

namespace {

int kOne = 1;

// The free list's head, read under the lock that guards it (the clock thread changes it).
SynthVoice* freeHead(PolySynth& synth) {
  std::lock_guard<std::mutex> lock(synth.voiceLock());
  return synth.getFreeVoices();
}

bool waitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 2000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

}  // namespace

TEST(PolySynthOffsets, StartWithinAndAcrossBuffers) {
  PolySynth synth;
  synth.allocatePolyphony<CountingVoice>(2);
  AudioIOData io = makeBlock(2);

  SynthVoice* near = synth.getFreeVoice();
  synth.triggerOn(near, 100);
  io.zeroOut();
  synth.render(io);
  EXPECT_EQ(firstSounding(io, 0), 100);
  EXPECT_EQ(firstSounding(io, 1), 100);
  synth.triggerOff(near->id());

  SynthVoice* far = synth.getFreeVoice();
  synth.triggerOn(far, 600);
  io.zeroOut();
  synth.render(io);  // the first voice stops, the second has not started
  EXPECT_EQ(firstSounding(io, 0), -1);
  io.zeroOut();
  synth.render(io);
  EXPECT_EQ(firstSounding(io, 0), 600 - 512);
  io.zeroOut();
  synth.render(io);
  EXPECT_EQ(firstSounding(io, 0), 0);  // from then on it sounds from the first frame
}

TEST(PolySynthOffsets, TurnOffOffsetFallsInItsBuffer) {
  PolySynth synth;
  synth.allocatePolyphony<CountingVoice>(1);
  AudioIOData io = makeBlock(2);
  auto* v = static_cast<CountingVoice*>(synth.getFreeVoice());
  v->releaseBlocks = 5;
  synth.triggerOn(v);
  synth.render(io);
  v->triggerOff(700);  // 700 frames on: in the second buffer from here
  EXPECT_EQ(v->triggerOffs, 0);
  synth.render(io);
  EXPECT_EQ(v->triggerOffs, 0);
  synth.render(io);
  EXPECT_EQ(v->triggerOffs, 1);
  synth.render(io);
  EXPECT_EQ(v->triggerOffs, 1);
}

TEST(PolySynthIds, AutomaticOwnAndExplicitIds) {
  PolySynth synth;
  synth.allocatePolyphony<CountingVoice>(4);
  EXPECT_EQ(synth.triggerOn(synth.getFreeVoice()), 1000);
  EXPECT_EQ(synth.triggerOn(synth.getFreeVoice()), 1001);
  SynthVoice* own = synth.getFreeVoice();
  own->id(7);
  EXPECT_EQ(synth.triggerOn(own), 7);
  EXPECT_EQ(synth.triggerOn(synth.getFreeVoice(), 0, 42), 42);
}

TEST(PolySynthAllocation, DisabledAllocationRefusesTheNextVoice) {
  PolySynth synth;
  synth.registerSynthClass<CountingVoice>("", false);
  synth.allocatePolyphony("synthtest::CountingVoice", 32);
  std::vector<SynthVoice*> taken;
  for (int i = 0; i < 32; ++i) {
    SynthVoice* v = synth.getFreeVoice("synthtest::CountingVoice");
    ASSERT_NE(v, nullptr);
    taken.push_back(v);
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(synth.getFreeVoice("synthtest::CountingVoice"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Automatic allocation disabled for voice:synthtest::CountingVoice\n");
  for (SynthVoice* v : taken) synth.insertFreeVoice(v);
  EXPECT_EQ(countList(synth.getFreeVoices()), 32);
}

TEST(PolySynthAllocation, ByNameRegistrationAndAutomaticGrowth) {
  PolySynth synth;
  synth.verbose(true);
  int allocations = 0;
  synth.registerAllocateCallback(
      [&](SynthVoice*, void* ud) { allocations += *static_cast<int*>(ud); }, &kOne);
  testing::internal::CaptureStdout();
  EXPECT_EQ(synth.allocateVoice("Nothing"), nullptr);
  synth.registerSynthClass<synthtest::OtherVoice>("Drone");
  synth.registerSynthClass<synthtest::OtherVoice>("Drone");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(
      out.find("Can't allocate voice of type Nothing. Voice not registered and no polyphony."),
      std::string::npos);
  EXPECT_NE(out.find("Warning: Overriding registration of SynthVoice: Drone"), std::string::npos);
  synth.verbose(false);

  synth.allocatePolyphony("Drone", 3);
  EXPECT_EQ(allocations, 3);
  // Found by the name it was registered under as well as by its class name (or a prefix).
  SynthVoice* a = synth.getFreeVoice("Drone");
  SynthVoice* b = synth.getFreeVoice("synthtest::OtherVoice");
  SynthVoice* c = synth.getFreeVoice("synthtest::Oth");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(countList(synth.getFreeVoices()), 0);
  EXPECT_EQ(allocations, 3);
  // None left: allocation by name grows the pool.
  SynthVoice* d = synth.getFreeVoice("Drone");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(allocations, 4);
  EXPECT_EQ(synth.getFreeVoice("Unknown"), nullptr);
  for (SynthVoice* v : {a, b, c, d}) synth.insertFreeVoice(v);
}

TEST(PolySynthLifecycle, FinishedVoicesReturnToTheFreeList) {
  PolySynth synth;
  synth.allocatePolyphony<CountingVoice>(1);
  std::vector<int> freed;
  synth.registerFreeCallback([&](int id, void*) { freed.push_back(id); });
  AudioIOData io = makeBlock(2);
  auto* v = static_cast<CountingVoice*>(synth.getFreeVoice());
  v->releaseBlocks = 1;
  const int id = synth.triggerOn(v);
  EXPECT_EQ(countList(synth.getActiveVoices()), 0);  // pending until the next pass
  synth.render(io);
  EXPECT_EQ(countList(synth.getActiveVoices()), 1);
  synth.triggerOff(id);
  synth.render(io);  // turned off, one block of release
  EXPECT_EQ(v->triggerOffs, 1);
  EXPECT_EQ(firstSounding(io, 0), 0);
  io.zeroOut();
  synth.render(io);  // frees itself, removed at the end of the pass
  EXPECT_EQ(firstSounding(io, 0), -1);
  EXPECT_EQ(countList(synth.getActiveVoices()), 0);
  EXPECT_EQ(synth.getFreeVoices(), v);
  EXPECT_EQ(v->id(), -1);
  EXPECT_EQ(v->frees, 1);
  EXPECT_EQ(freed, std::vector<int>{id});
}

TEST(PolySynthLifecycle, AllNotesOffSilencesWithoutRelease) {
  PolySynth synth;
  synth.allocatePolyphony<CountingVoice>(3);
  AudioIOData io = makeBlock(2);
  std::vector<CountingVoice*> voices;
  for (int i = 0; i < 3; ++i) {
    auto* v = static_cast<CountingVoice*>(synth.getFreeVoice());
    v->releaseBlocks = 1000;  // would sustain a long time after a turn-off
    synth.triggerOn(v);
    voices.push_back(v);
  }
  synth.render(io);
  ASSERT_EQ(firstSounding(io, 0), 0);
  synth.allNotesOff();
  io.zeroOut();
  synth.render(io);
  EXPECT_EQ(firstSounding(io, 0), -1);
  EXPECT_EQ(countList(synth.getActiveVoices()), 0);
  EXPECT_EQ(countList(synth.getFreeVoices()), 3);
  for (CountingVoice* v : voices) {
    EXPECT_EQ(v->triggerOffs, 0);
    EXPECT_EQ(v->frees, 0);
    EXPECT_EQ(v->id(), -1);
  }
}

TEST(PolySynthLifecycle, VoicesOnAListCannotBeLinkedAgain) {
  PolySynth synth;
  synth.allocatePolyphony<CountingVoice>(2);
  AudioIOData io = makeBlock(2);
  auto* v = static_cast<CountingVoice*>(synth.getFreeVoice());
  EXPECT_EQ(synth.triggerOn(v), 1000);
  EXPECT_EQ(synth.triggerOn(v), -1);  // pending
  synth.render(io);
  EXPECT_EQ(synth.triggerOn(v), -1);                      // active
  synth.insertFreeVoice(v);                               // ignored: it is sounding
  EXPECT_EQ(synth.triggerOn(synth.getFreeVoices()), -1);  // free: take it from the pool first
  EXPECT_EQ(v->triggerOns, 1);
  EXPECT_EQ(countList(synth.getActiveVoices()), 1);
  EXPECT_EQ(countList(synth.getFreeVoices()), 1);
  synth.triggerFree(1000);
  synth.render(io);
  EXPECT_EQ(countList(synth.getFreeVoices()), 2);
  EXPECT_EQ(synth.triggerOn(synth.getFreeVoice()), 1001);
}

TEST(PolySynthRings, OverflowDropsRequests) {
  // Bookkeeping at update time, so that requests pile up between passes.
  PolySynth synth(TIME_MASTER_UPDATE);
  synth.allocatePolyphony<CountingVoice>(2 * 70);
  std::vector<CountingVoice*> voices;
  for (int i = 0; i < 2 * 70; ++i) {
    auto* v = static_cast<CountingVoice*>(synth.getFreeVoice());
    v->releaseBlocks = 1000;
    synth.triggerOn(v, 0, i);
    voices.push_back(v);
  }
  synth.update();
  ASSERT_EQ(countList(synth.getActiveVoices()), 140);
  for (int i = 0; i < 70; ++i) synth.triggerOff(i);
  for (int i = 70; i < 140; ++i) synth.triggerFree(i);
  synth.update();
  int off = 0;
  for (int i = 0; i < 70; ++i) off += voices[i]->triggerOffs;
  EXPECT_EQ(off, static_cast<int>(VoiceIdRing::kCapacity));
  EXPECT_EQ(voices[62]->triggerOffs, 1);
  EXPECT_EQ(voices[63]->triggerOffs, 0);
  EXPECT_EQ(countList(synth.getActiveVoices()), 140 - static_cast<int>(VoiceIdRing::kCapacity));
  // Once drained, the rings take requests again.
  synth.triggerOff(69);
  synth.triggerFree(139);
  synth.update();
  EXPECT_EQ(voices[69]->triggerOffs, 1);
  EXPECT_EQ(voices[139]->frees, 1);
}

TEST(PolySynthCallbacks, RefusalsAndUserData) {
  PolySynth synth;
  synth.allocatePolyphony<CountingVoice>(2);
  AudioIOData io = makeBlock(2);
  bool allowOn = false, allowOff = false;
  int token = 5;
  void* seenUserData = nullptr;
  synth.registerTriggerOnCallback(
      [&](SynthVoice*, int, int, void* ud) {
        seenUserData = ud;
        return allowOn;
      },
      &token);
  synth.registerTriggerOffCallback([&](int, void*) { return allowOff; });

  auto* v = static_cast<CountingVoice*>(synth.getFreeVoice());
  EXPECT_EQ(synth.triggerOn(v), -1);
  EXPECT_EQ(seenUserData, &token);
  EXPECT_FALSE(v->active());
  EXPECT_EQ(v->triggerOns, 0);
  synth.render(io);
  EXPECT_EQ(countList(synth.getActiveVoices()), 0);

  allowOn = true;
  int voiceData = 0;
  const int id = synth.triggerOn(v, 0, -1, &voiceData);
  EXPECT_EQ(v->userData(), &voiceData);
  synth.render(io);
  synth.triggerOff(id);  // refused
  synth.render(io);
  EXPECT_EQ(v->triggerOffs, 0);
  allowOff = true;
  synth.triggerOff(id);
  synth.render(io);
  EXPECT_EQ(v->triggerOffs, 1);
}

TEST(PolySynthRender, GainProcessorsAndDirectRendering) {
  struct Halve : AudioCallback {
    void onAudioCB(AudioIOData& io) override {
      while (io()) io.out(0) *= 0.5f;
    }
  } halve;
  PolySynth synth;
  synth.allocatePolyphony<CountingVoice>(1);
  synth.gain(0.5f);
  synth.appendProcessor(halve);
  AudioIOData io = makeBlock(2);
  synth.triggerOn(synth.getFreeVoice(), 10);
  synth.render(io);
  EXPECT_FLOAT_EQ(io.out(0, 10), 0.25f);
  EXPECT_FLOAT_EQ(io.out(1, 10), 0.5f);
  EXPECT_EQ(io.out(0, 9), 0.0f);

  // Without per-voice buffers the voice writes into the block itself (replacing, here).
  PolySynth direct;
  direct.renderInVoiceBuffers(false);
  direct.allocatePolyphony<CountingVoice>(1);
  direct.triggerOn(direct.getFreeVoice());
  for (int f = 0; f < 512; ++f) io.out(0, f) = 3.0f;
  direct.render(io);
  EXPECT_EQ(io.out(0, 0), 1.0f);
}

TEST(PolySynthRender, PerVoiceBuffersAddUpAndReachTheBuses) {
  PolySynth synth;
  synth.setVoiceBusChannels(1);
  synth.allocatePolyphony<CountingVoice>(2);
  AudioIOData io = makeBlock(2, 512, 0);
  testing::internal::CaptureStdout();
  synth.prepare(io);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "WARNING: You don't have enough buses in AudioIO object. This is likely to crash.\n");
  io.channelsBus(1);
  synth.triggerOn(synth.getFreeVoice());
  synth.triggerOn(synth.getFreeVoice());
  for (int f = 0; f < 512; ++f) io.out(0, f) = 1.0f;
  synth.render(io);
  EXPECT_FLOAT_EQ(io.out(0, 0), 3.0f);  // what was there plus two voices
}

TEST(PolySynthClock, ClockThreadDoesTheBookkeeping) {
  PolySynth synth(TIME_MASTER_CPU);
  synth.allocatePolyphony<CountingVoice>(1);
  auto* v = static_cast<CountingVoice*>(synth.getFreeVoice());
  const int id = synth.triggerOn(v);
  EXPECT_TRUE(waitFor([&] { return synth.getActiveVoices() == v; }));
  synth.triggerOff(id);
  EXPECT_TRUE(waitFor([&] { return v->triggerOffs == 1; }));
  synth.triggerFree(id);
  EXPECT_TRUE(waitFor([&] { return freeHead(synth) == v; }));
  EXPECT_EQ(v->frees, 1);
  // Leaving the clock mode stops the thread: nothing moves any more.
  synth.setTimeMaster(TIME_MASTER_UPDATE);
  synth.triggerOn(synth.getFreeVoice());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(synth.getActiveVoices(), nullptr);
  synth.update();
  EXPECT_EQ(synth.getActiveVoices(), v);
}

TEST(SynthVoiceTriggerValues, FloatFieldAndArrayForms) {
  CountingVoice v;
  Parameter second{"second", "", 0.0f, "", -10.0f, 10.0f};
  ParameterString text{"text"};
  v.registerTriggerParameter(second).registerTriggerParameter(text);
  int calls = 0;
  second.registerChangeCallback([&](float) { ++calls; });

  EXPECT_FALSE(v.setTriggerParams(std::vector<float>{1.0f, 2.0f}));
  EXPECT_TRUE(v.setTriggerParams(std::vector<float>{0.5f, 20.0f, 3.0f}, true));
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(second.get(), 10.0f);  // clamped, quietly
  EXPECT_TRUE(v.setTriggerParams(std::vector<float>{0.5f, 2.0f, 3.0f}));
  EXPECT_EQ(calls, 1);

  const float values[] = {0.25f, -1.0f, 7.0f};
  EXPECT_FALSE(v.setTriggerParams(values, 2));
  EXPECT_TRUE(v.setTriggerParams(values, 3));
  EXPECT_EQ(v.amp.get(), 0.25f);
  EXPECT_EQ(second.get(), -1.0f);

  EXPECT_TRUE(v.setTriggerParams(std::vector<ParameterField>{2.0f, 4, std::string("hello")}));
  EXPECT_EQ(second.get(), 4.0f);
  EXPECT_EQ(text.get(), "hello");
  float out[8];
  // The text does not read as a number; it comes out as 0 rather than throwing.
  ASSERT_EQ(v.getTriggerParams(out, 8), 3);
  EXPECT_EQ(out[2], 0.0f);
  EXPECT_EQ(v.getTriggerParams(out, 1), 1);
}

TEST(SynthVoiceTriggerValues, PositionedVoiceCarriesPoseAndSize) {
  CountingVoice v;  // one trigger parameter, "amp"
  const float placed[] = {0.5f, 1, 2, 3, 0, 1, 0, 0, 2.5f};
  EXPECT_TRUE(v.setTriggerParams(placed, 9));
  EXPECT_EQ(v.pose().pos(), (Vec3d{1, 2, 3}));
  EXPECT_EQ(v.pose().quat(), (Quatd{0, 1, 0, 0}));
  EXPECT_EQ(v.size(), 2.5f);
  // The array form places the voice only with exactly 8 values after the parameters.
  const float extra[] = {0.5f, 9, 9, 9, 1, 0, 0, 0, 1, 99};
  EXPECT_TRUE(v.setTriggerParams(extra, 10));
  EXPECT_EQ(v.pose().pos(), (Vec3d{1, 2, 3}));
  // The vector form takes them whenever they are there.
  EXPECT_TRUE(v.setTriggerParams(std::vector<float>(extra, extra + 10)));
  EXPECT_EQ(v.pose().pos(), (Vec3d{9, 9, 9}));

  std::vector<ParameterField> fields = v.getTriggerParams();
  ASSERT_EQ(fields.size(), 9u);
  EXPECT_EQ(fields[1].get<float>(), 9.0f);
  EXPECT_EQ(fields[8].get<float>(), 1.0f);
  fields[3] = ParameterField(-4.0f);
  CountingVoice other;
  EXPECT_TRUE(other.setTriggerParams(fields));
  EXPECT_EQ(other.pose().pos(), (Vec3d{9, 9, -4}));
}
