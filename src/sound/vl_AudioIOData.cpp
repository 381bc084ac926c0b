#include "sound/vl_AudioIOData.hpp"

#include <algorithm>
#include <cmath>

namespace vl {

namespace {
void fitBuffer(std::vector<float>& buf, int chans, int frames) {
  buf.assign(static_cast<std::size_t>(std::max(chans, 0)) * std::max(frames, 0), 0.0f);
}
}  // namespace

AudioIOData::AudioIOData(const AudioIOData& o) {
  *this = o;
}

AudioIOData& AudioIOData::operator=(const AudioIOData& o) {
  if (this == &o) return *this;
  gain(o.gain());
  mGainPrev = o.mGainPrev;
  mUser = o.mUser;
  mFrame = o.mFrame;
  mFramesPerBuffer = o.mFramesPerBuffer;
  mFramesPerSecond = o.mFramesPerSecond;
  mBufI = o.mBufI;
  mBufO = o.mBufO;
  mBufB = o.mBufB;
  mBufT = o.mBufT;
  mNumI = o.mNumI;
  mNumO = o.mNumO;
  mNumB = o.mNumB;
  return *this;
}

void AudioIOData::channels(int num, bool forOutput) {
  num = std::max(num, 0);
  if (forOutput) {
    mNumO = num;
    fitBuffer(mBufO, mNumO, mFramesPerBuffer);
  } else {
    mNumI = num;
    fitBuffer(mBufI, mNumI, mFramesPerBuffer);
  }
}

void AudioIOData::channelsBus(int num) {
  mNumB = std::max(num, 0);
  fitBuffer(mBufB, mNumB, mFramesPerBuffer);
}

void AudioIOData::framesPerBuffer(int n) {
  resizeBuffers(n);
}

void AudioIOData::resizeBuffers(int frames) {
  mFramesPerBuffer = std::max(frames, 0);
  fitBuffer(mBufI, mNumI, mFramesPerBuffer);
  fitBuffer(mBufO, mNumO, mFramesPerBuffer);
  fitBuffer(mBufB, mNumB, mFramesPerBuffer);
  fitBuffer(mBufT, 1, mFramesPerBuffer);
}

void AudioIOData::zeroOut() {
  std::fill(mBufO.begin(), mBufO.end(), 0.0f);
}
void AudioIOData::zeroBus() {
  std::fill(mBufB.begin(), mBufB.end(), 0.0f);
}
void AudioIOData::zeroIn() {
  std::fill(mBufI.begin(), mBufI.end(), 0.0f);
}

void AudioIOData::conditionOutput(bool zeroNaNs, bool clip) {
  const int n = mFramesPerBuffer;
  const float g = gain();
  if (g != 1.0f || mGainPrev != 1.0f) {
    const float step = (g - mGainPrev) / static_cast<float>(n);
    for (int k = 0; k < mNumO; ++k) {
      float* buf = outBuffer(k);
      for (int f = 0; f < n; ++f) buf[f] *= mGainPrev + step * static_cast<float>(f);
    }
    mGainPrev = g;
  }
  if (zeroNaNs || clip) {
    for (float& v : mBufO) {
      if (zeroNaNs && std::isnan(v)) v = 0.0f;
      if (clip) v = std::clamp(v, -1.0f, 1.0f);
    }
  }
}

}  // namespace vl
