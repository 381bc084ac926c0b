#pragma once

#include <cmath>

namespace snl::acc {

// Wraps a value into [lo, hi).
struct Wrap {
  template <class V>
  static V wrap(V v, V hi = V(1), V lo = V(0)) {
    if (lo == hi) return lo;
    // Infinities and NaN have no place in the range; the start is as good as any.
    if (!std::isfinite(v)) return lo;
    const V r = hi - lo;
    if (v >= hi) {
      v -= r;
      if (v >= hi) v -= std::trunc((v - lo) / r) * r;
    } else if (v < lo) {
      v += r;
      if (v < lo) v += std::trunc((lo - v) / r + V(1)) * r;
      if (v == hi) return std::nextafter(hi, lo);
    }
    return v;
  }
};

}  // namespace snl::acc
