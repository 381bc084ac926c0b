#pragma once

#include "sound/vl_AudioIOData.hpp"
#include "sound/vl_SynthVoice.hpp"

namespace vl {

// Renders voices one at a time into a buffer of their own and mixes that buffer into the
// block. The buffer is sized by prepare(), off the audio thread, when audio starts.
class VoiceMixer {
 public:
  // The voice buffer's channel counts; the buffer must be prepared again afterwards.
  void channels(int outputs, int inputs, int buses);
  // Sizes the voice buffer for io's blocks. False when io has fewer buses than the voices use.
  bool prepare(const AudioIOData& io);
  bool preparedFor(const AudioIOData& io) const {
    return mPrepared && mBuffer.framesPerBuffer() == io.framesPerBuffer();
  }

  AudioIOData& buffer() { return mBuffer; }

  // Consumes one block of the voice's offsets; false when the voice does not sound in this
  // block. Runs onTriggerOff() when the turn-off offset falls in this block.
  static bool startsInBlock(SynthVoice& voice, int framesPerBuffer, int& start);
  // Renders the voice alone into the buffer (cleared first), starting at frame start.
  void render(SynthVoice& voice, int start);
  // Adds the buffer's outputs (up to numOutputs) and, when asked, its buses into io.
  void mix(AudioIOData& io, int numOutputs, bool buses);
  static void applyGain(AudioIOData& io, float gain);

 private:
  AudioIOData mBuffer;
  int mOutputs = 2;
  int mInputs = 0;
  int mBuses = 0;
  bool mPrepared = false;
};

}  // namespace vl
