#include "sound/vl_AudioIO.hpp"

#include <RtAudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

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

  // Serialises the stream calls of the owner's threads and of the watch.
  std::mutex streamMutex;

  std::atomic<bool> reopen{false};
  std::atomic<double> retrySeconds{2.0};
  std::mutex watchControl;  // starting and joining the watch
  std::thread watch;
  std::mutex watchMutex;
  std::condition_variable watchWake;
  bool watchQuit = false;
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
  std::lock_guard<std::mutex> lock(mBackend->streamMutex);
  return openLocked(true);
}

bool AudioIO::openLocked(bool report) {
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
    if (report) printError(e);
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
  bool ok;
  {
    std::lock_guard<std::mutex> lock(mBackend->streamMutex);
    ok = startLocked(true);
  }
  if (ok && mBackend->reopen) startWatch();
  return ok;
}

bool AudioIO::startLocked(bool report) {
  if (!isOpen() && !openLocked(report)) return false;
  if (isRunning()) return true;
  try {
    mBackend->rt->startStream();
  } catch (RtAudioError& e) {
    if (report) printError(e);
    return false;
  }
  return true;
}

bool AudioIO::stop() {
  // The watch goes first: it would otherwise start again what is being stopped.
  stopWatch();
  std::lock_guard<std::mutex> lock(mBackend->streamMutex);
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
  std::lock_guard<std::mutex> lock(mBackend->streamMutex);
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

void AudioIO::reopenWhenLost(bool on, double retrySeconds) {
  mBackend->retrySeconds = std::max(retrySeconds, 0.01);
  mBackend->reopen = on;
  if (!on) {
    stopWatch();
  } else if (isRunning()) {
    startWatch();
  }
}

bool AudioIO::reopenWhenLost() const {
  return mBackend->reopen;
}

void AudioIO::startWatch() {
  Backend& b = *mBackend;
  std::lock_guard<std::mutex> control(b.watchControl);
  if (b.watch.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(b.watchMutex);
    b.watchQuit = false;
  }
  b.watch = std::thread([this] { watchLoop(); });
}

void AudioIO::stopWatch() {
  Backend& b = *mBackend;
  std::lock_guard<std::mutex> control(b.watchControl);
  if (!b.watch.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(b.watchMutex);
    b.watchQuit = true;
  }
  b.watchWake.notify_all();
  b.watch.join();
}

void AudioIO::watchLoop() {
  using Clock = std::chrono::steady_clock;
  Backend& b = *mBackend;
  // A loss is noticed within a poll; the device is tried again every retry period after it.
  const auto poll = std::chrono::milliseconds(100);
  const std::string name = mOutDevice.valid() ? mOutDevice.name() : mInDevice.name();
  bool lost = false;
  Clock::time_point lostAt, nextTry;
  std::unique_lock<std::mutex> lock(b.watchMutex);
  while (!b.watchWake.wait_for(lock, poll, [&] { return b.watchQuit; })) {
    lock.unlock();
    const auto now = Clock::now();
    const auto retry = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(b.retrySeconds.load()));
    if (!lost && !isRunning()) {
      lost = true;
      lostAt = now;
      nextTry = now + retry;
      vl::print("Audio device \"%s\" lost; trying it again every %g s\n", name.c_str(),
                b.retrySeconds.load());
    }
    if (lost && now >= nextTry) {
      bool back;
      {
        std::lock_guard<std::mutex> stream(b.streamMutex);
        back = reopenLocked();
      }
      if (back) {
        lost = false;
        vl::print("Audio device \"%s\" back after %.1f s\n", name.c_str(),
                  std::chrono::duration<double>(Clock::now() - lostAt).count());
      } else {
        nextTry = Clock::now() + retry;
      }
    }
    lock.lock();
  }
}

bool AudioIO::reopenLocked() {
  Backend& b = *mBackend;
  if (!b.rt) return false;
  if (isOpen()) {
    // Left open but stopped: close it so that it is opened afresh on the device as it is now.
    try {
      b.rt->closeStream();
    } catch (RtAudioError&) {
    }
  }
  // Device numbers follow what the back end finds now, so the device is looked up by name.
  auto findByName = [&](const AudioDevice& wanted, unsigned current) {
    if (!wanted.valid()) return current;
    try {
      const unsigned n = b.rt->getDeviceCount();
      for (unsigned i = 0; i < n; ++i) {
        if (b.rt->getDeviceInfo(i).name == wanted.name()) return i;
      }
    } catch (RtAudioError&) {
    }
    return current;
  };
  b.outParams.deviceId = findByName(mOutDevice, b.outParams.deviceId);
  b.inParams.deviceId = findByName(mInDevice, b.inParams.deviceId);
  if (startLocked(false)) return true;
  if (isOpen()) {
    try {
      b.rt->closeStream();
    } catch (RtAudioError&) {
    }
  }
  return false;
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
