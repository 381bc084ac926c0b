#include "dsp/PlateReverb.hpp"

#include "dsp/ScopedFlushDenormals.hpp"

namespace snl {

namespace {

// Diffusing all-pass with coefficient k on the oldest sample of a line: w = u - k·z, out k·w + z.
// The stored value is kept out of the subnormal range; every recirculating path of the tank
// passes through one of these or a damping filter.
template <uint32_t N>
float diffuse(PlateReverb::Line<N>& line, float u, float k) {
  const float z = line.oldest();
  const float w = flushDenormal(u - k * z);
  line.write(w);
  return k * w + z;
}

}  // namespace

PlateReverb::Output PlateReverb::operator()(float x, float gain) {
  const float pre = mPre.oldest();
  mPre.write(x * 0.5f);
  mBw = flushDenormal(kBandwidth * pre + (1.0f - kBandwidth) * mBw);

  float t = diffuse(mIn1, mBw, kInDiff1);
  t = diffuse(mIn2, t, kInDiff1);
  t = diffuse(mIn3, t, kInDiff2);
  t = diffuse(mIn4, t, kInDiff2);

  // Both halves read their cross-feed before either writes.
  const float feedA = mDlB2.oldest();
  const float feedB = mDlA2.oldest();

  // The first tank all-pass has the opposite sign: w = u + k·z, out z - k·w.
  float a = diffuse(mApA1, t + kDecay * feedA, -kDecDiff1);
  const float va = mDlA1.oldest();
  mDlA1.write(a);
  mDampA = flushDenormal((1.0f - kDamping) * va + kDamping * mDampA);
  a = diffuse(mApA2, kDecay * mDampA, kDecDiff2);
  mDlA2.write(a);

  float b = diffuse(mApB1, t + kDecay * feedB, -kDecDiff1);
  const float vb = mDlB1.oldest();
  mDlB1.write(b);
  mDampB = flushDenormal((1.0f - kDamping) * vb + kDamping * mDampB);
  b = diffuse(mApB2, kDecay * mDampB, kDecDiff2);
  mDlB2.write(b);

  Output o;
  o.left = gain * (mDlB1.tap(266) + mDlB1.tap(2974) - mApB2.tap(1913) + mDlB2.tap(1996) -
                   mDlA1.tap(1990) - mApA2.tap(187) - mDlA2.tap(1066));
  o.right = gain * (mDlA1.tap(353) + mDlA1.tap(3627) - mApA2.tap(1228) + mDlA2.tap(2673) -
                    mDlB1.tap(2111) - mApB2.tap(335) - mDlB2.tap(121));
  return o;
}

void PlateReverb::reset() {
  mPre.zero();
  mBw = 0.0f;
  mIn1.zero();
  mIn2.zero();
  mIn3.zero();
  mIn4.zero();
  mApA1.zero();
  mDlA1.zero();
  mDampA = 0.0f;
  mApA2.zero();
  mDlA2.zero();
  mApB1.zero();
  mDlB1.zero();
  mDampB = 0.0f;
  mApB2.zero();
  mDlB2.zero();
}

}  // namespace snl
