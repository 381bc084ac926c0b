#include "sound/vl_VoiceMixer.hpp"

#include <algorithm>

namespace vl {

void VoiceMixer::channels(int outputs, int inputs, int buses) {
  mOutputs = outputs;
  mInputs = inputs;
  mBuses = buses;
  mPrepared = false;
}

bool VoiceMixer::prepare(const AudioIOData& io) {
  mBuffer.framesPerSecond(io.framesPerSecond());
  mBuffer.framesPerBuffer(io.framesPerBuffer());
  mBuffer.channels(mOutputs, true);
  mBuffer.channels(mInputs, false);
  mBuffer.channelsBus(mBuses);
  mPrepared = true;
  return io.channelsBus() >= mBuses;
}

bool VoiceMixer::startsInBlock(SynthVoice& voice, int framesPerBuffer, int& start) {
  start = voice.getStartOffsetFrames(framesPerBuffer);
  if (start >= framesPerBuffer) return false;
  const int end = voice.getEndOffsetFrames(framesPerBuffer);
  if (end >= 1 && end <= framesPerBuffer) voice.onTriggerOff();
  return true;
}

void VoiceMixer::render(SynthVoice& voice, int start) {
  mBuffer.zeroOut();
  mBuffer.zeroBus();
  mBuffer.frame(start - 1);
  voice.onProcessAudio(mBuffer);
}

void VoiceMixer::mix(AudioIOData& io, int numOutputs, bool buses) {
  const int frames = std::min(io.framesPerBuffer(), mBuffer.framesPerBuffer());
  const int outs = std::min({numOutputs, mBuffer.channelsOut(), io.channelsOut()});
  for (int c = 0; c < outs; ++c) {
    const float* src = mBuffer.outBuffer(c);
    float* dst = io.outBuffer(c);
    for (int f = 0; f < frames; ++f) dst[f] += src[f];
  }
  if (!buses) return;
  const int busCount = std::min(mBuffer.channelsBus(), io.channelsBus());
  for (int c = 0; c < busCount; ++c) {
    const float* src = mBuffer.busBuffer(c);
    float* dst = io.busBuffer(c);
    for (int f = 0; f < frames; ++f) dst[f] += src[f];
  }
}

void VoiceMixer::applyGain(AudioIOData& io, float gain) {
  if (gain == 1.0f) return;
  for (int c = 0; c < io.channelsOut(); ++c) {
    float* out = io.outBuffer(c);
    for (int f = 0; f < io.framesPerBuffer(); ++f) out[f] *= gain;
  }
}

}  // namespace vl
