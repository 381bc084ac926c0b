#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>

#include "WaveFunction.hpp"
#include "WaveTables.hpp"
#include "application/reference_values.hpp"

namespace {

SphericalPoint fromAngles(double theta, double phi, int powers) {
  SphericalPoint g;
  g.r = 1.0;
  g.cosTheta = std::cos(theta);
  g.sinTheta = std::sin(theta);
  g.cosPhi = std::cos(phi);
  g.sinPhi = std::sin(phi);
  g.fillPowers(powers);
  return g;
}

WaveFunction configured(double n, double l, double J, double j, double f = 0.0, double w = 1.0) {
  WaveFunction wf;
  wf.configure(n, l, J, j, f, w);
  return wf;
}

}  // namespace

TEST(WaveFunctionReference, RadialFunctionsMatchClosedForm) {
  for (const auto& ref : kRadialReference) {
    WaveFunction wf = configured(ref.n, ref.l, ref.l + 0.5, 0.5);
    const double value = wf.radial(ref.r);
    // Near a node the local size of the function is the natural yardstick.
    const double tolerance = 1e-10 * std::abs(ref.value) + 1e-12 * ref.localScale;
    EXPECT_NEAR(value, ref.value, tolerance) << "n=" << ref.n << " l=" << ref.l << " r=" << ref.r;
  }
}

TEST(WaveFunctionReference, AngularFunctionsMatchSphericalHarmonics) {
  for (const auto& ref : kAngularReference) {
    WaveFunction wf = configured(ref.l + 1, ref.l, ref.l + 0.5, 0.5);
    const std::complex<double> y = wf.angular(ref.m, fromAngles(ref.theta, ref.phi, ref.m));
    const double scale = std::max(1.0, std::abs(std::complex<double>(ref.re, ref.im)));
    EXPECT_NEAR(y.real(), ref.re, 1e-11 * scale) << "l=" << ref.l << " m=" << ref.m;
    EXPECT_NEAR(y.imag(), ref.im, 1e-11 * scale) << "l=" << ref.l << " m=" << ref.m;
  }
}

TEST(WaveFunctionReference, NegativeMUsesTheTableAsWritten) {
  // N[l][-m] = N[l][m] (l + m)! / (l - m)!, with P(l, |m|) and e^{-i|m|phi}: the conjugate of
  // the m > 0 function scaled by the factorial ratio (no (-1)^m).
  const SphericalPoint g = fromAngles(0.9, -1.3, 10);
  for (int l : {1, 3, 5, 20}) {
    WaveFunction wf = configured(l + 1, l, l + 0.5, 0.5);
    for (int m = 1; m <= std::min(l, 10); ++m) {
      double ratio = 1.0;
      for (int k = l - m + 1; k <= l + m; ++k) ratio *= k;
      const std::complex<double> expected = std::conj(wf.angular(m, g)) * ratio;
      const std::complex<double> y = wf.angular(-m, g);
      EXPECT_NEAR(y.real(), expected.real(), 1e-12 * std::abs(expected)) << l << " " << m;
      EXPECT_NEAR(y.imag(), expected.imag(), 1e-12 * std::abs(expected)) << l << " " << m;
    }
  }
  EXPECT_DOUBLE_EQ(WaveTables::get().norm(5, -5),
                   std::sqrt(11.0 / (4.0 * std::numbers::pi) * 3628800.0));
}

TEST(WaveFunctionReference, CoefficientsAreClebschGordan) {
  for (const auto& ref : kClebschGordanReference) {
    // Aligned is J > l; the not-aligned branch is J = l - 1/2.
    WaveFunction wf = configured(ref.l + 1, ref.l, ref.J, ref.m);
    EXPECT_EQ(wf.aligned, ref.J > ref.l);
    // An invalid component contributes nothing, whatever its coefficient.
    const double up = wf.upValid ? wf.up.coefficient : 0.0;
    const double down = wf.downValid ? wf.down.coefficient : 0.0;
    EXPECT_NEAR(up, ref.up, 1e-15) << ref.l << " " << ref.J << " " << ref.m;
    EXPECT_NEAR(down, ref.down, 1e-15) << ref.l << " " << ref.J << " " << ref.m;
  }
}

