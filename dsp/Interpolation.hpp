#pragma once

#include <cstdint>

#include "dsp/Array.hpp"

namespace snl::ipl {

// Reads a power-of-two array at a 32-bit phase: the top bits select the element, the rest are the
// fraction between it and the next. Indices wrap around the buffer.

struct Linear {
  template <class T>
  static T value(const T& x0, const T& x1, float f) {
    return x0 + (x1 - x0) * f;
  }
  template <class T, class A>
  static T read(const ArrayPow2<T, A>& a, uint32_t phase) {
    const uint32_t one = a.oneIndex();
    return value(a[a.index(phase)], a[a.index(phase + one)], a.fraction(phase));
  }
};

// Four-point, third-order Hermite (Catmull-Rom) between x0 and x1. It passes through the
// samples, has a continuous slope, and reproduces polynomials up to the second degree exactly.
struct Cubic {
  template <class T>
  static T value(const T& xm1, const T& x0, const T& x1, const T& x2, float f) {
    const T c1 = (x1 - xm1) * 0.5f;
    const T c3 = (x2 - xm1) * 0.5f + (x0 - x1) * 1.5f;
    const T c2 = xm1 + c1 - x0 - c3;
    return ((c3 * f + c2) * f + c1) * f + x0;
  }
  template <class T, class A>
  static T read(const ArrayPow2<T, A>& a, uint32_t phase) {
    const uint32_t one = a.oneIndex();
    return value(a[a.index(phase - one)], a[a.index(phase)], a[a.index(phase + one)],
                 a[a.index(phase + 2 * one)], a.fraction(phase));
  }
};

}  // namespace snl::ipl
