#include "sound/vl_AudioDomain.hpp"

#include <algorithm>

namespace vl {

AudioDomain::AudioDomain() {
  mAudioIO.user(this);
  mAudioIO.callback(&AudioDomain::forward);
}

AudioDomain::~AudioDomain() {
  mAudioIO.close();
}

void AudioDomain::forward(AudioIOData& io) {
  auto* domain = static_cast<AudioDomain*>(io.user());
  if (domain->audioCallback) domain->audioCallback(io);
}

bool AudioDomain::init(ComputationDomain* parent) {
  return ComputationDomain::init(parent);
}

bool AudioDomain::cleanup(ComputationDomain* parent) {
  bool ok = mAudioIO.close();
  return ComputationDomain::cleanup(parent) && ok;
}

bool AudioDomain::start() {
  bool ok = mAudioIO.open();
  if (ok) {
    audioRateChanged(mAudioIO.framesPerSecond());
    ok = mAudioIO.start();
  }
  if (ok) runCallbacks(mStartCallbacks);
  return ok;
}

bool AudioDomain::stop() {
  bool ok = mAudioIO.stop();
  ok = mAudioIO.close() && ok;
  runCallbacks(mStopCallbacks);
  return ok;
}

void AudioDomain::configure(const AudioDevice& dev, double audioRate, int framesPerBuffer,
                            int outChans, int inChans) {
  if (audioRate < 0.0) audioRate = dev.valid() ? dev.defaultSampleRate() : 44100.0;
  mAudioIO.framesPerSecond(audioRate);
  mAudioIO.framesPerBuffer(framesPerBuffer);
  mAudioIO.deviceIn(dev);
  mAudioIO.deviceOut(dev);
  mAudioIO.channelsOut(outChans);
  mAudioIO.channelsIn(inChans);
}

void AudioDomain::gain(float g) {
  mGain = std::clamp(g, 0.0f, 2.0f);
  mAudioIO.gain(mGain);
}

}  // namespace vl
