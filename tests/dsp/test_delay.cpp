#include <gtest/gtest.h>

#include <cmath>

#include "DspTestUtil.hpp"
#include "dsp/Comb.hpp"
#include "dsp/CombChorus.hpp"
#include "dsp/Delay.hpp"

using namespace snl;

TEST(Delay, ResizesWithTheRateOfItsDomain) {
  Domain d;
  Delay<float> line(0.312f, 0.1f);
  line.attach(d);
  d.setSampleRate(44100.0);
  EXPECT_EQ(line.size(), 16384u);
  EXPECT_TRUE(line.isSoleOwner());
  d.setSampleRate(96000.0);
  EXPECT_EQ(line.size(), 32768u);
  line.maxDelay(0.01f);
  EXPECT_EQ(line.size(), 1024u);
}

TEST(Delay, WholeSampleDelaysShiftExactly) {
  test::useAudioRate();
  for (int n : {1, 7, 100, 1000}) {
    Delay<float> line(0.05f, float(n / test::kRate));
    for (int i = 0; i < 3000; ++i) {
      const float out = line(i == 10 ? 1.0f : 0.0f);
      // The delay in seconds is a float, so whole samples are met to about 1e-4.
      ASSERT_NEAR(out, i == 10 + n ? 1.0f : 0.0f, 1e-4f) << n << " " << i;
    }
  }
}

// Reads a delay of `delay` samples behind a line written with p(0), p(1), ... p(k).
template <class Ipl, class F>
float delayedRead(F p, int k, double delay) {
  Delay<float, Ipl> line(0.02f, float(delay / test::kRate));
  for (int i = 0; i <= k; ++i) line.write(p(double(i)));
  // The read phase is one step behind the write position, so delay d reads p(k + 1 - d).
  return line.read();
}

TEST(Delay, InterpolationReproducesLowOrderPolynomials) {
  test::useAudioRate();
  auto quad = [](double t) { return float(0.01 * (t - 40.0) * (t - 25.0) - 3.0); };
  auto line = [](double t) { return float(0.25 * t - 7.0); };
  const int k = 60;
  for (double d : {2.0, 2.25, 3.5, 7.8125, 17.375}) {
    const double t = k + 1 - d;
    EXPECT_NEAR(delayedRead<ipl::Cubic>(quad, k, d), quad(t), 2e-4) << d;
    EXPECT_NEAR(delayedRead<ipl::Linear>(line, k, d), line(t), 2e-5) << d;
  }
  // Between samples of a cubic, this four-point Hermite form is exact only to second degree:
  // p(t) = t³ at -1, 0, 1, 2 read at 1/4 gives 7/64, not 1/64.
  EXPECT_FLOAT_EQ(ipl::Cubic::value(-1.0f, 0.0f, 1.0f, 8.0f, 0.25f), 7.0f / 64.0f);
  // It always passes through the samples themselves.
  EXPECT_FLOAT_EQ(ipl::Cubic::value(3.0f, -2.0f, 5.0f, 1.0f, 0.0f), -2.0f);
}

TEST(Delay, DelaysBeyondTheBufferAreHeldAtItsEnd) {
  test::useAudioRate();
  Delay<float> line(0.01f, 0.0f);  // 441 samples -> 512
  line.delay(10.0f);
  EXPECT_EQ(line.delayPhase(), 510u * line.oneIndex());
  line.delay(-1.0f);
  EXPECT_EQ(line.delayPhase(), 0u);
}

TEST(Delay, OutsideBuffersSetTheMaximumAndCopiesOwnTheirLine) {
  test::useAudioRate();
  float outside[1024] = {};
  Delay<float> line(outside, 1024, 0.001f);
  EXPECT_EQ(line.elems(), outside);
  EXPECT_FLOAT_EQ(line.maxDelay(), float(1024 / test::kRate));
  line.write(3.0f);
  EXPECT_EQ(outside[0], 3.0f);

  Delay<float> a(0.01f, float(4 / test::kRate));
  a(1.0f);
  Delay<float> b(a);
  EXPECT_NE(b.elems(), a.elems());
  for (int i = 0; i < 3; ++i) a(0.0f), b(0.0f);
  EXPECT_NEAR(b(0.0f), 1.0f, 1e-6f);  // the copy carries the pending echo
  b.zero();
  EXPECT_NEAR(a(0.0f), 1.0f, 1e-6f);  // clearing the copy leaves the source alone
}

TEST(Comb, ImpulseResponseFollowsFeedForwardAndFeedback) {
  test::useAudioRate();
  const int n = 50;
  const float ffd = 0.9f, fbk = 0.5f;
  Comb<float> comb(0.01f, float(n / test::kRate), ffd, fbk);
  std::vector<float> y(3 * n + 1);
  for (size_t i = 0; i < y.size(); ++i) y[i] = comb(i == 0 ? 1.0f : 0.0f);
  EXPECT_NEAR(y[0], ffd, 1e-6f);
  EXPECT_NEAR(y[n], 1.0f + ffd * fbk, 1e-6f);
  EXPECT_NEAR(y[2 * n], fbk + ffd * fbk * fbk, 1e-6f);
  EXPECT_NEAR(y[3 * n], fbk * fbk + ffd * fbk * fbk * fbk, 1e-6f);
  EXPECT_NEAR(y[n / 2], 0.0f, 1e-6f);
}

TEST(CombChorus, EchoesAroundItsBaseDelayWithinTheDepth) {
  test::useAudioRate();
  CombChorus chorus(0.01f, 0.002f, 5.0f, 0.9f, 0.0f);
  EXPECT_EQ(chorus.comb1().size(), 1024u);  // 12 ms = 529 samples
  // Feed a long impulse train of period 2000 samples and find where each echo lands.
  const int base = int(0.01 * test::kRate);
  const int depth = int(0.002 * test::kRate) + 2;
  for (int i = 0; i < 20000; ++i) {
    const float y = chorus(i % 2000 == 0 ? 1.0f : 0.0f);
    const int since = i % 2000;
    if (since == 0) {
      EXPECT_NEAR(y, 0.9f, 1e-5f);
    } else if (std::fabs(y) > 0.05f) {
      EXPECT_LE(std::abs(since - base), depth) << i;
    }
  }
  chorus.zero();
  EXPECT_NEAR(chorus(0.0f), 0.0f, 1e-9f);
}
