#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "dsp/CurveSegment.hpp"
#include "dsp/Domain.hpp"

namespace snl {

// Envelope of N curved segments between N + 1 levels. The segment whose index is the sustain
// index holds its start level until release; releasing jumps to that segment's successor,
// starting from wherever the envelope stands.
template <int N>
class Env : public DomainObserver {
 public:
  Env() {
    for (int i = 0; i < N; ++i) {
      mLengths[i] = 0.1f;
      mCurves[i] = -4.0f;
    }
    for (int i = 0; i <= N; ++i) mLevels[i] = 0.0f;
  }

  void length(int i, float seconds) { mLengths[i] = seconds; }
  void curve(int i, float curvature) { mCurves[i] = curvature; }
  void curve(float curvature) {
    for (int i = 0; i < N; ++i) mCurves[i] = curvature;
  }
  void level(int i, float v) { mLevels[i] = v; }
  float length(int i) const { return mLengths[i]; }
  float level(int i) const { return mLevels[i]; }
  // Segment that holds until release; negative for none (release then does nothing).
  void sustainPoint(int i) { mSustain = i; }
  int sustainPoint() const { return mSustain; }
  void loop(bool on) { mLoop = on; }
  int stage() const { return mStage; }

  float operator()() {
    if (mStage >= 0 && mStage == mSustain) return mLevels[mStage];
    if (mPos < mLen) {
      ++mPos;
      return mSeg();
    }
    // Pass zero-length segments at once; a looping envelope made only of them holds still.
    for (int guard = 0; guard <= N; ++guard) {
      if (mStage == N) return mLevels[N];
      ++mStage;
      if (mStage == N) {
        if (!mLoop) return mLevels[N];
        mStage = 0;
      }
      startSegment(mStage, mLevels[mStage]);
      if (mStage == mSustain) return mLevels[mStage];
      if (mPos < mLen) {
        ++mPos;
        return mSeg();
      }
    }
    return mSeg.value();
  }

  void release() {
    if (mSustain < 0) return;
    const int k = std::abs(mSustain);
    mSustain = -k;
    const float v = mSeg.value();
    mStage = k;
    if (k >= N) return;
    startSegment(k, v);
  }

  void reset() {
    mStage = -1;
    mPos = mLen = 0;
    mSustain = std::abs(mSustain);
  }

  bool done() const { return mStage == N; }
  float value() const { return mSeg.value(); }

 protected:
  void startSegment(int i, float from) {
    mPos = 0;
    mLen = uint32_t(std::fmax(0.0, std::trunc(double(mLengths[i]) * sampleRate())));
    const int next = i + 1 < N ? i + 1 : (mLoop ? 0 : N);
    mSeg.set(mLen, mCurves[i], from, mLevels[next]);
  }

  CurveSegment mSeg;
  float mLengths[N];
  float mCurves[N];
  float mLevels[N + 1];
  uint32_t mPos = 0;
  uint32_t mLen = 0;
  int mStage = -1;
  int mSustain = N - 1;
  bool mLoop = false;
};

// Attack, decay, sustain, release: levels 0, amplitude, sustain·amplitude, 0; holds in the
// third segment until released.
class ADSR : public Env<3> {
 public:
  explicit ADSR(float attack = 0.1f, float decay = 0.1f, float sustain = 1.0f, float release = 1.3f,
                float amplitude = 1.0f, float curvature = -4.0f) {
    mAmp = amplitude;
    length(0, attack);
    length(1, decay);
    length(2, release);
    curve(curvature);
    level(0, 0.0f);
    level(1, amplitude);
    level(2, sustain * amplitude);
    level(3, 0.0f);
    sustainPoint(2);
  }

  void attack(float seconds) { length(0, seconds); }
  void decay(float seconds) { length(1, seconds); }
  void sustain(float lvl) { level(2, lvl * mAmp); }
  void releaseTime(float seconds) { length(2, seconds); }

 private:
  float mAmp = 1.0f;
};

}  // namespace snl
