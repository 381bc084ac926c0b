#include "WaveFunction.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

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

WaveFunction::WaveFunction() {
  (void)WaveTables::get();
}

void WaveFunction::configure(double nIn, double lIn, double JIn, double jIn, double fIn,
                             double wIn) {
  const WaveTables& tables = WaveTables::get();

  // n below 1 is the unset default of the parameter group: such a state adds nothing.
  active_ = std::isfinite(nIn) && nIn >= 1.0;
  const int ni = active_ ? int(std::trunc(std::min(nIn, double(WaveTables::kMaxN)))) : 0;
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
    if (!valid || !active_) return 0.0;
    double doubleFactorial = 1.0;  // prod_{k=1..|m|} (1 - 2k)
    for (int k = 1; k <= std::abs(m); ++k) doubleFactorial *= 1.0 - 2.0 * k;
    return c * tables.norm(li, m) * doubleFactorial;
  };
  upScale_ = componentScale(upValid, mUp, cUp);
  downScale_ = componentScale(downValid, mDown, cDown);
  maxAbsM_ = std::max(upValid ? std::abs(mUp) : 0, downValid ? std::abs(mDown) : 0);

  if (!active_) {
    degree_ = -1;
    inverseN_ = 1.0;
    twoOverN_ = 2.0;
    radialNorm_ = logRadialNorm_ = fastLimit_ = 0.0;
    return;
  }
  degree_ = ni - li - 1;
  inverseN_ = 1.0 / ni;
  twoOverN_ = 2.0 / ni;
  // sqrt((2/n)^3 (n - l - 1)! / (2n (n + l)!)), the factorial ratio summed as logarithms
  // because (n + l)! overflows for the larger numbers.
  double logRatio = 0.0;
  for (int k = ni - li; k <= ni + li; ++k) logRatio -= std::log(double(k));
  logRadialNorm_ = 0.5 * (3.0 * std::log(twoOverN_) - std::log(2.0 * ni) + logRatio);
  if (ni + li < WaveTables::kFactorials) {
    const double ratio = double(tables.factorial[ni - li - 1]) / double(tables.factorial[ni + li]);
    radialNorm_ = std::sqrt(twoOverN_ * twoOverN_ * twoOverN_ * ratio / (2.0 * ni));
  } else {
    radialNorm_ = std::exp(logRadialNorm_);
  }

  // l ln q + ln L(-q) grows with q; find where it reaches the fast bound.
  if (laguerreBoundLog(kDecayLimit) <= kFastLog) {
    fastLimit_ = kDecayLimit;
  } else {
    double lo = 0.0, hi = kDecayLimit;
    for (int it = 0; it < 60; ++it) {
      const double mid = 0.5 * (lo + hi);
      (laguerreBoundLog(mid) <= kFastLog ? lo : hi) = mid;
    }
    fastLimit_ = lo;
  }
}

// l ln q + ln L(-q): L at -q sums the absolute values of the terms of L at q.
double WaveFunction::laguerreBoundLog(double q) const {
  const WaveTables& tables = WaveTables::get();
  const int li = int(l);
  double l0 = 1.0, l1 = 2.0 * li + 2.0 + q;
  double value = degree_ == 0 ? 1.0 : l1;
  for (int k = 1; k < degree_; ++k) {
    const double l2 = ((2.0 * k + 2.0 * li + 2.0 + q) * l1 - (k + 2.0 * li + 1.0) * l0) *
                      tables.reciprocal[k + 1];
    l0 = l1;
    l1 = value = l2;
  }
  return li * std::log(std::max(q, 1e-300)) + std::log(value);
}

double WaveFunction::radial(double r) const {
  if (!active_) return 0.0;
  return radialWithDecay(r, std::exp(-r * inverseN_));
}

