#pragma once

// Voices for the synth and scene tests: they write a known signal and count their hooks.

#include <atomic>

#include "sound/vl_AudioIOData.hpp"
#include "sound/vl_PolySynth.hpp"
#include "sound/vl_PositionedVoice.hpp"
#include "ui/vl_Parameter.hpp"

namespace synthtest {

// Writes "amp" on every output channel from its start frame to the end of the block. After a
// turn-off it sounds for releaseBlocks more blocks (0: stops at once) and then frees itself.
class CountingVoice : public vl::PositionedVoice {
 public:
  CountingVoice() {
    registerTriggerParameter(amp);
    setNumOutChannels(2);
  }

  void onProcessAudio(vl::AudioIOData& io) override {
    renders.fetch_add(1);
    if (released.load()) {
      if (releaseLeft.fetch_sub(1) <= 0) {
        free();
        return;
      }
    }
    const float a = amp.get();
    const int first = io.frame() + 1;
    for (int c = 0; c < io.channelsOut(); ++c) {
      for (int f = first; f < io.framesPerBuffer(); ++f) io.out(c, f) = a;
    }
  }
  void onTriggerOn() override {
    triggerOns.fetch_add(1);
    released.store(false);
    releaseLeft.store(releaseBlocks);
  }
  void onTriggerOff() override {
    triggerOffs.fetch_add(1);
    released.store(true);
  }
  void onFree() override { frees.fetch_add(1); }

  vl::Parameter amp{"amp", "", 1.0f, "", 0.0f, 10.0f};
  int releaseBlocks = 0;
  std::atomic<int> renders{0}, triggerOns{0}, triggerOffs{0}, frees{0};
  std::atomic<bool> released{false};
  std::atomic<int> releaseLeft{0};
};

// A voice whose class name differs from the name it is registered under.
class OtherVoice : public CountingVoice {};

inline vl::AudioIOData makeBlock(int outputs, int frames = 512, int buses = 0) {
  vl::AudioIOData io;
  io.framesPerBuffer(frames);
  io.channels(outputs, true);
  io.channelsBus(buses);
  return io;
}

// Length of a voice list.
inline int countList(vl::SynthVoice* v) {
  int n = 0;
  for (; v; v = vl::PolySynth::nextVoice(v)) ++n;
  return n;
}

// First frame of channel c holding a non-zero sample, or -1.
inline int firstSounding(vl::AudioIOData& io, int c) {
  for (int f = 0; f < io.framesPerBuffer(); ++f) {
    if (io.out(c, f) != 0.0f) return f;
  }
  return -1;
}

}  // namespace synthtest
