#pragma once

#include <cmath>
#include <numbers>

#include "dsp/Domain.hpp"
#include "dsp/ScopedFlushDenormals.hpp"

namespace snl {

// DC blocker: a differentiator followed by a leaky integrator whose pole sits `width` Hz below DC.
template <class T = float>
class BlockDC : public DomainObserver {
 public:
  explicit BlockDC(float widthHz = 35.0f) { width(widthHz); }

  void width(float hz) {
    mWidth = hz;
    mA = float(std::exp(-std::numbers::pi * double(hz) / sampleRate()));
  }
  float width() const { return mWidth; }
  float pole() const { return mA; }

  T operator()(const T& x) {
    const T s = flushDenormal<T>(x + mS * mA);
    const T out = s - mS;
    mS = s;
    return out;
  }

  void zero() { mS = T(); }

  void onDomainChange(double) override { width(mWidth); }

 private:
  T mS{};
  float mWidth = 35.0f;
  float mA = 0.0f;
};

}  // namespace snl
