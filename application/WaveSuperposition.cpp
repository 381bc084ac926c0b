#include "WaveSuperposition.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

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
  states_[k].configure(n, l, J, j, f, w);
  plan();
}

void WaveSuperposition::advancePhases() {
  for (auto& s : states_) s.advancePhase();
}

void WaveSuperposition::resetPhases() {
  for (auto& s : states_) s.resetPhase();
}

void WaveSuperposition::plan() {
  maxAbsM_ = 0;
  int common = 1;
  for (const auto& s : states_) {
    if (!s.active()) continue;
    maxAbsM_ = std::max(maxAbsM_, s.maxAbsM());
    common = std::lcm(common, int(s.n));
    if (common > kMaxCommonMultiple) break;
  }
  if (common > kMaxCommonMultiple) {
    inverseCommon_ = 0.0;
    return;
  }
  inverseCommon_ = 1.0 / common;
  for (int k = 0; k < kStates; ++k)
    decayPower_[k] = states_[k].active() ? common / int(states_[k].n) : 0;
}

Spinor WaveSuperposition::evaluate(const vl::Vec3d& p, Spinor* each) const {
  const SphericalPoint g(p, maxAbsM_);
  const double base = inverseCommon_ > 0.0 ? std::exp(-g.r * inverseCommon_) : 0.0;
  Spinor sum;
  for (int k = 0; k < kStates; ++k) {
    const WaveFunction& s = states_[k];
    Spinor v;
    if (s.active()) {
      const double decay =
          inverseCommon_ > 0.0 ? power(base, decayPower_[k]) : std::exp(-g.r * s.inverseN());
      v = s.evaluate(g, decay);
    }
    sum += v;
    if (each) each[k] = v;
  }
  return sum;
}

void WaveSuperposition::evaluateBlock(const vl::Vec3d* points, int count, Spinor* sum,
                                      Spinor* each) const {
  using Row = PointBlock::Row;
  constexpr int kLanes = PointBlock::kMaxPoints;
  count = std::clamp(count, 0, kLanes);
  PointBlock g;
  g.set(points, count, maxAbsM_);
  for (int i = 0; i < count; ++i) sum[i] = {};

  // e^{-r_i/N} from e^{-r_0/N} and the series of e^{-(r_i - r_0)/N}: one exponential per
  // block, as long as its points lie within N/2 of the first one in distance from the centre.
  auto decays = [&](double inverseScale, Row& out) {
    const double base = std::exp(-g.r[0] * inverseScale);
    Row x, size, series;
    for (int i = 0; i < kLanes; ++i) {
      x[i] = -(g.r[i] - g.r[0]) * inverseScale;
      size[i] = std::abs(x[i]);
    }
    double largest = 0.0;
    for (int i = 0; i < kLanes; ++i) largest = size[i] > largest ? size[i] : largest;
    // Terms enough for a remainder below 3e-17 relative at the largest |x|.
    const int degree = largest <= 0.01 ? 6 : (largest <= 0.1 ? 9 : 14);
    for (int i = 0; i < kLanes; ++i) series[i] = kSeries[degree];
    for (int k = degree - 1; k >= 0; --k) {
      const double c = kSeries[k];
      for (int i = 0; i < kLanes; ++i) series[i] = series[i] * x[i] + c;
    }
    for (int i = 0; i < kLanes; ++i) out[i] = base * series[i];
    if (!(largest <= 0.5))
      for (int i = 0; i < kLanes; ++i)
        if (!(size[i] <= 0.5)) out[i] = std::exp(-g.r[i] * inverseScale);
  };
  Row common;
  if (inverseCommon_ > 0.0) decays(inverseCommon_, common);

  for (int k = 0; k < kStates; ++k) {
    const WaveFunction& s = states_[k];
    Row decay;
    if (!s.active()) {
      if (each)
        for (int q = 0; q < PointBlock::kGroups; ++q) each[q * kStates + k] = {};
      continue;
    }
    if (inverseCommon_ > 0.0) {
      // decay = common^e by binary powering, every point at once.
      Row x = common;
      for (int i = 0; i < kLanes; ++i) decay[i] = 1.0;
      for (int e = decayPower_[k]; e > 0; e >>= 1) {
        if (e & 1)
          for (int i = 0; i < kLanes; ++i) decay[i] *= x[i];
        for (int i = 0; i < kLanes; ++i) x[i] *= x[i];
      }
    } else {
      decays(s.inverseN(), decay);
    }
    s.addBlock(g, decay.data(), sum, each ? each + k : nullptr, kStates);
  }
}
