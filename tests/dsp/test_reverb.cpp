#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "DspTestUtil.hpp"
#include "dsp/Biquad.hpp"
#include "dsp/BlockDC.hpp"
#include "dsp/CombChorus.hpp"
#include "dsp/OnePole.hpp"
#include "dsp/PlateReverb.hpp"
#include "dsp/ScopedFlushDenormals.hpp"

using namespace snl;

namespace {

bool subnormal(float x) {
  return std::fpclassify(x) == FP_SUBNORMAL;
}

// Energy of the left and right outputs in consecutive 100 ms blocks after a unit impulse.
struct Blocks {
  std::vector<double> left, right;
  double maxDiff = 0;
};
Blocks impulseBlocks(PlateReverb& r, int count) {
  Blocks b;
  const int n = int(0.1 * test::kRate);
  for (int k = 0; k < count; ++k) {
    double el = 0, er = 0;
    for (int i = 0; i < n; ++i) {
      const auto o = r(k == 0 && i == 0 ? 1.0f : 0.0f, 0.6f);
      EXPECT_TRUE(std::isfinite(o.left) && std::isfinite(o.right));
      el += double(o.left) * o.left;
      er += double(o.right) * o.right;
      b.maxDiff = std::max(b.maxDiff, double(std::fabs(o.left - o.right)));
    }
    b.left.push_back(el);
    b.right.push_back(er);
  }
  return b;
}

}  // namespace

TEST(PlateReverb, SilenceInGivesExactSilenceOut) {
  PlateReverb r;
  for (int i = 0; i < 20000; ++i) {
    const auto o = r(0.0f, 0.6f);
    ASSERT_EQ(o.left, 0.0f);
    ASSERT_EQ(o.right, 0.0f);
  }
}

TEST(PlateReverb, AnImpulseLeavesADecayingTailThatDiffersBetweenSides) {
  PlateReverb r;
  const Blocks b = impulseBlocks(r, 40);
  EXPECT_GT(b.left[1], 1e-4);
  EXPECT_GT(b.right[1], 1e-4);
  EXPECT_GT(b.maxDiff, 1e-3);  // the two sides tap different places of the tank
  for (int k = 5; k < 40; ++k) {
    EXPECT_LT(b.left[k], b.left[k - 1]) << k;
    EXPECT_LT(b.right[k], b.right[k - 1]) << k;
  }
  EXPECT_LT(b.left[39], 1e-3 * b.left[5]);
  // The gain scales both outputs.
  PlateReverb a, c;
  for (int i = 0; i < 5000; ++i) {
    const auto x = a(i == 0 ? 1.0f : 0.0f, 0.6f), y = c(i == 0 ? 1.0f : 0.0f, 0.3f);
    ASSERT_FLOAT_EQ(x.left * 0.5f, y.left);
  }

  r.reset();
  for (int i = 0; i < 20000; ++i) {
    const auto o = r(0.0f, 0.6f);
    ASSERT_EQ(o.left, 0.0f);
    ASSERT_EQ(o.right, 0.0f);
  }
}

// Recursive units must reach exact zero after an impulse instead of lingering in the subnormal
// range, whatever the thread's floating-point mode (here the default, which keeps subnormals).
TEST(Denormals, FeedbackTailsDecayToExactZeroWithoutSubnormals) {
  test::useAudioRate();
  ASSERT_FALSE(ScopedFlushDenormals::active());
  PlateReverb rev;
  CombChorus chorus(0.31f, 0.002f, 0.71f, 0.9f, 0.1f);
  BlockDC<float> dc;
  Biquad<float> bq(RESONANT, 1200.0f, 0.001f);
  OnePole<float> lp(10.0f);
  bool allZero = false;
  const int n = int(240 * test::kRate);
  int sub = 0;
  for (int i = 0; i < n; ++i) {
    const float x = i == 0 ? 1.0f : 0.0f;
    const auto o = rev(x, 0.6f);
    const float y[] = {o.left, o.right, chorus(x), dc(x), bq(x), lp(x)};
    bool zero = true;
    for (float v : y) {
      sub += subnormal(v);
      zero = zero && v == 0.0f;
    }
    if (i > n / 2 && zero) {
      allZero = true;
      break;
    }
  }
  EXPECT_EQ(sub, 0);
  EXPECT_TRUE(allZero);
}

TEST(Denormals, ScopedFlushSetsAndRestoresTheThreadMode) {
  volatile float tiny = 1e-30f;
  volatile float scale = 1e-10f;
  EXPECT_FALSE(ScopedFlushDenormals::active());
  EXPECT_TRUE(subnormal(tiny * scale));
  {
    ScopedFlushDenormals flush;
    EXPECT_TRUE(ScopedFlushDenormals::active());
    {
      ScopedFlushDenormals nested;
      EXPECT_TRUE(ScopedFlushDenormals::active());
    }
    EXPECT_TRUE(ScopedFlushDenormals::active());  // the inner scope restored the outer mode
    EXPECT_EQ(tiny * scale, 0.0f);
  }
  EXPECT_FALSE(ScopedFlushDenormals::active());
  EXPECT_TRUE(subnormal(tiny * scale));
}
