#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dsp/FunctionTable.hpp"
#include "dsp/Spinor.hpp"
#include "dsp/Wrap.hpp"

using namespace snl;
using SpinorTable = FunctionTable<Spinor<double>, ipl::Linear, acc::Wrap>;

namespace {
SpinorTable ramp() {
  SpinorTable t(512);
  for (uint32_t i = 0; i < 512; ++i) t[i] = Spinor<double>(i, -double(i), 2.0 * i, 1.0);
  return t;
}
}  // namespace

TEST(FunctionTable, ReadsWrapAroundTheCycle) {
  const SpinorTable t = ramp();
  EXPECT_EQ(t.sizeD(), 512.0);
  EXPECT_EQ(t.invSize(), 1.0 / 512);
  EXPECT_EQ(t.read(1.0), t[0]);
  EXPECT_EQ(t.read(0.0), t[0]);
  EXPECT_EQ(t.read(3.0 + 10.0 / 512), t[10]);
  EXPECT_EQ(t.read(-2.0 + 10.0 / 512), t[10]);
  // Between the last entry and the first.
  const Spinor<double> mid = t.read(511.5 / 512);
  EXPECT_EQ(mid, Spinor<double>(255.5, -255.5, 511.0, 1.0));
  // Linear between neighbours, every component.
  const Spinor<double> q = t.read(100.25 / 512);
  EXPECT_DOUBLE_EQ(q.a, 100.25);
  EXPECT_DOUBLE_EQ(q.b, -100.25);
  EXPECT_DOUBLE_EQ(q.c, 200.5);
  EXPECT_DOUBLE_EQ(q.d, 1.0);
}

TEST(FunctionTable, HostilePhasesStayInsideTheTable) {
  const SpinorTable t = ramp();
  const double below1 = std::nextafter(1.0, 0.0);
  const Spinor<double> last = t.read(below1);
  EXPECT_GE(last.a, 0.0);
  EXPECT_LE(last.a, 511.0);
  EXPECT_EQ(t.read(-1e-300).a, t.read(below1).a);
  EXPECT_EQ(t.read(std::numeric_limits<double>::quiet_NaN()), t[0]);
  EXPECT_EQ(t.read(std::numeric_limits<double>::infinity()), t[0]);
  const double big = t.read(1e12 + 0.5).a;
  EXPECT_NEAR(big, 256.0, 1e-3);
  FunctionTable<float> f(4);
  f[1] = 2.0f;
  EXPECT_FLOAT_EQ(f.read(0.125), 1.0f);
  FunctionTable<float> empty(0);
  EXPECT_EQ(empty.read(0.3), 0.0f);
}

TEST(Wrap, FoldsIntoTheHalfOpenRange) {
  EXPECT_EQ(acc::Wrap::wrap(2.5, 1.0, 0.0), 0.5);
  EXPECT_EQ(acc::Wrap::wrap(-0.25, 1.0, 0.0), 0.75);
  EXPECT_EQ(acc::Wrap::wrap(-7.25, 1.0, 0.0), 0.75);
  EXPECT_EQ(acc::Wrap::wrap(13.0, 5.0, 2.0), 4.0);
  EXPECT_EQ(acc::Wrap::wrap(3.0, 2.0, 2.0), 2.0);
  const double tiny = acc::Wrap::wrap(-1e-20, 1.0, 0.0);
  EXPECT_LT(tiny, 1.0);
  EXPECT_EQ(tiny, std::nextafter(1.0, 0.0));
}