TEST(WaveFunctionReference, WholeSpinorsMatchClosedForm) {
  for (const auto& ref : kSpinorReference) {
    WaveFunction wf = configured(ref.n, ref.l, ref.J, ref.j, 0.0, ref.w);
    const Spinor psi = wf.evaluate(vl::Vec3d(ref.p[0], ref.p[1], ref.p[2]));
    const double got[4] = {psi.a, psi.b, psi.c, psi.d};
    double scale = 0.0;
    for (double v : ref.psi) scale = std::max(scale, std::abs(v));
    for (int k = 0; k < 4; ++k)
      EXPECT_NEAR(got[k], ref.psi[k], 1e-12 * scale + 1e-300)
          << "n=" << ref.n << " l=" << ref.l << " j=" << ref.j << " component " << k;
  }
}

TEST(WaveFunctionConfigure, ClampsAndSnapsQuantumNumbers) {
  WaveFunction wf = configured(3.9, 7.0, 0.7, -0.7);
  EXPECT_EQ(wf.n, 3.0);
  EXPECT_EQ(wf.l, 2.0);  // l of n or more is used as n - 1
  EXPECT_EQ(wf.JHalf, 0.5);
  EXPECT_EQ(wf.mHalf, -0.5);
  EXPECT_EQ(wf.up.m, -1);
  EXPECT_EQ(wf.down.m, 0);
  EXPECT_FALSE(wf.aligned);

  wf = configured(2, 1, 1.2, 2.3);  // j snaps to 1.5: m_up = 1 valid, m_down = 2 not
  EXPECT_EQ(wf.mHalf, 1.5);
  EXPECT_TRUE(wf.upValid);
  EXPECT_FALSE(wf.downValid);
  EXPECT_TRUE(wf.aligned);
  EXPECT_EQ(wf.JHalf, 0.5);

  // Beyond the ranges: kept at the ends.
  wf = configured(250, 300, 40, -40, 500, 7);
  EXPECT_EQ(wf.n, 99.0);
  EXPECT_EQ(wf.l, 98.0);
  EXPECT_EQ(wf.J, 9.5);
  EXPECT_EQ(wf.j, -9.5);
  EXPECT_EQ(wf.f, 99.0);
  EXPECT_EQ(wf.weight, std::complex<double>(1.0, 0.0));
  EXPECT_EQ(wf.up.m, -10);
}

TEST(WaveFunctionConfigure, NotAlignedBranch) {
  WaveFunction wf = configured(2, 1, 0.5, 0.5);
  EXPECT_FALSE(wf.aligned);
  EXPECT_NEAR(wf.up.coefficient, -std::sqrt(1.0 / 3.0), 1e-15);
  EXPECT_NEAR(wf.down.coefficient, std::sqrt(2.0 / 3.0), 1e-15);
  // J = l exactly is not aligned either.
  EXPECT_FALSE(configured(3, 1, 1.0, 0.5).aligned);
  EXPECT_TRUE(configured(3, 1, 1.01, 0.5).aligned);
}

TEST(WaveFunctionConfigure, UnsetOrNonFiniteNumbersContributeNothing) {
  // The group's unset default (n = 0, below the minimum) never reaches the formulas.
  WaveFunction unset = configured(0, 0, 0, 0, 0, 0);
  EXPECT_FALSE(unset.active());
  EXPECT_EQ(unset.evaluate(vl::Vec3d(0.3, 0.2, 0.1)), Spinor{});
  WaveFunction nanN = configured(std::nan(""), 1, 1.5, 0.5, 0, 1);
  EXPECT_FALSE(nanN.active());
  WaveFunction nanRest = configured(2, std::nan(""), INFINITY, std::nan(""), std::nan(""), 1);
  EXPECT_TRUE(nanRest.active());
  EXPECT_TRUE(isFinite(nanRest.evaluate(vl::Vec3d(0.3, 0.2, 0.1))));
  EXPECT_EQ(nanRest.rotor, std::complex<double>(1.0, 0.0));
}

