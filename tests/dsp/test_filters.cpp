#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "DspTestUtil.hpp"
#include "dsp/Biquad.hpp"
#include "dsp/BlockDC.hpp"
#include "dsp/FastTrig.hpp"
#include "dsp/OnePole.hpp"

using namespace snl;
using C = std::complex<double>;
constexpr double kPi = std::numbers::pi;

namespace {

// Frequency response of the stored coefficients at w radians per sample.
C response(const Biquad<float>& f, double w) {
  const C z1 = std::polar(1.0, -w), z2 = z1 * z1;
  const double b0 = f.b0(), b1 = f.b1(), b2 = f.b2(), a1 = f.a1(), a2 = f.a2();
  return (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
}
double gain(const Biquad<float>& f, double w) {
  return std::abs(response(f, w));
}
double rad(double hz) {
  return 2 * kPi * hz / test::kRate;
}

// Band edges of the bilinear-transformed analog band pass s/Q / (s² + s/Q + 1): the analog
// edges Ω = (±1/Q + √(1/Q² + 4)) / 2 mapped back through the prewarped tangent.
std::pair<double, double> bandEdges(double w0, double q) {
  const double k = std::sqrt(1 / (q * q) + 4);
  const double t = std::tan(w0 / 2);
  return {2 * std::atan((-1 / q + k) / 2 * t), 2 * std::atan((1 / q + k) / 2 * t)};
}

}  // namespace

TEST(FastTrig, PolynomialsMatchTheLibraryAcrossHalfACycle) {
  for (double w = 0; w <= kPi; w += 0.001) {
    ASSERT_NEAR(polyCos(float(w)), std::cos(w), 2e-6) << w;
    ASSERT_NEAR(polySin(float(w)), std::sin(w), 2e-6) << w;
  }
  for (double x = 0; x <= 0.5; x += 0.001) {
    ASSERT_NEAR(fastCosCycles(float(x)), std::cos(2 * kPi * x), 1.2e-3) << x;
  }
}

TEST(Biquad, ResponsesMatchTheTextbookShapes) {
  test::useAudioRate();
  const double f0 = 1000, q = 2.0, w0 = rad(f0);
  Biquad<float> f(LOW_PASS, float(f0), float(q));
  EXPECT_NEAR(gain(f, 0), 1.0, 1e-5);
  EXPECT_NEAR(gain(f, kPi), 0.0, 1e-5);
  EXPECT_NEAR(gain(f, w0), q, 1e-3);  // the gain at the corner is the resonance
  f.res(float(1 / std::sqrt(2.0)));
  EXPECT_NEAR(20 * std::log10(gain(f, w0)), -3.0103, 1e-3);  // Butterworth: -3 dB at the corner

  f.set(float(f0), float(q), HIGH_PASS);
  EXPECT_NEAR(gain(f, 0), 0.0, 1e-5);
  EXPECT_NEAR(gain(f, kPi), 1.0, 1e-5);
  EXPECT_NEAR(gain(f, w0), q, 1e-3);

  f.type(RESONANT);
  EXPECT_NEAR(gain(f, w0), 1.0, 1e-4);
  auto [lo, hi] = bandEdges(w0, q);
  EXPECT_NEAR(gain(f, lo), std::sqrt(0.5), 1e-4);
  EXPECT_NEAR(gain(f, hi), std::sqrt(0.5), 1e-4);
  EXPECT_NEAR(gain(f, 0), 0.0, 1e-6);

  f.type(BAND_PASS);
  EXPECT_NEAR(gain(f, w0), q, 1e-3);  // constant skirt: peak gain equals the resonance
  EXPECT_NEAR(gain(f, lo), q * std::sqrt(0.5), 1e-3);

  f.type(BAND_REJECT);
  EXPECT_LT(gain(f, w0), 1e-3);
  EXPECT_NEAR(gain(f, 0), 1.0, 1e-5);
  EXPECT_NEAR(gain(f, kPi), 1.0, 1e-5);
  EXPECT_NEAR(gain(f, lo), std::sqrt(0.5), 1e-3);

  f.type(ALL_PASS);
  for (double w = 0; w < kPi; w += 0.05) ASSERT_NEAR(gain(f, w), 1.0, 1e-5) << w;
  EXPECT_NEAR(std::abs(std::arg(response(f, w0))), kPi, 1e-3);  // half a turn at the centre

  f.type(PEAKING);
  EXPECT_NEAR(gain(f, w0), 1.0, 1e-5);  // unit level: flat
  f.level(4.0f);
  EXPECT_NEAR(gain(f, w0), 4.0, 1e-3);
  EXPECT_NEAR(gain(f, 0), 1.0, 1e-5);
  EXPECT_NEAR(gain(f, kPi), 1.0, 1e-5);

  // Shelves with the unit shelf factor: A = 1/4, so the shelved side is A² and the corner A.
  f.set(float(f0), float(1 / std::sqrt(2.0)), LOW_SHELF);
  EXPECT_NEAR(gain(f, 0), 1.0 / 16, 1e-4);
  EXPECT_NEAR(gain(f, kPi), 1.0, 1e-4);
  EXPECT_NEAR(gain(f, w0), 0.25, 1e-3);
  f.type(HIGH_SHELF);
  EXPECT_NEAR(gain(f, 0), 1.0, 1e-4);
  EXPECT_NEAR(gain(f, kPi), 1.0 / 16, 1e-4);
  EXPECT_NEAR(gain(f, w0), 0.25, 1e-3);
}

TEST(Biquad, ProcessingRealisesTheStoredResponse) {
  test::useAudioRate();
  // The output filters' own setting: a very wide band pass at 1200 Hz.
  for (FilterType t : {RESONANT, LOW_PASS, PEAKING, HIGH_SHELF}) {
    Biquad<float> f(t, 1200.0f, t == RESONANT ? 0.001f : 3.0f, 2.0f);
    for (double hz : {100.0, 1200.0, 5000.0}) {
      f.zero();
      const double w = rad(hz);
      double peak = 0;
      for (int i = 0; i < 44100; ++i) {
        const float y = f(float(std::sin(w * i)));
        if (i > 22050) peak = std::max(peak, double(std::fabs(y)));
      }
      EXPECT_NEAR(peak, gain(f, w), 2e-3 * std::max(1.0, gain(f, w))) << t << " " << hz;
    }
  }
}

TEST(Biquad, FrequenciesAreClampedToTheUsableRange) {
  test::useAudioRate();
  Biquad<float> a(LOW_PASS, 30000.0f), b(LOW_PASS, 40000.0f);
  EXPECT_EQ(a.b0(), b.b0());
  EXPECT_EQ(a.a1(), b.a1());
  EXPECT_NEAR(gain(a, 3.13), std::sqrt(0.5), 1e-3);  // the corner sits at 3.13 rad per sample
  Biquad<float> neg(LOW_PASS, -50.0f);
  EXPECT_EQ(neg.b0(), 0.0f);                   // w = 0: the low pass closes entirely
  Biquad<float> bad(RESONANT, 1000.0f, 0.0f);  // zero resonance stays finite
  EXPECT_TRUE(std::isfinite(bad.b0()));
  // A rate change keeps the frequency in hertz.
  Domain d;
  d.setSampleRate(test::kRate);
  Biquad<float> r(LOW_PASS, 1000.0f, 2.0f);
  r.attach(d);
  d.setSampleRate(2 * test::kRate);
  EXPECT_NEAR(gain(r, rad(500)), 2.0, 1e-3);  // 1000 Hz at twice the rate: corner gain is Q
}

TEST(BlockDC, RemovesDcAndPassesTheAudioBand) {
  test::useAudioRate();
  BlockDC<float> dc(35.0f);
  EXPECT_FLOAT_EQ(dc.pole(), float(std::exp(-kPi * 35 / test::kRate)));
  float y = 0;
  for (int i = 0; i < 44100; ++i) y = dc(1.0f);
  EXPECT_NEAR(y, 0.0f, 1e-4f);
  dc.zero();
  double peak = 0;
  for (int i = 0; i < 44100; ++i) {
    y = dc(float(std::sin(rad(1000) * i)));
    if (i > 4410) peak = std::max(peak, double(std::fabs(y)));
  }
  EXPECT_NEAR(peak, 1.0, 1e-2);
}

TEST(OnePole, LowPassHasUnitDcGainAndFallsAboveItsCorner) {
  test::useAudioRate();
  OnePole<float> lp(10.0f);
  EXPECT_NEAR(lp.a0() + lp.b1(), 1.0f, 1e-6f);
  float y = 0;
  for (int i = 0; i < 44100 * 2; ++i) y = lp(1.0f);
  EXPECT_NEAR(y, 1.0f, 1e-3f);
  // Pole from the exact cosine: b1 = 2 - c - √((2 - c)² - 1).
  const double c = std::cos(rad(10)), p = 2 - c;
  EXPECT_NEAR(lp.b1(), p - std::sqrt(p * p - 1), 2e-4);  // within the fast cosine's error
  OnePole<float> sm(10.0f, SMOOTHING);
  EXPECT_FLOAT_EQ(sm.b1(), std::pow(0.001f, float(10 / test::kRate)));
  OnePole<float> hp(1000.0f, HIGH_PASS);
  EXPECT_LT(hp.b1(), 0.0f);
}
