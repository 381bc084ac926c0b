#include "WaveSuperposition.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numeric>

#include "Avx2Clones.hpp"

namespace {

// A common multiple above this would cost more products than the exponentials it saves.
constexpr int kMaxCommonMultiple = 64;

double power(double x, int k) {
  double result = 1.0;
  while (k > 0) {
    if (k & 1) result *= x;
    x *= x;
    k >>= 1;
  }
  return result;
}

// 1/k! for the series of e^x near 0.
constexpr double kSeries[15] = {1.0,
                                1.0,
                                1.0 / 2,
                                1.0 / 6,
                                1.0 / 24,
                                1.0 / 120,
                                1.0 / 720,
                                1.0 / 5040,
                                1.0 / 40320,
                                1.0 / 362880,
                                1.0 / 3628800,
                                1.0 / 39916800,
                                1.0 / 479001600,
                                1.0 / 6227020800,
                                1.0 / 87178291200};

}  // namespace

WaveSuperposition::WaveSuperposition() {
  plan();
}

void WaveSuperposition::configure(int k, double n, double l, double J, double j, double f,
                                  double w) {
  mStates[k].configure(n, l, J, j, f, w);
  plan();
}

void WaveSuperposition::advancePhases() {
  for (auto& s : mStates) s.advancePhase();
}

void WaveSuperposition::resetPhases() {
  for (auto& s : mStates) s.resetPhase();
}

void WaveSuperposition::plan() {
  mMaxAbsM = 0;
  int common = 1;
  for (const auto& s : mStates) {
    if (!s.active()) continue;
    mMaxAbsM = std::max(mMaxAbsM, s.maxAbsM());
    common = std::lcm(common, int(s.n));
    if (common > kMaxCommonMultiple) break;
  }
  if (common > kMaxCommonMultiple) {
    mInverseCommon = 0.0;
    return;
  }
  mInverseCommon = 1.0 / common;
  for (int k = 0; k < kStates; ++k)
    mDecayPower[k] = mStates[k].active() ? common / int(mStates[k].n) : 0;
}

Spinor WaveSuperposition::evaluate(const vl::Vec3d& p, Spinor* each) const {
  const SphericalPoint g(p, mMaxAbsM);
  const double base = mInverseCommon > 0.0 ? std::exp(-g.r * mInverseCommon) : 0.0;
  Spinor sum;
  for (int k = 0; k < kStates; ++k) {
    const WaveFunction& s = mStates[k];
    Spinor v;
    if (s.active()) {
      const double decay =
          mInverseCommon > 0.0 ? power(base, mDecayPower[k]) : std::exp(-g.r * s.inverseN());
      v = s.evaluate(g, decay);
    }
    sum += v;
    if (each) each[k] = v;
  }
  return sum;
}

void WaveSuperposition::evaluateBlock(const vl::Vec3d* points, int count, Spinor* sum,
                                      Spinor* each) const {
  PointBlock::Coordinates c;
  c.gather(points, std::clamp(count, 0, PointBlock::kMaxPoints));
  evaluate(c, sum, each);
}

void WaveSuperposition::evaluateStencils(const vl::Vec3d* centres, int count, double h, Spinor* sum,
                                         Spinor* each) const {
  PointBlock::Coordinates c;
  c.stencils(centres, std::clamp(count, 0, PointBlock::kGroups), h);
  evaluate(c, sum, each);
}

// Built for AVX2 as well as for plain x86-64; the loader picks one for the machine.
ZENTHA_AVX2_CLONES __attribute__((flatten)) void WaveSuperposition::evaluate(
    const PointBlock::Coordinates& points, Spinor* sum, Spinor* each) const {
  using Row = PointBlock::Row;
  constexpr int kLanes = PointBlock::kMaxPoints;
  const int count = points.count;
  PointBlock g;
  g.set(points, mMaxAbsM);
  PointBlock::Sums total;
  bool written = false;  // the first state to contribute sets the sums

  // e^{-r_i/N} from e^{-r_0/N} and the series of e^{-(r_i - r_0)/N}: one exponential per
  // block, as long as its points lie within N/2 of the first one in distance from the centre
  // (neighbours on the ring and their gradient points do).
  auto decays = [&](double inverseScale, Row& out) {
    const double base = std::exp(-g.r[0] * inverseScale);
    Row x, size, series;
    for (int i = 0; i < kLanes; ++i) x[i] = -(g.r[i] - g.r[0]) * inverseScale;
    for (int i = 0; i < kLanes; ++i) size[i] = std::abs(x[i]);
    // Terms enough for a remainder below 3e-17 relative at the largest |x|.
    const int degree = !PointBlock::anyAbove(size, 0.005)  ? 5
                       : !PointBlock::anyAbove(size, 0.01) ? 6
                       : !PointBlock::anyAbove(size, 0.1)  ? 9
                                                           : 14;
    for (int i = 0; i < kLanes; ++i) series[i] = kSeries[degree];
    for (int k = degree - 1; k >= 0; --k) {
      const double c = kSeries[k];
      for (int i = 0; i < kLanes; ++i) series[i] = series[i] * x[i] + c;
    }
    for (int i = 0; i < kLanes; ++i) out[i] = base * series[i];
    if (PointBlock::anyAbove(size, 0.5))
      for (int i = 0; i < kLanes; ++i)
        if (!(size[i] <= 0.5)) out[i] = std::exp(-g.r[i] * inverseScale);
  };
  // With a common multiple: the squares common^(2^j) once for all states, and each state's
  // decay the product of those its power takes, lowest first (as binary powering forms it).
  constexpr int kSquares = 7;
  static_assert(kMaxCommonMultiple < (2 << (kSquares - 1)),
                "a power needs a square beyond the last");
  std::array<Row, kSquares> squares;
  if (mInverseCommon > 0.0) {
    decays(mInverseCommon, squares[0]);
    int top = 0;
    for (int k = 0; k < kStates; ++k)
      if (mStates[k].active())
        while ((2 << top) <= mDecayPower[k] && top + 1 < kSquares) ++top;
    for (int j = 1; j <= top; ++j)
      for (int i = 0; i < kLanes; ++i) squares[j][i] = squares[j - 1][i] * squares[j - 1][i];
  }

  for (int k = 0; k < kStates; ++k) {
    const WaveFunction& s = mStates[k];
    Row decay;
    if (!s.active()) {
      if (each)
        for (int q = 0; q < PointBlock::kGroups; ++q) each[q * kStates + k] = {};
      continue;
    }
    const double* decayRow = decay.data();
    if (mInverseCommon > 0.0) {
      const int power = mDecayPower[k];
      int bit = std::countr_zero(unsigned(power));
      decayRow = squares[bit].data();  // a single factor is used as it is
      for (++bit; (power >> bit) != 0; ++bit) {
        if (!((power >> bit) & 1)) continue;
        for (int i = 0; i < kLanes; ++i) decay[i] = decayRow[i] * squares[bit][i];
        decayRow = decay.data();
      }
    } else {
      decays(s.inverseN(), decay);
    }
    written |= s.addBlock(g, decayRow, total, written, each ? each + k : nullptr, kStates);
  }
  if (!written)
    for (int i = 0; i < kLanes; ++i) total.a[i] = total.b[i] = total.c[i] = total.d[i] = 0.0;
  for (int i = 0; i < count; ++i) sum[i] = {total.a[i], total.b[i], total.c[i], total.d[i]};
}
