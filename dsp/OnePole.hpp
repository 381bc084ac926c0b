#pragma once

#include <cmath>

#include "dsp/Domain.hpp"
#include "dsp/FastTrig.hpp"
#include "dsp/FilterType.hpp"
#include "dsp/ScopedFlushDenormals.hpp"

namespace snl {

// One-pole filter y = a0·x + b1·y: low pass, a pole-at-negative-frequencies high pass, or a
// smoother whose time constant follows the frequency.
template <class T = float>
class OnePole : public DomainObserver {
 public:
  explicit OnePole(float frequency = 1000.0f, FilterType type = LOW_PASS) : mType(type) {
    freq(frequency);
  }

  void type(FilterType t) {
    mType = t;
    freq(mFreq);
  }
  FilterType type() const { return mType; }

  void freq(float hz) {
    mFreq = hz;
    const float x = float(double(hz) / sampleRate());
    if (mType == SMOOTHING) {
      mB1 = std::pow(0.001f, x);
      mA0 = 1.0f - mB1;
    } else if (mType == HIGH_PASS) {
      const float p = -fastCosCycles(x) - 2.0f;
      mB1 = p + std::sqrt(p * p - 1.0f);
      mA0 = 1.0f + mB1;
    } else {
      const float p = fastCosCycles(x) - 2.0f;
      mB1 = -(p + std::sqrt(p * p - 1.0f));
      mA0 = 1.0f - mB1;
    }
  }
  float freq() const { return mFreq; }
  float a0() const { return mA0; }
  float b1() const { return mB1; }

  T operator()(const T& x) {
    mY = flushDenormal<T>(x * mA0 + mY * mB1);
    return mY;
  }
  const T& last() const { return mY; }
  void zero() { mY = T(); }

  void onDomainChange(double) override { freq(mFreq); }

 private:
  T mY{};
  float mFreq = 1000.0f;
  float mA0 = 1.0f;
  float mB1 = 0.0f;
  FilterType mType = LOW_PASS;
};

}  // namespace snl
