#include "WaveFunction.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Avx2Clones.hpp"

namespace {

// Non-finite input counts as `fallback`; finite input is kept within [lo, hi].
double bounded(double v, double lo, double hi, double fallback = 0.0) {
  if (!std::isfinite(v)) return fallback;
  return std::clamp(v, lo, hi);
}

// The largest q for which q^l L(q) e^{-q/2} is formed directly: below it neither the
// power-times-polynomial (bounded by e^kFastLog) nor the decay can leave the normal range.
constexpr double kFastLog = 600.0;
constexpr double kDecayLimit = 2.0 * kFastLog;
// Beyond this the radial function is far below the smallest double for every n <= 99.
constexpr double kFarLimit = 1e6;

}  // namespace

WaveFunction::WaveFunction() : mReciprocal(WaveTables::get().reciprocal.data()) {}

void WaveFunction::configure(double nIn, double lIn, double JIn, double jIn, double fIn,
                             double wIn) {
  const WaveTables& tables = WaveTables::get();

  // n below 1 is the unset default of the parameter group: such a state adds nothing.
  mActive = std::isfinite(nIn) && nIn >= 1.0;
  const int ni = mActive ? int(std::trunc(std::min(nIn, double(WaveTables::kMaxN)))) : 0;
  const int li =
      std::min(int(std::trunc(bounded(lIn, 0.0, WaveTables::kMaxL))), std::max(ni - 1, 0));
  n = ni;
  l = li;
  J = bounded(JIn, -9.5, 9.5);
  j = bounded(jIn, -9.5, 9.5);
  f = bounded(fIn, -99.0, 99.0);
  w = bounded(wIn, 0.0, 1.0);

  aligned = J > l;
  JHalf = std::trunc(J - 0.5) + 0.5;
  mHalf = std::trunc(j - 0.5) + 0.5;
  const double eps = mHalf < 0.5 ? -1e-10 : 1e-10;
  const int mUp = int(std::trunc(mHalf - 0.5 + eps));
  const int mDown = mUp + 1;
  upValid = -li <= mUp && mUp <= li;
  downValid = -li <= mDown && mDown <= li;

  // A root of a negative number would mean |m| > J; such a component has coefficient 0.
  auto root = [](double x) { return std::sqrt(std::max(x, 0.0)); };
  double cUp, cDown;
  if (aligned) {
    cUp = root((JHalf + mHalf) / (2.0 * JHalf));
    cDown = root((JHalf - mHalf) / (2.0 * JHalf));
  } else {
    cUp = -root((JHalf + 1.0 - mHalf) / (2.0 * JHalf + 2.0));
    cDown = root((JHalf + 1.0 + mHalf) / (2.0 * JHalf + 2.0));
  }
  up = {ni, li, mUp, 0.5, cUp};
  down = {ni, li, mDown, -0.5, cDown};

  const double angle = 2.0 * std::numbers::pi * f;
  rotor = std::abs(rotor) * std::complex<double>(std::cos(angle), std::sin(angle));
  weight = {w, 0.0};

  // Point-independent parts of the evaluation.
  auto componentScale = [&](bool valid, int m, double c) {
    if (!valid || !mActive) return 0.0;
    double doubleFactorial = 1.0;  // mProd{k=1..|m|} (1 - 2k)
    for (int k = 1; k <= std::abs(m); ++k) doubleFactorial *= 1.0 - 2.0 * k;
    return c * tables.norm(li, m) * doubleFactorial;
  };
  mUpScale = componentScale(upValid, mUp, cUp);
  mDownScale = componentScale(downValid, mDown, cDown);
  mMaxAbsM = std::max(upValid ? std::abs(mUp) : 0, downValid ? std::abs(mDown) : 0);

  if (!mActive) {
    mDegree = -1;
    mInverseN = 1.0;
    mTwoOverN = 2.0;
    mRadialNorm = mLogRadialNorm = mFastLimit = 0.0;
    return;
  }
  mDegree = ni - li - 1;
  mInverseN = 1.0 / ni;
  mTwoOverN = 2.0 / ni;
  // sqrt((2/n)^3 (n - l - 1)! / (2n (n + l)!)), the factorial ratio summed as logarithms
  // because (n + l)! overflows for the larger numbers.
  double logRatio = 0.0;
  for (int k = ni - li; k <= ni + li; ++k) logRatio -= std::log(double(k));
  mLogRadialNorm = 0.5 * (3.0 * std::log(mTwoOverN) - std::log(2.0 * ni) + logRatio);
  if (ni + li < WaveTables::kFactorials) {
    const double ratio = double(tables.factorial[ni - li - 1]) / double(tables.factorial[ni + li]);
    mRadialNorm = std::sqrt(mTwoOverN * mTwoOverN * mTwoOverN * ratio / (2.0 * ni));
  } else {
    mRadialNorm = std::exp(mLogRadialNorm);
  }

  // l ln q + ln L(-q) grows with q; find where it reaches the fast bound.
  if (laguerreBoundLog(kDecayLimit) <= kFastLog) {
    mFastLimit = kDecayLimit;
  } else {
    double lo = 0.0, hi = kDecayLimit;
    for (int it = 0; it < 60; ++it) {
      const double mid = 0.5 * (lo + hi);
      (laguerreBoundLog(mid) <= kFastLog ? lo : hi) = mid;
    }
    mFastLimit = lo;
  }
}

