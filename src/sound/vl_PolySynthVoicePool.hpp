#pragma once

// Lets a SynthSequencer play the voices of a PolySynth. Built only where the polyphonic synth
// is part of the tree.

#if __has_include("sound/vl_PolySynth.hpp")

#include <mutex>
#include <vector>

#include "sound/vl_AudioIOData.hpp"
#include "sound/vl_PolySynth.hpp"
#include "ui/vl_SynthSequencer.hpp"

namespace vl {

class PolySynthVoicePool : public SynthSequencerVoicePool {
 public:
  explicit PolySynthVoicePool(PolySynth& synth);

  int takeVoice(const std::string& type) override;
  bool setVoiceFields(int voice, const std::vector<ParameterField>& fields) override;
  int triggerOn(int voice, int offsetFrames, int id) override;
  void triggerOff(int id) override { mSynth.triggerOff(id); }
  void giveBack(int voice) override;

  PolySynth& synth() { return mSynth; }

 private:
  // Takes the voice out of the handle table; null for an unknown handle.
  SynthVoice* release(int voice);

  PolySynth& mSynth;
  std::mutex mLock;
  // Handles index the slots; freed slots are reused, so that taking and triggering a voice
  // in an audio block does not allocate once the table has grown to the score's needs.
  std::vector<SynthVoice*> mSlots;
  std::vector<int> mFreeSlots;
};

// One audio block in TIME_MASTER_AUDIO mode: the sequencer's time advances by the block and
// its events are processed, then the synth renders its voices into io.
void renderSynthSequence(SynthSequencer& sequencer, PolySynth& synth, AudioIOData& io);

}  // namespace vl

#endif
