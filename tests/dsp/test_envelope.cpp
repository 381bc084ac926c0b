#include <gtest/gtest.h>

#include <cmath>

#include "DspTestUtil.hpp"
#include "dsp/CurveSegment.hpp"
#include "dsp/Env.hpp"

using namespace snl;

TEST(CurveSegment, StartsAtItsStartAndReachesItsEndAfterNSteps) {
  for (double q : {-4.0, -1e-7, 0.0, 3.0, 20.0}) {
    for (uint32_t n : {1u, 2u, 100u, 57330u}) {
      CurveSegment c;
      c.set(n, q, 0.8, -0.3);
      EXPECT_NEAR(c(), 0.8f, 1e-5f) << q << " " << n;
      float v = 0;
      for (uint32_t i = 0; i < n; ++i) v = c();
      EXPECT_NEAR(v, -0.3f, 1e-5f) << q << " " << n;
    }
  }
  // Zero curvature is nearly a straight line; negative curvature rises fast, positive slowly.
  auto midpoint = [](double q) {
    CurveSegment c;
    c.set(100, q, 0.0, 1.0);
    float v = c();
    for (int i = 0; i < 50; ++i) v = c();
    return v;
  };
  EXPECT_NEAR(midpoint(0.0), 0.5f, 5e-4f);
  EXPECT_EQ(midpoint(0.0), midpoint(1e-5));                      // exactly zero counts as +1e-5
  EXPECT_NEAR(midpoint(-4.0), 1 / (1 + std::exp(-2.0)), 1e-5f);  // (1 - e^-2) / (1 - e^-4)
  EXPECT_LT(midpoint(4.0), 0.2f);
  // A zero-length segment holds its end.
  CurveSegment hold;
  hold.set(0, -4.0, 0.0, 0.6);
  EXPECT_FLOAT_EQ(hold(), 0.6f);
  EXPECT_FLOAT_EQ(hold(), 0.6f);
}

TEST(ADSR, RunsThroughItsSegmentsAndHoldsAtSustain) {
  test::useAudioRate();
  ADSR env(0.01f, 0.02f, 0.5f, 0.05f);
  // Segment lengths in whole samples, as the envelope truncates them.
  const int attack = int(double(0.01f) * test::kRate), decay = int(double(0.02f) * test::kRate);
  EXPECT_EQ(env.stage(), -1);
  EXPECT_EQ(env(), 0.0f);  // the attack starts at level 0
  float v = 0;
  for (int i = 1; i < attack; ++i) v = env();
  EXPECT_NEAR(v, 1.0f, 1e-3f);  // the curve's last step before its end
  EXPECT_EQ(env.stage(), 0);
  EXPECT_EQ(env(), 1.0f);  // the decay starts exactly at the peak level
  EXPECT_EQ(env.stage(), 1);
  for (int i = 1; i < decay; ++i) v = env();
  EXPECT_NEAR(v, 0.5f, 1e-3f);
  EXPECT_EQ(env(), 0.5f);
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(env(), 0.5f);
  EXPECT_EQ(env.stage(), 2);
  EXPECT_FALSE(env.done());
}

TEST(ADSR, ZeroAttackStartsInTheDecay) {
  test::useAudioRate();
  ADSR env(0.0f, 0.1f, 0.25f, 0.1f);
  EXPECT_EQ(env(), 1.0f);
  EXPECT_EQ(env.stage(), 1);
  EXPECT_LT(env(), 1.0f);
}

TEST(ADSR, ReleaseRampsFromWhereverTheEnvelopeStands) {
  test::useAudioRate();
  ADSR env(1.0f, 0.1f, 1.0f, 0.1f);
  float v = 0;
  for (int i = 0; i < 300; ++i) v = env();
  ASSERT_GT(v, 0.01f);
  ASSERT_LT(v, 0.5f);
  env.release();
  EXPECT_EQ(env.stage(), 2);
  EXPECT_FLOAT_EQ(env(), v);  // no jump
  float last = v;
  const int n = int(0.1 * test::kRate);
  for (int i = 1; i < n; ++i) {
    const float x = env();
    ASSERT_LE(x, last + 1e-7f);
    last = x;
  }
  EXPECT_NEAR(last, 0.0f, 1e-5f);
  EXPECT_FALSE(env.done());
  EXPECT_EQ(env(), 0.0f);
  EXPECT_TRUE(env.done());
}

TEST(ADSR, ReleasingTwiceDoesNothingTheSecondTime) {
  test::useAudioRate();
  ADSR once(0.01f, 0.01f, 0.7f, 0.2f), twice(0.01f, 0.01f, 0.7f, 0.2f);
  for (int i = 0; i < 2000; ++i) once(), twice();
  once.release();
  twice.release();
  for (int i = 0; i < 1000; ++i) once(), twice();
  twice.release();
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(once(), twice()) << i;
}

TEST(ADSR, DoneHoldsTheLastLevelAndResetStartsAgain) {
  test::useAudioRate();
  ADSR env(0.001f, 0.001f, 1.0f, 0.001f);
  env.level(3, 0.25f);
  for (int i = 0; i < 200; ++i) env();
  env.release();
  for (int i = 0; i < 100; ++i) env();
  EXPECT_TRUE(env.done());
  for (int i = 0; i < 100; ++i) ASSERT_EQ(env(), 0.25f);
  env.reset();
  EXPECT_EQ(env.stage(), -1);
  EXPECT_FALSE(env.done());
  EXPECT_EQ(env(), 0.0f);
  EXPECT_EQ(env.sustainPoint(), 2);
}

TEST(Env, LoopingEnvelopesCycleAndAllZeroLengthsDoNotHang) {
  test::useAudioRate();
  Env<3> env;
  env.sustainPoint(-1);
  env.loop(true);
  env.level(0, 0.0f), env.level(1, 1.0f), env.level(2, 0.5f);
  for (int i = 0; i < 3; ++i) env.length(i, 0.001f);  // 44 samples each
  float mx = 0;
  int restarts = 0;
  int prev = -1;
  for (int i = 0; i < 44 * 3 * 4; ++i) {
    mx = std::max(mx, env());
    restarts += env.stage() == 0 && prev == 2;
    prev = env.stage();
  }
  EXPECT_GE(restarts, 3);
  EXPECT_NEAR(mx, 1.0f, 1e-5f);
  EXPECT_FALSE(env.done());

  for (int i = 0; i < 3; ++i) env.length(i, 0.0f);
  env.reset();
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(std::isfinite(env()));
}
