#pragma once

#include <cmath>
#include <ostream>

namespace vl {

// RGBA colour, four floats.
struct Color {
  float r = 1.f, g = 1.f, b = 1.f, a = 1.f;

  constexpr Color() = default;
  constexpr Color(float r_, float g_, float b_, float a_ = 1.f) : r(r_), g(g_), b(b_), a(a_) {}
  constexpr explicit Color(float grey, float a_ = 1.f) : r(grey), g(grey), b(grey), a(a_) {}

  float* data() { return &r; }
  const float* data() const { return &r; }
  float& operator[](int i) { return (&r)[i]; }
  const float& operator[](int i) const { return (&r)[i]; }
  friend constexpr bool operator==(const Color&, const Color&) = default;

  // Standard six-sector HSV to RGB with the hue in turns (any real value; it wraps) and
  // saturation and value in [0, 1]. Saturation 0 gives grey at the value.
  static Color fromHSV(float hue, float saturation, float value, float alpha = 1.f) {
    if (saturation <= 0.f) return {value, value, value, alpha};
    float h = hue - std::floor(hue);
    float sector = h * 6.f;
    int i = static_cast<int>(sector);
    if (i > 5) i = 5;
    float f = sector - static_cast<float>(i);
    float p = value * (1.f - saturation);
    float q = value * (1.f - saturation * f);
    float t = value * (1.f - saturation * (1.f - f));
    switch (i) {
      case 0:
        return {value, t, p, alpha};
      case 1:
        return {q, value, p, alpha};
      case 2:
        return {p, value, t, alpha};
      case 3:
        return {p, q, value, alpha};
      case 4:
        return {t, p, value, alpha};
      default:
        return {value, p, q, alpha};
    }
  }
};

inline std::ostream& operator<<(std::ostream& os, const Color& c) {
  return os << "Color(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ')';
}

}  // namespace vl