// l ln q + ln L(-q): L at -q sums the absolute values of the terms of L at q.
double WaveFunction::laguerreBoundLog(double q) const {
  const WaveTables& tables = WaveTables::get();
  const int li = int(l);
  double l0 = 1.0, l1 = 2.0 * li + 2.0 + q;
  double value = mDegree == 0 ? 1.0 : l1;
  for (int k = 1; k < mDegree; ++k) {
    const double l2 = ((2.0 * k + 2.0 * li + 2.0 + q) * l1 - (k + 2.0 * li + 1.0) * l0) *
                      tables.reciprocal[k + 1];
    l0 = l1;
    l1 = value = l2;
  }
  return li * std::log(std::max(q, 1e-300)) + std::log(value);
}

double WaveFunction::radial(double r) const {
  if (!mActive) return 0.0;
  return radialWithDecay(r, std::exp(-r * mInverseN));
}

// Far out the power and the polynomial are huge and the decay tiny: carry the polynomial's
// size as a power of two and combine everything as one logarithm.
double WaveFunction::radialFar(double q) const {
  if (!(q < kFarLimit)) return 0.0;
  const int li = int(l);
  constexpr double kBig = 0x1p200, kShrink = 0x1p-200;
  int scale = 0;
  double lag = 1.0;
  if (mDegree >= 1) {
    const double* reciprocal = mReciprocal;
    double l0 = 1.0, l1 = 2.0 * li + 2.0 - q;
    for (int k = 1; k < mDegree; ++k) {
      const double l2 =
          ((2.0 * k + 2.0 * li + 2.0 - q) * l1 - (k + 2.0 * li + 1.0) * l0) * reciprocal[k + 1];
      l0 = l1;
      l1 = l2;
      if (std::abs(l1) > kBig) {
        l0 *= kShrink;
        l1 *= kShrink;
        scale += 200;
      }
    }
    lag = l1;
  }
  if (lag == 0.0) return 0.0;
  double logR = mLogRadialNorm - 0.5 * q + li * std::log(q) + std::log(std::abs(lag)) +
                scale * std::numbers::ln2;
  // A normalised radial function stays below 2; the cap only keeps a rounding outlier finite.
  logR = std::min(logR, 1.0);
  return std::copysign(std::exp(logR), lag);
}

std::complex<double> WaveFunction::angular(int m, const SphericalPoint& g) const {
  const int am = std::abs(m);
  if (!mActive || am > int(l) || am > g.powers) return 0.0;
  double doubleFactorial = 1.0;
  for (int k = 1; k <= am; ++k) doubleFactorial *= 1.0 - 2.0 * k;
  const double magnitude = WaveTables::get().norm(int(l), m) * doubleFactorial *
                           legendreRatio(am, g.cosTheta) * g.sinThetaPow[am];
  const double sign = m < 0 ? -1.0 : 1.0;
  return magnitude * std::complex<double>(g.cosMPhi[am], sign * g.sinMPhi[am]);
}

Spinor WaveFunction::evaluate(const vl::Vec3d& p) const {
  if (!mActive) return {};
  return evaluate(SphericalPoint(p, mMaxAbsM));
}

Spinor WaveFunction::evaluate(const SphericalPoint& g) const {
  if (!mActive) return {};
  return evaluate(g, std::exp(-g.r * mInverseN));
}

