#pragma once

// Lets a SynthSequencer play the voices of a PolySynth. Built only where the polyphonic synth
// is part of the tree.

#if __has_include("sound/vl_PolySynth.hpp")

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "sound/vl_AudioIOData.hpp"
#include "sound/vl_PolySynth.hpp"
#include "ui/vl_SynthSequencer.hpp"

namespace vl {

// Voices are taken, set up and prepared off the audio thread; triggerOn() and tryTriggerOff()
// are the audio thread's part and never wait or allocate. A handle names a slot of a table
// that only grows (by whole chunks, never moved), so the audio thread reads it without a lock.
class PolySynthVoicePool : public SynthSequencerVoicePool {
 public:
  explicit PolySynthVoicePool(PolySynth& synth);
  ~PolySynthVoicePool() override;

  int takeVoice(const std::string& type) override;
  bool setVoiceFields(int voice, const std::vector<ParameterField>& fields) override;
  // A refused voice goes back to the synth's free list, and the handle is void.
  bool prepareTrigger(int voice, int& id) override;
  int triggerOn(int voice, int offsetFrames, int id) override;
  bool prepareTriggerOff(int id) override { return mSynth.prepareTriggerOff(id); }
  bool tryTriggerOff(int id) override { return mSynth.tryTriggerOff(id); }
  void triggerOff(int id) override { mSynth.triggerOff(id); }
  void giveBack(int voice) override;

  PolySynth& synth() { return mSynth; }

 private:
  static constexpr int kChunkSlots = 256;
  static constexpr int kChunks = 256;
  using Chunk = std::array<std::atomic<SynthVoice*>, kChunkSlots>;

  std::atomic<SynthVoice*>* slot(int voice);
  // Takes the voice out of its slot; null for an unknown or empty handle.
  SynthVoice* release(int voice);

  PolySynth& mSynth;
  std::mutex mTakeLock;  // takers only; the audio thread just empties slots
  std::array<std::atomic<Chunk*>, kChunks> mChunks{};
  int mCursor = 0;
};

// One audio block in TIME_MASTER_AUDIO mode: the sequencer's time advances by the block and
// its prepared voices start at their frames, then the synth renders its voices into io.
void renderSynthSequence(SynthSequencer& sequencer, PolySynth& synth, AudioIOData& io);

}  // namespace vl

#endif