TEST(WaveFunctionConfigure, ImpossibleProjectionGivesZeroNotNaN) {
  // J = 0.5 with l = 2 and j = 2.5: the root of (J + 1 - m)/(2J + 2) would be of -1/3.
  WaveFunction wf = configured(3, 2, 0.5, 2.5);
  EXPECT_TRUE(wf.upValid);
  EXPECT_EQ(wf.up.coefficient, 0.0);
  EXPECT_TRUE(isFinite(wf.evaluate(vl::Vec3d(0.5, -0.4, 1.0))));
  // Negative J far below l.
  WaveFunction neg = configured(3, 1, -0.7, 1.5);
  EXPECT_EQ(neg.JHalf, -0.5);
  EXPECT_TRUE(isFinite(neg.evaluate(vl::Vec3d(0.5, -0.4, 1.0))));
}

TEST(WaveFunctionEvaluate, WeightPhaseAndRotor) {
  WaveFunction wf = configured(3, 2, 2.5, 0.5, 0.25, 1.0);
  EXPECT_NEAR(wf.rotor.real(), 0.0, 1e-15);
  EXPECT_NEAR(wf.rotor.imag(), 1.0, 1e-15);
  const vl::Vec3d p(0.4, -0.7, 0.9);
  const Spinor base = wf.evaluate(p);
  wf.advancePhase();  // phase i: (a, b) -> (-b, a)
  const Spinor turned = wf.evaluate(p);
  EXPECT_NEAR(turned.a, -base.b, 1e-15);
  EXPECT_NEAR(turned.b, base.a, 1e-15);
  EXPECT_NEAR(turned.c, -base.d, 1e-15);
  EXPECT_NEAR(turned.d, base.c, 1e-15);
  wf.resetPhase();
  EXPECT_EQ(wf.phase, std::complex<double>(1.0, 0.0));
  EXPECT_EQ(wf.rotor, std::complex<double>(1.0, 0.0));
  wf.rotor *= 2.0;  // the rotor keeps its magnitude across configuration
  wf.configure(3, 2, 2.5, 0.5, 0.5, 1.0);
  EXPECT_NEAR(wf.rotor.real(), -2.0, 1e-14);

  WaveFunction silent = configured(3, 2, 2.5, 0.5, 0.1, 0.0);
  EXPECT_EQ(silent.evaluate(p), Spinor{});
}

TEST(WaveFunctionEvaluate, OriginIsWellDefined) {
  for (int n = 1; n <= 6; ++n)
    for (int l = 0; l < n; ++l) {
      WaveFunction wf = configured(n, l, l + 0.5, -0.5);
      const Spinor psi = wf.evaluate(vl::Vec3d(0.0, 0.0, 0.0));
      EXPECT_TRUE(isFinite(psi)) << n << " " << l;
      if (l > 0) {
        EXPECT_LT(norm(psi), 1e-6);
      }
    }
  // 1s at the origin is 2 / sqrt(4 pi) up to the 1e-6 offset.
  EXPECT_NEAR(configured(1, 0, 0.5, 0.5).evaluate(vl::Vec3d(0.0, 0.0, 0.0)).a,
              1.0 / std::sqrt(std::numbers::pi), 1e-6);
}

// Every quantum number within the ranges, at points near and very far, stays finite.
TEST(WaveFunctionEvaluate, FiniteAcrossTheWholeRange) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::vector<vl::Vec3d> points = {
      {0, 0, 0},  {0, 0, 1e-300},         {1e-5, 1e-5, 1e-5},
      {0, 0, -5}, {1e200, -1e200, 1e200}, {1.7e308, 1.7e308, -1.7e308}};
  for (double scale : {0.1, 3.0, 60.0, 900.0, 2e4, 1e6, 1e9})
    for (int k = 0; k < 4; ++k)
      points.push_back(vl::Vec3d(unit(rng), unit(rng), unit(rng)) * scale);
  for (int n : {1, 2, 7, 13, 30, 64, 99})
    for (int l : {0, 1, 5, 6, 12, 50, 98}) {
      if (l >= n) continue;
      for (double J : {-9.5, -0.7, 0.5, 9.5})
        for (double j : {-9.5, -0.5, 0.5, 9.5}) {
          WaveFunction wf = configured(n, l, J, j, 0.3, 1.0);
          wf.phase = {99999.0, -99999.0};
          for (const auto& p : points) {
            const Spinor psi = wf.evaluate(p);
            ASSERT_TRUE(isFinite(psi)) << n << " " << l << " " << J << " " << j << " " << p;
            // Squared magnitudes (spin, density) stay finite as well.
            ASSERT_TRUE(std::isfinite(normSquared(psi) * normSquared(psi)));
          }
        }
    }
}
