#pragma once

#include <complex>

#include "PointBlock.hpp"
#include "SphericalPoint.hpp"
#include "SpinorMath.hpp"
#include "math/vl_Vec.hpp"

// One orbital part of a spin-orbit eigenstate: quantum numbers, magnetic number, spin and
// Clebsch-Gordan coefficient.
struct WaveComponent {
  int n = 0;
  int l = 0;
  int m = 0;
  double spin = 0.0;
  double coefficient = 0.0;
};

// One hydrogen spin-orbit eigenstate |n l J m> (nuclear charge and Bohr radius 1) with an
// amplitude and a turning phase. The spinor at a point is
//   weight * phase * (c_up R_nl Y(l, m - 1/2), c_down R_nl Y(l, m + 1/2)).
//
// configure() takes the six numbers as a parameter group holds them and makes them safe to
// evaluate for any value: n below 1 (the group's unset default) makes the state contribute
// nothing, the numbers are kept within their ranges (n <= 99, l <= n - 1, |J|, |j| <= 9.5,
// |f| <= 99, 0 <= w <= 1), non-finite input counts as 0, and a coefficient whose root would be
// of a negative number (a projection larger than the total momentum allows) is 0. Every
// constant that does not depend on the point is computed here, so that evaluation is only
// recurrences and products.
class WaveFunction {
 public:
  // As configured: n and l integer valued, J and j raw.
  double n = 0.0, l = 0.0, J = 0.0, j = 0.0, f = 0.0, w = 0.0;
  WaveComponent up{0, 0, 0, 0.5, 0.0};
  WaveComponent down{0, 0, 0, -0.5, 0.0};
  double JHalf = 0.5;    // truncate(J - 0.5) + 0.5
  double mHalf = 0.5;    // truncate(j - 0.5) + 0.5
  bool aligned = false;  // J > l: the j = l + 1/2 branch
  bool upValid = false, downValid = false;
  std::complex<double> weight{0.0, 0.0};
  std::complex<double> phase{1.0, 0.0};
  std::complex<double> rotor{1.0, 0.0};

  WaveFunction();

  void configure(double n, double l, double J, double j, double f, double w);

  // False until configured with n >= 1; an inactive state evaluates to zero.
  bool active() const { return mActive; }
  // The largest |m| of a valid component (for sizing a point's power tables).
  int maxAbsM() const { return mMaxAbsM; }
  // 1/n: the decay factor at distance r is e^{-r/n}.
  double inverseN() const { return mInverseN; }

  void advancePhase() { phase *= rotor; }
  // Phase and rotor back to 1; the rotor takes its angle again at the next configure().
  void resetPhase() { phase = rotor = std::complex<double>(1.0, 0.0); }

  Spinor evaluate(const vl::Vec3d& p) const;
  Spinor evaluate(const SphericalPoint& g) const;
  // With the decay factor e^{-r/n} supplied by a caller that shares it among states.
  // g must hold powers up to maxAbsM().
  Spinor evaluate(const SphericalPoint& g, double decay) const;

  // The same for every point of a block, with decay[i] = e^{-r_i/n}: adds the values to the
  // block's sums and, with `atGroupStarts` given, stores the value at the first point of group
  // k in atGroupStarts[k * stride]. The block must hold powers up to maxAbsM().
  // With `add` false the sums are set instead (the first state to contribute); returns
  // whether the state contributed anything.
  bool addBlock(const PointBlock& g, const double* decay, PointBlock::Sums& sum, bool add = true,
                Spinor* atGroupStarts = nullptr, int stride = 1) const;

  // The parts on their own, for the configured n and l: R_nl(r), and the angular function
  // Y(l, m) for |m| <= min(l, 10) (0 otherwise; g must hold powers up to |m|).
  double radial(double r) const;
  std::complex<double> angular(int m, const SphericalPoint& g) const;

 private:
  double radialWithDecay(double r, double decay) const;
  double radialFar(double q) const;
  // Associated Legendre function divided by its value at l = |m|, i.e. P(l, am, x) / P(am, am).
  double legendreRatio(int am, double x) const;
  double laguerreBoundLog(double q) const;

  const double* mReciprocal;  // the shared table of 1/k
  bool mActive = false;
  int mMaxAbsM = 0;
  int mDegree = -1;  // n - l - 1
  double mInverseN = 1.0;
  double mTwoOverN = 2.0;
  double mRadialNorm = 0.0;
  double mLogRadialNorm = 0.0;
  double mFastLimit = 0.0;  // largest q = 2r/n evaluated without rescaling
  // c * N[l][m] * mProd{k=1..|m|} (1 - 2k) for each component, 0 if invalid.
  double mUpScale = 0.0, mDownScale = 0.0;
};

// The evaluation is inline: it runs 21 times per particle and step.

inline double WaveFunction::radialWithDecay(double r, double decay) const {
  const double q = r * mTwoOverN;
  if (!(q <= mFastLimit)) return radialFar(q);
  const int li = int(l);
  double power = 1.0;
  for (int k = 0; k < li; ++k) power *= q;
  double lag = 1.0;
  if (mDegree >= 1) {
    double l0 = 1.0, l1 = 2.0 * li + 2.0 - q;
    double a = 2.0 * li + 4.0;  // 2k + 2l + 2 at k = 1
    double b = 2.0 * li + 2.0;  // k + 2l + 1 at k = 1
    for (int k = 1; k < mDegree; ++k) {
      const double l2 = ((a - q) * l1 - b * l0) * mReciprocal[k + 1];
      l0 = l1;
      l1 = l2;
      a += 2.0;
      b += 1.0;
    }
    lag = l1;
  }
  return mRadialNorm * power * lag * decay;
}

inline double WaveFunction::legendreRatio(int am, double x) const {
  const int li = int(l);
  if (li == am) return 1.0;
  double p0 = 1.0, p1 = (2.0 * am + 1.0) * x;
  for (int k = am + 2; k <= li; ++k) {
    const double p2 = ((2.0 * k - 1.0) * x * p1 - (k + am - 1.0) * p0) * mReciprocal[k - am];
    p0 = p1;
    p1 = p2;
  }
  return p1;
}

inline Spinor WaveFunction::evaluate(const SphericalPoint& g, double decay) const {
  // Complex products written out: the library's operator carries NaN recovery we do not need.
  const double ampRe = weight.real() * phase.real() - weight.imag() * phase.imag();
  const double ampIm = weight.real() * phase.imag() + weight.imag() * phase.real();
  if (!mActive || (ampRe == 0.0 && ampIm == 0.0)) return {};
  const double radialValue = radialWithDecay(g.r, decay);
  Spinor out;
  auto component = [&](double scale, int m, double& re, double& im) {
    if (scale == 0.0) return;
    const int am = m < 0 ? -m : m;
    const double real = scale * radialValue * legendreRatio(am, g.cosTheta) * g.sinThetaPow[am];
    const double yRe = real * g.cosMPhi[am];
    const double yIm = real * (m < 0 ? -g.sinMPhi[am] : g.sinMPhi[am]);
    re = yRe * ampRe - yIm * ampIm;
    im = yRe * ampIm + yIm * ampRe;
  };
  component(mUpScale, up.m, out.a, out.b);
  component(mDownScale, down.m, out.c, out.d);
  return out;
}
