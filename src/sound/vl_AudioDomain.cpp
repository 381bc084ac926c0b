#include "sound/vl_AudioDomain.hpp"

#include <algorithm>
#include <cstdio>

#include "core/vl_Console.hpp"

namespace vl {

AudioDomain::AudioDomain() {
  mAudioIO.user(this);
  mAudioIO.callback(&AudioDomain::forward);
  mGainParameter.registerChangeCallback([this](float g) { mAudioIO.gain(g); });
  registerParameter(mGainParameter);
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
    if (audioPrepare) audioPrepare(mAudioIO);
    ok = mAudioIO.start();
  }
  mRunning = ok;
  if (ok) runCallbacks(mStartCallbacks);
  if (!ok && continueWithoutDevice) {
    vl::printError("WARNING: audio device not started, continuing without sound\n");
    return true;
  }
  return ok;
}

void AudioDomain::audioRateChanged(double framesPerSecond) {
  snl::Domain::master().setSampleRate(framesPerSecond);
}

void SonelAudioDomain::audioRateChanged(double framesPerSecond) {
  setSampleRate(framesPerSecond);
  AudioDomain::audioRateChanged(framesPerSecond);
}

bool AudioDomain::stop() {
  mRunning = false;
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

}  // namespace vl
