#pragma once

#include <cmath>

#include "dsp/Spinor.hpp"

// One two-component spinor sample: (a, b, c, d) = (Re psi_up, Im psi_up, Re psi_down,
// Im psi_down), the element type of the atom's table and of the voice's wavetable.
using Spinor = snl::Spinor<double>;

inline double normSquared(const Spinor& s) {
  return s.a * s.a + s.b * s.b + s.c * s.c + s.d * s.d;
}
inline double norm(const Spinor& s) {
  return std::sqrt(normSquared(s));
}
inline bool isFinite(const Spinor& s) {
  return std::isfinite(s.a) && std::isfinite(s.b) && std::isfinite(s.c) && std::isfinite(s.d);
}