double WaveFunction::radialWithDecay(double r, double decay) const {
  const double q = r * twoOverN_;
  if (!(q <= fastLimit_)) return radialFar(q);
  const int li = int(l);
  double power = 1.0;
  for (int k = 0; k < li; ++k) power *= q;
  double lag = 1.0;
  if (degree_ >= 1) {
    const double* reciprocal = WaveTables::get().reciprocal.data();
    double l0 = 1.0, l1 = 2.0 * li + 2.0 - q;
    double a = 2.0 * li + 4.0;  // 2k + 2l + 2 at k = 1
    double b = 2.0 * li + 2.0;  // k + 2l + 1 at k = 1
    for (int k = 1; k < degree_; ++k) {
      const double l2 = ((a - q) * l1 - b * l0) * reciprocal[k + 1];
      l0 = l1;
      l1 = l2;
      a += 2.0;
      b += 1.0;
    }
    lag = l1;
  }
  return radialNorm_ * power * lag * decay;
}

// Far out the power and the polynomial are huge and the decay tiny: carry the polynomial's
// size as a power of two and combine everything as one logarithm.
double WaveFunction::radialFar(double q) const {
  if (!(q < kFarLimit)) return 0.0;
  const int li = int(l);
  constexpr double kBig = 0x1p200, kShrink = 0x1p-200;
  int scale = 0;
  double lag = 1.0;
  if (degree_ >= 1) {
    const double* reciprocal = WaveTables::get().reciprocal.data();
    double l0 = 1.0, l1 = 2.0 * li + 2.0 - q;
    for (int k = 1; k < degree_; ++k) {
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
  double logR = logRadialNorm_ - 0.5 * q + li * std::log(q) + std::log(std::abs(lag)) +
                scale * std::numbers::ln2;
  // A normalised radial function stays below 2; the cap only keeps a rounding outlier finite.
  logR = std::min(logR, 1.0);
  return std::copysign(std::exp(logR), lag);
}

double WaveFunction::legendreRatio(int am, double x) const {
  const int li = int(l);
  if (li == am) return 1.0;
  const double* reciprocal = WaveTables::get().reciprocal.data();
  double p0 = 1.0, p1 = (2.0 * am + 1.0) * x;
  for (int k = am + 2; k <= li; ++k) {
    const double p2 = ((2.0 * k - 1.0) * x * p1 - (k + am - 1.0) * p0) * reciprocal[k - am];
    p0 = p1;
    p1 = p2;
  }
  return p1;
}

std::complex<double> WaveFunction::angular(int m, const SphericalPoint& g) const {
  const int am = std::abs(m);
  if (!active_ || am > int(l) || am > g.powers) return 0.0;
  double doubleFactorial = 1.0;
  for (int k = 1; k <= am; ++k) doubleFactorial *= 1.0 - 2.0 * k;
  const double magnitude = WaveTables::get().norm(int(l), m) * doubleFactorial *
                           legendreRatio(am, g.cosTheta) * g.sinThetaPow[am];
  const double sign = m < 0 ? -1.0 : 1.0;
  return magnitude * std::complex<double>(g.cosMPhi[am], sign * g.sinMPhi[am]);
}

SpinorValue WaveFunction::evaluate(const vl::Vec3d& p) const {
  if (!active_) return {};
  return evaluate(SphericalPoint(p, maxAbsM_));
}

SpinorValue WaveFunction::evaluate(const SphericalPoint& g) const {
  if (!active_) return {};
  return evaluate(g, std::exp(-g.r * inverseN_));
}

SpinorValue WaveFunction::evaluate(const SphericalPoint& g, double decay) const {
  const std::complex<double> amplitude = weight * phase;
  if (!active_ || amplitude == 0.0) return {};
  const double radialValue = radialWithDecay(g.r, decay);
  auto component = [&](double scale, int m) -> std::complex<double> {
    if (scale == 0.0) return 0.0;
    const int am = std::abs(m);
    const double real = scale * radialValue * legendreRatio(am, g.cosTheta) * g.sinThetaPow[am];
    const double s = g.sinMPhi[am];
    const std::complex<double> y(real * g.cosMPhi[am], real * (m < 0 ? -s : s));
    return y * amplitude;
  };
  return SpinorValue::fromComponents(component(upScale_, up.m), component(downScale_, down.m));
}
