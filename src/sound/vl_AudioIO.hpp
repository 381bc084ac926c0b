#pragma once

#include <memory>
#include <vector>

#include "sound/vl_AudioDevice.hpp"
#include "sound/vl_AudioIOData.hpp"

namespace vl {

// An object that processes every audio block after the main callback.
class AudioCallback {
 public:
  virtual ~AudioCallback() = default;
  virtual void onAudioCB(AudioIOData& io) = 0;
};

// A duplex float stream on an audio device. Configure while closed, then open and start; each
// block the device thread copies the input in, runs the callbacks, applies the output gain
// (ramped over one block), clears NaNs, clips and hands the output to the device.
class AudioIO : public AudioIOData {
 public:
  using Callback = void (*)(AudioIOData&);

  AudioIO();
  ~AudioIO() override;

  void callback(Callback cb) { mCallback = cb; }
  // Objects run in order after the callback; the caller keeps them alive.
  void append(AudioCallback& cb) { mAudioCallbacks.push_back(&cb); }
  void remove(AudioCallback& cb);

  void deviceIn(const AudioDevice& dev);
  void deviceOut(const AudioDevice& dev);
  void device(const AudioDevice& dev) {
    deviceIn(dev);
    deviceOut(dev);
  }
  const AudioDevice& deviceIn() const { return mInDevice; }
  const AudioDevice& deviceOut() const { return mOutDevice; }

  // -1 asks for all the device's channels; other counts are limited to what it has.
  void channels(int num, bool forOutput) override;
  void channelsIn(int num) { channels(num, false); }
  void channelsOut(int num) { channels(num, true); }
  using AudioIOData::channelsIn;
  using AudioIOData::channelsOut;
  void channelsBus(int num) override;
  using AudioIOData::channelsBus;
  void framesPerBuffer(int n) override;
  using AudioIOData::framesPerBuffer;
  void framesPerSecond(double v) override;
  using AudioIOData::framesPerSecond;
  // Channels the device stream carries (the rest of the buffer's channels are virtual).
  int channelsInDevice() const;
  int channelsOutDevice() const;

  void clipOut(bool v) { mClipOut = v; }
  void zeroNANs(bool v) { mZeroNANs = v; }
  void autoZeroOut(bool v) { mAutoZeroOut = v; }

  // Open, start, stop and close may be called from any thread.
  bool open();
  bool start();
  bool stop();
  bool close();

  // With this on, a started stream that its device takes away (the audio server quits, the
  // card is unplugged) is watched for by a thread of this object: it prints one line when the
  // stream is lost and one when it is back, and opens the same device again, by name, with the
  // same channels, rate and block size every `retrySeconds` until it plays. Stop ends the watch.
  void reopenWhenLost(bool on, double retrySeconds = 2.0);
  bool reopenWhenLost() const;
  bool isOpen() const;
  bool isRunning() const;
  double time() const;

  void print() const;
  // Blocks the device reported late since this object was made (a reopen does not reset it).
  unsigned long underflowCount() const;

  // The device thread's entry for one block: interleaved device buffers of `frames` frames.
  static int blockCallback(void* output, void* input, unsigned int frames, double streamTime,
                           unsigned int status, void* user);

 private:
  struct Backend;
  void warn(const char* msg) const;
  // Callers hold the back end's stream lock.
  bool openLocked(bool report);
  bool startLocked(bool report);
  void startWatch();
  void stopWatch();
  void watchLoop();
  bool reopenLocked();
  void processBlock(float* devBuf, const float* in, unsigned int frames, unsigned int status);

  Callback mCallback = nullptr;
  AudioDevice mOutDevice{-1};
  AudioDevice mInDevice{mOutDevice};
  bool mZeroNANs = true;
  bool mClipOut = true;
  bool mAutoZeroOut = true;
  std::vector<AudioCallback*> mAudioCallbacks;
  std::shared_ptr<Backend> mBackend;
};

}  // namespace vl
