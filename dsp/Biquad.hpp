#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/Domain.hpp"
#include "dsp/FastTrig.hpp"
#include "dsp/FilterType.hpp"
#include "dsp/ScopedFlushDenormals.hpp"

namespace snl {

// Two-pole, two-zero filter with the usual bilinear-transform designs (types 0 to 8 of
// FilterType). Coefficients are normalised so that the denominator is 1 + a1·z⁻¹ + a2·z⁻².
// Samples run through transposed direct form II.
template <class T = float>
class Biquad : public DomainObserver {
 public:
  explicit Biquad(FilterType type = LOW_PASS, float frequency = 1000.0f, float res = 0.707107f,
                  float level = 1.0f)
      : mLevel(level), mType(type) {
    mRadPerHz = float(2.0 * std::numbers::pi / sampleRate());
    mResRecip = resRecip(res);
    freq(frequency);
  }

  void set(float frequency, float res, FilterType type) {
    mType = type;
    mResRecip = resRecip(res);
    freq(frequency);
  }

  void type(FilterType t) {
    mType = t;
    freq(mFreq);
  }
  FilterType type() const { return mType; }

  void freq(float hz) {
    mFreq = hz;
    float w = hz * mRadPerHz;
    w = w > 0.0f ? std::min(w, 3.13f) : 0.0f;  // also turns NaN into 0
    mCos = polyCos(w);
    mSin = polySin(w);
    updateAlpha();
  }
  float freq() const { return mFreq; }

  // Resonance (the filter's Q); values at or below zero are raised to a tiny positive one.
  void res(float r) {
    mResRecip = resRecip(r);
    updateAlpha();
  }
  float res() const { return 0.5f / mResRecip; }

  // Gain at the centre of the peaking type.
  void level(float v) {
    mLevel = v;
    updateB();
  }
  float level() const { return mLevel; }

  T operator()(const T& x) {
    const T y = x * mB0 + mS1;
    mS1 = flushDenormal<T>(x * mB1 - y * mA1 + mS2);
    mS2 = flushDenormal<T>(x * mB2 - y * mA2);
    return y;
  }
  void zero() { mS1 = mS2 = T(); }

  float b0() const { return mB0; }
  float b1() const { return mB1; }
  float b2() const { return mB2; }
  float a0() const { return mA0; }
  float a1() const { return mA1; }
  float a2() const { return mA2; }

  void onDomainChange(double) override {
    mRadPerHz = float(2.0 * std::numbers::pi / sampleRate());
    freq(mFreq);
  }

 private:
  static float resRecip(float r) { return 0.5f / (r > 1e-9f ? r : 1e-9f); }

  void updateAlpha() {
    mAlpha = mSin * mResRecip * mShelf;
    if (mType != LOW_SHELF && mType != HIGH_SHELF) {
      mA0 = 1.0f / (1.0f + mAlpha);
      mA1 = -2.0f * mCos * mA0;
      mA2 = (1.0f - mAlpha) * mA0;
    }
    updateB();
  }

  void updateB() {
    const float c = mCos, s = mSin, al = mAlpha;
    switch (mType) {
      case LOW_PASS:
        mB1 = (1.0f - c) * mA0;
        mB0 = mB2 = mB1 * 0.5f;
        break;
      case HIGH_PASS:
        mB1 = (-1.0f - c) * mA0;
        mB0 = mB2 = -mB1 * 0.5f;
        break;
      case RESONANT:
        mB0 = al * mA0;
        mB1 = 0.0f;
        mB2 = -mB0;
        break;
      case BAND_PASS:
        mB0 = s * 0.5f * mA0;
        mB1 = 0.0f;
        mB2 = -mB0;
        break;
      case BAND_REJECT:
        mB0 = mB2 = mA0;
        mB1 = mA1;
        break;
      case ALL_PASS:
        mB0 = mA2;
        mB1 = mA1;
        mB2 = 1.0f;
        break;
      case PEAKING:
        mB0 = mA0 + al * mLevel * mA0;
        mB1 = mA1;
        mB2 = mA0 - al * mLevel * mA0;
        break;
      case LOW_SHELF: {
        const float A = mShelf * mShelf * 0.25f, P = A + 1.0f, M = A - 1.0f;
        mA0 = 1.0f / (M * c + P + al);
        mA2 = (M * c + P - al) * mA0;
        mA1 = -2.0f * (P * c + M) * mA0;
        mB0 = (P - M * c + al) * A * mA0;
        mB2 = (P - M * c - al) * A * mA0;
        mB1 = 2.0f * A * (M - P * c) * mA0;
        break;
      }
      case HIGH_SHELF: {
        const float A = mShelf * mShelf * 0.25f, P = A + 1.0f, M = A - 1.0f;
        mA0 = 1.0f / (P - M * c + al);
        mA2 = (P - M * c - al) * mA0;
        mA1 = 2.0f * (M - P * c) * mA0;
        mB0 = (P + M * c + al) * A * mA0;
        mB2 = (P + M * c - al) * A * mA0;
        mB1 = -2.0f * A * (P * c + M) * mA0;
        break;
      }
      default:  // unknown types pass the signal unchanged
        mB0 = 1.0f;
        mB1 = mB2 = mA1 = mA2 = 0.0f;
        mA0 = 1.0f;
        break;
    }
  }

  float mB0 = 1.0f, mB1 = 0.0f, mB2 = 0.0f;
  float mA0 = 1.0f, mA1 = 0.0f, mA2 = 0.0f;
  float mFreq = 1000.0f;
  float mResRecip = 0.707107f;
  float mLevel = 1.0f;
  FilterType mType = LOW_PASS;
  float mCos = 1.0f, mSin = 0.0f, mAlpha = 0.0f;
  float mShelf = 1.0f;
  float mRadPerHz = 1.0f;
  T mS1{}, mS2{};
};

}  // namespace snl
