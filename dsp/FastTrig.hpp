#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

namespace snl {

// Cheap cosines for filter coefficients, which are recomputed whenever a parameter moves.

// cos(2πx) for x in [0, 0.5] by two parabolas; error below 0.001.
inline float fastCosCycles(float x) {
  const float t = 1.0f - 4.0f * std::clamp(x, 0.0f, 0.5f);
  const float u = (2.0f - std::fabs(t)) * t;
  return (0.225f * std::fabs(u) + 0.775f) * u;
}

// Taylor polynomials, accurate to float precision on [-π/4, π/4].
inline float cosPoly8(float w) {
  const float w2 = w * w;
  return 1.0f - (20160.0f - (1680.0f - (56.0f - w2) * w2) * w2) * w2 * 2.4801588e-5f;
}
inline float sinPoly7(float w) {
  const float w2 = w * w;
  return w * (1.0f - w2 * (1.0f / 6.0f - w2 * (1.0f / 120.0f - w2 * (1.0f / 5040.0f))));
}

// cos w and sin w for w in [0, π], each range folded onto [-π/4, π/4].
inline float polyCos(float w) {
  constexpr float q = std::numbers::pi_v<float> / 4;
  constexpr float h = std::numbers::pi_v<float> / 2;
  constexpr float pi = std::numbers::pi_v<float>;
  if (w < q) return cosPoly8(w);
  if (w < 3 * q) return sinPoly7(h - w);
  return -cosPoly8(pi - w);
}
inline float polySin(float w) {
  constexpr float q = std::numbers::pi_v<float> / 4;
  constexpr float h = std::numbers::pi_v<float> / 2;
  constexpr float pi = std::numbers::pi_v<float>;
  if (w < q) return sinPoly7(w);
  if (w < 3 * q) return cosPoly8(h - w);
  return sinPoly7(pi - w);
}

}  // namespace snl
