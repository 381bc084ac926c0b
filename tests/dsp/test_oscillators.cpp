#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "DspTestUtil.hpp"
#include "dsp/Accum.hpp"
#include "dsp/CSine.hpp"
#include "dsp/LFO.hpp"

using namespace snl;

TEST(Accum, KeepsTheExactFrequencyOverTenMinutes) {
  test::useAudioRate();
  for (float f : {440.0f, 0.71f, 1234.5f}) {
    Accum<> acc(f);
    const uint64_t n = uint64_t(600 * test::kRate);
    uint64_t wraps = 0;
    uint32_t last = acc();
    for (uint64_t i = 1; i < n; ++i) {
      const uint32_t p = acc();
      wraps += p < last;
      last = p;
    }
    // Cycles elapsed when the n-th sample would be read.
    const double cycles = double(wraps) + (double(last) + acc.increment()) / 4294967296.0;
    EXPECT_NEAR(cycles, double(f) * 600.0, 0.01) << f;
  }
}

TEST(Accum, RoundsToNearestEvenAndWrapsPhases) {
  Domain d;
  d.setSampleRate(8589934592.0);  // 2^33: the increment is half the frequency
  Accum<> acc(3.0f);
  acc.attach(d);
  EXPECT_EQ(acc.increment(), 2u);  // 1.5 rounds to 2
  acc.freq(5.0f);
  EXPECT_EQ(acc.increment(), 2u);  // 2.5 rounds to 2
  acc.freq(7.0f);
  EXPECT_EQ(acc.increment(), 4u);  // 3.5 rounds to 4
  acc.freq(-2.0f);
  EXPECT_EQ(acc.increment(), 0xFFFFFFFFu);  // negative frequencies run backwards

  acc.phase(0.5);
  EXPECT_EQ(acc.phaseI(), 0x80000000u);
  acc.phase(-0.25);
  EXPECT_EQ(acc.phaseI(), 0xC0000000u);
  acc.phase(2.25);
  EXPECT_EQ(acc.phaseI(), 0x40000000u);
  EXPECT_FLOAT_EQ(phaseFraction(0x40000000u), 0.25f);
  EXPECT_LT(phaseFraction(0xFFFFFFFFu), 1.0f);
  EXPECT_EQ(phaseFraction(0u), 0.0f);

  // A rate change keeps the frequency and recomputes the increment.
  acc.freq(1000.0f);
  d.setSampleRate(1000.0);
  EXPECT_EQ(acc.freq(), 1000.0f);
  acc.phase(0.0);
  EXPECT_EQ(acc(), 0u);
  EXPECT_EQ(acc(), 0u);  // one full cycle per sample
}

TEST(LFO, PulseWidthSetsTheDutyCycle) {
  test::useAudioRate();
  LFO<> lfo(441.0f, 0.0f, 0.25f);
  int high = 0;
  const int n = 44100;
  for (int i = 0; i < n; ++i) high += lfo.pulse() > 0.0f;
  EXPECT_NEAR(double(high) / n, 0.25, 0.002);
  LFO<> tri(441.0f);
  float lo = 1, hi = -1;
  for (int i = 0; i < 200; ++i) {
    const float v = tri.tri();
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_FLOAT_EQ(lo, -1.0f);
  EXPECT_NEAR(hi, 1.0f, 0.02f);
}

TEST(CSine, RotatesAtItsFrequencyAndDecaysBySixtyDecibels) {
  test::useAudioRate();
  CSine<double> s(0.71, 0.002);
  std::complex<double> z;
  const int n = 441000;
  for (int i = 0; i <= n; ++i) z = s();
  const auto expected = std::polar(0.002, 2 * std::numbers::pi * 0.71 * n / test::kRate);
  EXPECT_NEAR(z.real(), expected.real(), 1e-12);
  EXPECT_NEAR(z.imag(), expected.imag(), 1e-12);

  CSine<double> d(100.0, 1.0, 0.5);
  for (int i = 0; i < int(0.5 * test::kRate); ++i) d();
  EXPECT_NEAR(std::abs(d.val()), 0.001, 1e-9);

  // A rate change keeps the current value and changes the step.
  Domain dom;
  dom.setSampleRate(1000.0);
  CSine<double> q(250.0);
  q.attach(dom);
  q();
  const auto before = q.val();
  dom.setSampleRate(500.0);
  EXPECT_EQ(q.val(), before);
  q();
  EXPECT_NEAR(std::abs(q.val() - before * std::complex<double>(-1, 0)), 0.0, 1e-12);
}
