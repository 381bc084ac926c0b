#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace snl {

// Exponential segment from a start to an end value over n steps. Curvature q bends it: negative
// rises fast then levels off, positive starts slowly, near zero is close to a straight line.
// The running terms are doubles: near-zero curvature makes the offset large, and single
// precision would then lose the small differences that carry the shape.
class CurveSegment {
 public:
  static constexpr double kEps = 1e-5;

  // The first value returned is start; the value after n further steps is end.
  void set(uint32_t n, double curvature, double start, double end) {
    mEnd = end;
    if (n == 0) {
      mA = end;
      mB = 0.0;
      mM = std::numeric_limits<float>::max();
      return;
    }
    double q = curvature;
    if (std::fabs(q) < kEps) q = q >= 0.0 ? kEps : -kEps;
    double qn = q / n;
    if (std::fabs(qn) < kEps) {
      qn = qn >= 0.0 ? kEps : -kEps;
      q = qn * n;
    }
    mM = std::exp(qn);
    const double a = (end - start) / (1.0 - std::exp(q));
    mA = a + start;
    mB = a / mM;
  }

  float operator()() {
    mB *= mM;
    return float(mA - mB);
  }
  // Value last returned.
  float value() const { return float(mA - mB); }
  float end() const { return float(mEnd); }

 private:
  double mEnd = 0.0;
  double mA = 0.0;
  double mB = 0.0;
  double mM = 1.0;
};

}  // namespace snl
