#pragma once

#include <atomic>
#include <vector>

namespace vl {

// One audio block: non-interleaved float buffers for input, output and bus channels. Sample
// (channel k, frame f) is element k * framesPerBuffer + f of its buffer. Buffers are sized when a
// channel count or the block length changes, never while blocks are processed.
class AudioIOData {
 public:
  AudioIOData() { resizeBuffers(mFramesPerBuffer); }
  AudioIOData(const AudioIOData& other);
  AudioIOData& operator=(const AudioIOData& other);
  virtual ~AudioIOData() = default;

  // Resizes the input or output buffer; the contents are undefined afterwards.
  virtual void channels(int num, bool forOutput);
  virtual void channelsBus(int num);
  // Resizes all four buffers.
  virtual void framesPerBuffer(int n);
  virtual void framesPerSecond(double v) { mFramesPerSecond = v; }

  int framesPerBuffer() const { return mFramesPerBuffer; }
  double framesPerSecond() const { return mFramesPerSecond; }
  double secondsPerBuffer() const { return mFramesPerBuffer / mFramesPerSecond; }
  int channelsIn() const { return mNumI; }
  int channelsOut() const { return mNumO; }
  int channelsBus() const { return mNumB; }

  // Steps to the next frame of the block; the frame starts at -1, so `while (io())` visits all.
  bool operator()() { return ++mFrame < mFramesPerBuffer; }
  int frame() const { return mFrame; }
  void frame(int f) { mFrame = f; }

  float& out(int chan, int frame) { return mBufO[chan * mFramesPerBuffer + frame]; }
  float& bus(int chan, int frame) { return mBufB[chan * mFramesPerBuffer + frame]; }
  const float& in(int chan, int frame) const { return mBufI[chan * mFramesPerBuffer + frame]; }
  // The current frame's sample of a channel.
  float& out(int chan) { return out(chan, mFrame); }
  float& bus(int chan) { return bus(chan, mFrame); }
  const float& in(int chan) const { return in(chan, mFrame); }

  float* outBuffer(int chan = 0) { return mBufO.data() + chan * mFramesPerBuffer; }
  float* busBuffer(int chan = 0) { return mBufB.data() + chan * mFramesPerBuffer; }
  float* inBuffer(int chan = 0) { return mBufI.data() + chan * mFramesPerBuffer; }
  const float* outBuffer(int chan = 0) const { return mBufO.data() + chan * mFramesPerBuffer; }
  const float* busBuffer(int chan = 0) const { return mBufB.data() + chan * mFramesPerBuffer; }
  const float* inBuffer(int chan = 0) const { return mBufI.data() + chan * mFramesPerBuffer; }
  // One block of one channel for intermediate results.
  float* temp() { return mBufT.data(); }

  void zeroOut();
  void zeroBus();
  void zeroIn();

  // The output stage of a block, once its callbacks have run: the output gain, ramped over the
  // block from the last block's gain, then NaNs cleared and samples clipped to [-1, 1] when
  // asked. A device stream runs it on every block; an offline render does the same.
  void conditionOutput(bool zeroNaNs, bool clip);

  // Output gain; may be set from any thread while blocks are processed.
  float gain() const { return mGain.load(std::memory_order_relaxed); }
  void gain(float g) { mGain.store(g, std::memory_order_relaxed); }
  bool usingGain() const { return gain() != 1.0f || mGainPrev != 1.0f; }

  void* user() const { return mUser; }
  void user(void* u) { mUser = u; }

 protected:
  void resizeBuffers(int frames);

  std::atomic<float> mGain{1.0f};
  float mGainPrev = 1.0f;
  void* mUser = nullptr;
  int mFrame = -1;
  int mFramesPerBuffer = 512;
  double mFramesPerSecond = 44100.0;
  std::vector<float> mBufI, mBufO, mBufB, mBufT;
  int mNumI = 0, mNumO = 0, mNumB = 0;
};

}  // namespace vl