ZENTHA_AVX2_CLONES bool WaveFunction::addBlock(const PointBlock& g, const double* decay,
                                               PointBlock::Sums& sum, bool add,
                                               Spinor* atGroupStarts, int stride) const {
  using Row = PointBlock::Row;
  constexpr int kLanes = PointBlock::kMaxPoints;
  const double ampRe = weight.real() * phase.real() - weight.imag() * phase.imag();
  const double ampIm = weight.real() * phase.imag() + weight.imag() * phase.real();
  if (!mActive || (ampRe == 0.0 && ampIm == 0.0)) {
    if (atGroupStarts)
      for (int k = 0; k < PointBlock::kGroups; ++k) atGroupStarts[k * stride] = {};
    return false;
  }
  const int li = int(l);

  // Radial part, as radialWithDecay() but point by point inside each recurrence step.
  Row q, radialValue;
  for (int i = 0; i < kLanes; ++i) q[i] = g.r[i] * mTwoOverN;
  // (A NaN point gives NaN either way.)
  const bool far = PointBlock::anyAbove(q, mFastLimit);
  // Factors that are 1 (q^0, and L when its degree is 0) are left out; the products keep
  // their order otherwise.
  Row power = q;
  for (int k = 1; k < li; ++k)
    for (int i = 0; i < kLanes; ++i) power[i] *= q[i];
  Row lag;
  if (mDegree >= 1) {
    Row l0, l1;
    for (int i = 0; i < kLanes; ++i) {
      l0[i] = 1.0;
      l1[i] = 2.0 * li + 2.0 - q[i];
    }
    double a = 2.0 * li + 4.0, b = 2.0 * li + 2.0;
    for (int k = 1; k < mDegree; ++k) {
      const double inv = mReciprocal[k + 1];
      for (int i = 0; i < kLanes; ++i) {
        const double l2 = ((a - q[i]) * l1[i] - b * l0[i]) * inv;
        l0[i] = l1[i];
        l1[i] = l2;
      }
      a += 2.0;
      b += 1.0;
    }
    lag = l1;
  }
  for (int i = 0; i < kLanes; ++i) {
    double value = li == 0 ? mRadialNorm : mRadialNorm * power[i];
    if (mDegree >= 1) value *= lag[i];
    radialValue[i] = value * decay[i];
  }
  if (far)
    for (int i = 0; i < kLanes; ++i)
      if (!(q[i] <= mFastLimit)) radialValue[i] = radialFar(q[i]);

  Row re[2], im[2];
  auto component = [&](double scale, int m, Row& outRe, Row& outIm) {
    if (scale == 0.0) {
      for (int i = 0; i < kLanes; ++i) outRe[i] = outIm[i] = 0.0;
      return;
    }
    const int am = m < 0 ? -m : m;
    // P(l, |m|) / P(|m|, |m|), left out where it is 1 (l = |m|).
    const bool flat = li == am;
    Row p;
    if (!flat) {
      Row p0;
      for (int i = 0; i < kLanes; ++i) {
        p0[i] = 1.0;
        p[i] = (2.0 * am + 1.0) * g.cosTheta[i];
      }
      for (int k = am + 2; k <= li; ++k) {
        const double c1 = 2.0 * k - 1.0, c0 = k + am - 1.0, inv = mReciprocal[k - am];
        for (int i = 0; i < kLanes; ++i) {
          const double p2 = (c1 * g.cosTheta[i] * p[i] - c0 * p0[i]) * inv;
          p0[i] = p[i];
          p[i] = p2;
        }
      }
    }
    if (am == 0) {
      // sin^0 = 1 and e^{i 0 phi} = 1: the factors that would be multiplied by 1 or by 0 are
      // left out (the block holds no row for them).
      for (int i = 0; i < kLanes; ++i) {
        const double real = flat ? scale * radialValue[i] : scale * radialValue[i] * p[i];
        outRe[i] = real * ampRe;
        outIm[i] = real * ampIm;
      }
      return;
    }
    const double sign = m < 0 ? -1.0 : 1.0;
    for (int i = 0; i < kLanes; ++i) {
      const double real =
          (flat ? scale * radialValue[i] : scale * radialValue[i] * p[i]) * g.sinThetaPow[am][i];
      const double yRe = real * g.cosMPhi[am][i];
      const double yIm = real * (sign * g.sinMPhi[am][i]);
      outRe[i] = yRe * ampRe - yIm * ampIm;
      outIm[i] = yRe * ampIm + yIm * ampRe;
    }
  };
  component(mUpScale, up.m, re[0], im[0]);
  component(mDownScale, down.m, re[1], im[1]);

  if (add) {
    for (int i = 0; i < kLanes; ++i) {
      sum.a[i] += re[0][i];
      sum.b[i] += im[0][i];
      sum.c[i] += re[1][i];
      sum.d[i] += im[1][i];
    }
  } else {
    sum.a = re[0];
    sum.b = im[0];
    sum.c = re[1];
    sum.d = im[1];
  }
  if (atGroupStarts)
    for (int k = 0; k < PointBlock::kGroups; ++k) {
      const int i = k * PointBlock::kGroupSize;
      atGroupStarts[k * stride] = {re[0][i], im[0][i], re[1][i], im[1][i]};
    }
  return true;
}
