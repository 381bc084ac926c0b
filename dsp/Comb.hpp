#pragma once

#include "dsp/Delay.hpp"
#include "dsp/ScopedFlushDenormals.hpp"

namespace snl {

// Comb filter on a delay line: w = x + fbk·delayed, output ffd·w + delayed.
template <class T = float, class Ipl = ipl::Cubic>
class Comb : public Delay<T, Ipl> {
 public:
  explicit Comb(float maxDelay = 1.0f, float delaySeconds = 0.5f, float ffd = 0.0f,
                float fbk = 0.0f)
      : Delay<T, Ipl>(maxDelay, delaySeconds), mFfd(ffd), mFbk(fbk) {}

  void ffd(float g) { mFfd = g; }
  void fbk(float g) { mFbk = g; }
  float ffd() const { return mFfd; }
  float fbk() const { return mFbk; }

  T operator()(const T& x) {
    const T d = this->read();
    const T w = flushDenormal<T>(x + d * mFbk);
    this->write(w);
    return w * mFfd + d;
  }

 private:
  float mFfd = 0.0f;
  float mFbk = 0.0f;
};

}  // namespace snl
