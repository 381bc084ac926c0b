#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/vl_ParameterField.hpp"
#include "ui/vl_ParameterMeta.hpp"

namespace vl {

class AudioIOData;
class Graphics;
class PolySynth;

// One voice of a polyphonic synth. A voice lives on one of the synth's lists (free, pending,
// active); the synth threads those lists through the voices themselves, so moving a voice
// between them never allocates. Subclasses render in onProcessAudio(), draw in
// onProcessGraphics(), step their state in update() and react to the trigger hooks.
//
// Threads: onProcessAudio() runs on the audio thread; update() and onProcessGraphics() on the
// thread that drives the synth's graphics and update passes; onTriggerOff() and onFree() on the
// synth's bookkeeping thread, which may be another one than the audio thread, so keep them short.
class SynthVoice {
 public:
  SynthVoice() = default;
  virtual ~SynthVoice() = default;
  SynthVoice(const SynthVoice&) = delete;
  SynthVoice& operator=(const SynthVoice&) = delete;

  // Trigger values, one per trigger parameter in registration order. All setters refuse (false,
  // nothing changed) when given fewer values than there are trigger parameters.
  // Fields go by their type: texts through the parameter's field setter, numbers as floats.
  virtual bool setTriggerParams(const std::vector<ParameterField>& fields);
  // With noCalls the values are stored without running change callbacks.
  virtual bool setTriggerParams(const std::vector<float>& values, bool noCalls = false);
  virtual bool setTriggerParams(const float* values, int numValues);
  virtual std::vector<ParameterField> getTriggerParams();
  // Writes at most capacity values; returns how many were written. A text that does not read
  // as a number is written as 0.
  virtual int getTriggerParams(float* values, int capacity);

  virtual void onProcessGraphics(Graphics& g) { (void)g; }
  // Renders from the buffer's current frame + 1 (the frame where the voice starts) to the end.
  virtual void onProcessAudio(AudioIOData& io) { (void)io; }
  virtual void update(double dt) { (void)dt; }
  // Runs once when the synth creates the voice.
  virtual void init() {}
  virtual void onTriggerOn() {}
  virtual void onTriggerOff() {}
  virtual void onFree() {}

  virtual SynthVoice& registerTriggerParameter(ParameterMeta& param);
  virtual SynthVoice& registerParameter(ParameterMeta& param);

  // Runs off the audio thread before the voice is started: with the synth sequencer in audio
  // time, ahead of the event, while onTriggerOn() runs at the start itself. Work that may load
  // a file, allocate or wait (a preset recall) belongs here.
  virtual void onTriggerPrepare() {}

  const std::vector<ParameterMeta*>& triggerParameters() const { return mTriggerParams; }
  const std::vector<ParameterMeta*>& parameters() const { return mParameters; }

  int id() const { return mId.load(std::memory_order_acquire); }
  void id(int idValue) { mId.store(idValue, std::memory_order_release); }
  bool active() const { return mActive.load(std::memory_order_acquire); }
  // A voice that has finished sounding calls free(); the synth returns it to the free list.
  void free() { mActive.store(false, std::memory_order_release); }

  // Marks the voice active and starts it offsetFrames into the coming buffers.
  void triggerOn(int offsetFrames = 0);
  // With offset 0 the voice is turned off at once (onTriggerOff() runs now); otherwise the
  // synth runs onTriggerOff() at the start of the buffer in which the offset falls.
  void triggerOff(int offsetFrames = 0);

  // The frames before the voice starts in a buffer of the given length; each call consumes one
  // buffer, so the value left for the next buffer is reduced by framesPerBuffer (not below 0).
  int getStartOffsetFrames(int framesPerBuffer);
  // Likewise for the turn-off offset.
  int getEndOffsetFrames(int framesPerBuffer);

  void* userData() const { return mUserData; }
  void userData(void* data) { mUserData = data; }

  unsigned int numOutChannels() const { return mNumOutChannels; }
  void setNumOutChannels(unsigned int n) { mNumOutChannels = n; }

  // The demangled dynamic class name (without any "class " prefix).
  std::string typeName() const;

 protected:
  // Sets one parameter from a float, quietly when asked.
  static void setFromFloat(ParameterMeta& param, float value, bool quiet);

  std::atomic<SynthVoice*> mNext{nullptr};  // the synth's list this voice is on
  std::vector<ParameterMeta*> mTriggerParams;
  std::vector<ParameterMeta*> mParameters;
  std::atomic<int> mId{-1};
  std::atomic<bool> mActive{false};
  std::atomic<int> mOnOffsetFrames{0};
  std::atomic<int> mOffOffsetFrames{0};
  void* mUserData = nullptr;
  unsigned int mNumOutChannels = 1;

 private:
  friend class PolySynth;
  friend class VoiceLists;

  // Synth bookkeeping: which list of the synth holds the voice (none while a caller has it;
  // prepared once its trigger work has run and it waits to be started), the name it was
  // created under, and the chain of voices taken off the active list whose return to the free
  // list waits for the audio pass to move on.
  enum class ListState : uint8_t { kNone, kPrepared, kFree, kPending, kActive, kRetired };
  std::atomic<ListState> mListState{ListState::kNone};
  std::string mRegisteredName;
  SynthVoice* mNextRetired = nullptr;
};

}  // namespace vl
