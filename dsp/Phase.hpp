#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace snl {

// 32-bit fixed-point phase helpers: one full cycle is 2^32, so wrapping is free.

// Nearest integer (ties to even) of x, modulo 2^32. Values that are not finite give 0.
inline uint32_t toFixedPhase(double x) {
  if (std::fabs(x) < 9.0e18) return uint32_t(uint64_t(std::llrint(x)));
  if (!std::isfinite(x)) return 0;
  double r = std::fmod(std::nearbyint(x), 4294967296.0);
  if (r < 0) r += 4294967296.0;
  return uint32_t(r);
}

// Fraction of a cycle in [0, 1) from the top 23 bits of a phase, used as a float mantissa.
inline float phaseFraction(uint32_t phase) {
  return std::bit_cast<float>((phase >> 9) | 0x3F800000u) - 1.0f;
}

}  // namespace snl
