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

  // x - floor(x), without the library call that floor is on plain x86-64: below 2^23 a float
  // may have a fraction and fits an int; above it is whole (infinity and NaN give NaN).
  static float fraction(float x) {
    if (!(std::abs(x) < 8388608.f)) return x - x;
    float whole = static_cast<float>(static_cast<int>(x));
    if (whole > x) whole -= 1.f;
    return x - whole;
  }

  // Standard six-sector HSV to RGB with the hue in turns (any real value; it wraps) and
  // saturation and value in [0, 1]. Saturation 0 gives grey at the value.
  static Color fromHSV(float hue, float saturation, float value, float alpha = 1.f) {
    if (saturation <= 0.f) return {value, value, value, alpha};
    const float h = fraction(hue);
    const float sector = h * 6.f;
    // A hue that is not a number lands in the last sector.
    const int i = sector >= 0.f && sector < 6.f ? static_cast<int>(sector) : 5;
    float f = sector - static_cast<float>(i);
    float p = value * (1.f - saturation);
    float q = value * (1.f - saturation * f);
    float t = value * (1.f - saturation * (1.f - f));
    // Sectors 0 ... 5 are (v, t, p), (q, v, p), (p, v, t), (p, q, v), (t, p, v), (v, p, q),
    // picked by selections rather than a jump: the sector of neighbouring hues is not
    // predictable, and callers convert thousands of them per frame.
    const float r = (i == 0 || i == 5) ? value : (i == 1 ? q : (i == 4 ? t : p));
    const float g = (i == 1 || i == 2) ? value : (i == 0 ? t : (i == 3 ? q : p));
    const float b = (i == 3 || i == 4) ? value : (i == 2 ? t : (i == 5 ? q : p));
    return {r, g, b, alpha};
  }
};

inline std::ostream& operator<<(std::ostream& os, const Color& c) {
  return os << "Color(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ')';
}

}  // namespace vl
