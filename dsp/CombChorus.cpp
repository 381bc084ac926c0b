#include "dsp/CombChorus.hpp"

namespace snl {

CombChorus::CombChorus(float baseDelay, float depth, float freq, float ffd, float fbk)
    : mComb1(baseDelay + depth, baseDelay, ffd, fbk),
      mComb2(baseDelay + depth, baseDelay, ffd, fbk),
      mMod(freq, depth, -1.0),
      mBase(baseDelay) {}

float CombChorus::operator()(float x) {
  const auto z = mMod.val();
  mComb1.delay(float(mBase + z.real()));
  mComb2.delay(float(mBase + z.imag()));
  mMod();
  return 0.5f * (mComb2(x) + mComb1(x));
}

void CombChorus::zero() {
  mComb1.zero();
  mComb2.zero();
}

}  // namespace snl
