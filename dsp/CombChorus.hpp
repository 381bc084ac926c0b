#pragma once

#include "dsp/CSine.hpp"
#include "dsp/Comb.hpp"

namespace snl {

// Two combs whose delays swing around a base delay, driven by the real and imaginary parts of
// one slow complex sinusoid (so the two sway a quarter cycle apart).
class CombChorus {
 public:
  explicit CombChorus(float baseDelay = 0.35f, float depth = 0.002f, float freq = 1.0f,
                      float ffd = 0.9f, float fbk = 0.1f);

  float operator()(float x);

  // Clears both delay lines.
  void zero();

  float baseDelay() const { return mBase; }
  const Comb<float, ipl::Cubic>& comb1() const { return mComb1; }
  const Comb<float, ipl::Cubic>& comb2() const { return mComb2; }

 private:
  Comb<float, ipl::Cubic> mComb1;
  Comb<float, ipl::Cubic> mComb2;
  CSine<double> mMod;
  float mBase;
};

}  // namespace snl
