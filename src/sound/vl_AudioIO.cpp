#include "sound/vl_AudioIO.hpp"

#include <RtAudio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "core/vl_Console.hpp"
#include "dsp/ScopedFlushDenormals.hpp"

namespace vl {

namespace {
// The back end's own message, written through C stdio: the back end's notices from the JACK
// thread can leave std::cerr in a failed state when the server goes away, which would
// silence every later message printed through it.
void printError(const RtAudioError& e) {
  vl::printError("\n%s\n\n", e.getMessage().c_str());
}
}  // namespace

struct AudioIO::Backend {
  std::unique_ptr<RtAudio> rt;
  RtAudio::StreamParameters outParams, inParams;
  // Underflows seen by the device thread, reported from the main thread when the stream stops.
  std::atomic<unsigned> underflows{0};
  // Every underflow since the object was made, for a program's summary at exit.
  std::atomic<unsigned long> totalUnderflows{0};
};

AudioIO::AudioIO() : mBackend(std::make_shared<Backend>()) {
  try {
    mBackend->rt = std::make_unique<RtAudio>(static_cast<RtAudio::Api>(AudioDevice::backEndApi()));
  } catch (RtAudioError& e) {
    printError(e);
  }
  mBackend->outParams.deviceId = static_cast<unsigned>(mOutDevice.id());
  mBackend->inParams.deviceId = static_cast<unsigned>(mInDevice.id());
  mBackend->outParams.nChannels = mBackend->inParams.nChannels = 0;
}

AudioIO::~AudioIO() {
  close();
}

void AudioIO::warn(const char* msg) const {
  vl::printError("%s%swarning: %s\n", "AudioIO", " ", msg);
}

void AudioIO::remove(AudioCallback& cb) {
  mAudioCallbacks.erase(std::remove(mAudioCallbacks.begin(), mAudioCallbacks.end(), &cb),
                        mAudioCallbacks.end());
}

void AudioIO::deviceIn(const AudioDevice& dev) {
  mInDevice = dev;
  auto& p = mBackend->inParams;
  p.deviceId = static_cast<unsigned>(dev.id());
  p.firstChannel = 0;
  if (p.nChannels == 0) p.nChannels = static_cast<unsigned>(dev.channelsInMax());
}

void AudioIO::deviceOut(const AudioDevice& dev) {
  mOutDevice = dev;
  auto& p = mBackend->outParams;
  p.deviceId = static_cast<unsigned>(dev.id());
  p.firstChannel = 0;
  if (p.nChannels == 0) p.nChannels = static_cast<unsigned>(dev.channelsOutMax());
}

void AudioIO::channels(int num, bool forOutput) {
  if (isOpen()) {
    warn("the number of channels cannnot be set with the stream open");
    return;
  }
  const AudioDevice& dev = forOutput ? mOutDevice : mInDevice;
  if (dev.valid()) {
    const int most = forOutput ? dev.channelsOutMax() : dev.channelsInMax();
    if (num < 0 || num > most) num = most;
    (forOutput ? mBackend->outParams : mBackend->inParams).nChannels = static_cast<unsigned>(num);
  } else {
    warn(forOutput ? "attempt to set number of channels on invalid output device"
                   : "attempt to set number of channels on invalid input device");
  }
  AudioIOData::channels(num, forOutput);
}

void AudioIO::channelsBus(int num) {
  if (isOpen()) {
    warn("the number of channels cannnot be set with the stream open");
    return;
  }
  AudioIOData::channelsBus(num);
}

void AudioIO::framesPerBuffer(int n) {
  if (isOpen()) {
    warn("the number of frames/buffer cannnot be set with the stream open");
    return;
  }
  AudioIOData::framesPerBuffer(n);
}

void AudioIO::framesPerSecond(double v) {
  // A running stream keeps the rate it was opened with.
  if (isOpen() && v != mFramesPerSecond) {
    warn("the sample rate cannot be set with the stream open");
    return;
  }
  AudioIOData::framesPerSecond(v);
}

int AudioIO::channelsInDevice() const {
  return static_cast<int>(mBackend->inParams.nChannels);
}
int AudioIO::channelsOutDevice() const {
  return static_cast<int>(mBackend->outParams.nChannels);
}

bool AudioIO::isOpen() const {
  return mBackend->rt && mBackend->rt->isStreamOpen();
}
bool AudioIO::isRunning() const {
  return isOpen() && mBackend->rt->isStreamRunning();
}
double AudioIO::time() const {
  return isOpen() ? mBackend->rt->getStreamTime() : 0.0;
}

bool AudioIO::open() {
  if (isOpen()) return true;
  Backend& b = *mBackend;
  if (!b.rt) return false;
  unsigned int frames = static_cast<unsigned int>(mFramesPerBuffer);
  try {
    b.rt->openStream(b.outParams.nChannels > 0 ? &b.outParams : nullptr,
                     b.inParams.nChannels > 0 ? &b.inParams : nullptr, RTAUDIO_FLOAT32,
                     static_cast<unsigned int>(mFramesPerSecond), &frames, &AudioIO::blockCallback,
                     this);
  } catch (RtAudioError& e) {
    printError(e);
    return false;
  }
  if (frames != static_cast<unsigned int>(mFramesPerBuffer)) {
    vl::print("WARNING: Device opened with buffer size: %d\n", static_cast<int>(frames));
    resizeBuffers(static_cast<int>(frames));
  }
  b.underflows = 0;
  return true;
}

bool AudioIO::start() {
  if (!isOpen() && !open()) return false;
  if (isRunning()) return true;
  try {
    mBackend->rt->startStream();
  } catch (RtAudioError& e) {
    printError(e);
    return false;
  }
  return true;
}

bool AudioIO::stop() {
  bool ok = true;
  // The back end closes the stream by itself when the server goes away, so every call is
  // guarded by the stream's current state.
  if (isRunning()) {
    try {
      mBackend->rt->stopStream();
    } catch (RtAudioError& e) {
      printError(e);
      ok = false;
    }
  }
  if (unsigned n = mBackend->underflows.exchange(0)) {
    vl::print("Stream underflow detected! (%u blocks)\n", n);
  }
  return ok;
}

bool AudioIO::close() {
  bool ok = stop();
  if (isOpen()) {
    try {
      mBackend->rt->closeStream();
    } catch (RtAudioError& e) {
      printError(e);
      ok = false;
    }
  }
  return ok;
}

unsigned long AudioIO::underflowCount() const {
  return mBackend->totalUnderflows.load(std::memory_order_relaxed);
}

void AudioIO::print() const {
  if (mInDevice.id() != mOutDevice.id() || mInDevice.valid() != mOutDevice.valid()) {
    vl::print("Device In:   %s", mInDevice.line().c_str());
    vl::print("Device Out:  %s", mOutDevice.line().c_str());
  } else {
    vl::print("I/O Device:  %s", mOutDevice.line().c_str());
  }
  vl::print("Chans In:    %d (%dD + %dV)\n", channelsIn(), channelsInDevice(),
            channelsIn() - channelsInDevice());
  vl::print("Chans Out:   %d (%dD + %dV)\n", channelsOut(), channelsOutDevice(),
            channelsOut() - channelsOutDevice());
  vl::print("Frames/Buf:  %d\n", framesPerBuffer());
}

int AudioIO::blockCallback(void* output, void* input, unsigned int frames, double,
                           unsigned int status, void* user) {
  // Decaying feedback paths (reverbs, combs) would otherwise stall the device thread.
  snl::ScopedFlushDenormals flush;
  static_cast<AudioIO*>(user)->processBlock(static_cast<float*>(output),
                                            static_cast<const float*>(input), frames, status);
  return 0;
}

void AudioIO::processBlock(float* devBuf, const float* in, unsigned int frames,
                           unsigned int status) {
  const int devOut = channelsOutDevice();
  const int devIn = channelsInDevice();
  if (static_cast<int>(frames) != mFramesPerBuffer) {
    // The buffers were sized for another block length: play silence rather than overrun them.
    if (devBuf) std::fill(devBuf, devBuf + static_cast<std::size_t>(frames) * devOut, 0.0f);
    return;
  }
  if (status) {
    mBackend->underflows.fetch_add(1, std::memory_order_relaxed);
    mBackend->totalUnderflows.fetch_add(1, std::memory_order_relaxed);
  }
  const int n = mFramesPerBuffer;

  if (in && mNumI > 0) {
    const int copied = std::min(devIn, mNumI);
    for (int k = 0; k < copied; ++k) {
      float* dst = inBuffer(k);
      for (int f = 0; f < n; ++f) dst[f] = in[f * devIn + k];
    }
    if (copied < mNumI) std::fill(inBuffer(copied), inBuffer(0) + mNumI * n, 0.0f);
  }
  if (mAutoZeroOut) zeroOut();

  mFrame = -1;
  if (mCallback) mCallback(*this);
  for (AudioCallback* cb : mAudioCallbacks) {
    mFrame = -1;
    cb->onAudioCB(*this);
  }

  conditionOutput(mZeroNANs, mClipOut);

  if (devBuf) {
    for (int f = 0; f < n; ++f) {
      for (int k = 0; k < devOut; ++k) devBuf[f * devOut + k] = k < mNumO ? out(k, f) : 0.0f;
    }
  }
}

}  // namespace vl
