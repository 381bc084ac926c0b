#pragma once

namespace snl {

// Two complex components stored as four numbers: (a, b) the first, (c, d) the second. Supports
// the arithmetic that interpolating tables and filtering need, component by component.
template <class T>
struct Spinor {
  T a{}, b{}, c{}, d{};

  constexpr Spinor() = default;
  constexpr Spinor(T a_, T b_, T c_, T d_) : a(a_), b(b_), c(c_), d(d_) {}

  constexpr T& operator[](int i) { return i == 0 ? a : i == 1 ? b : i == 2 ? c : d; }
  constexpr const T& operator[](int i) const { return i == 0 ? a : i == 1 ? b : i == 2 ? c : d; }

  constexpr Spinor& operator+=(const Spinor& o) {
    a += o.a, b += o.b, c += o.c, d += o.d;
    return *this;
  }
  constexpr Spinor& operator-=(const Spinor& o) {
    a -= o.a, b -= o.b, c -= o.c, d -= o.d;
    return *this;
  }
  constexpr Spinor& operator*=(T s) {
    a *= s, b *= s, c *= s, d *= s;
    return *this;
  }
  friend constexpr Spinor operator+(Spinor x, const Spinor& y) { return x += y; }
  friend constexpr Spinor operator-(Spinor x, const Spinor& y) { return x -= y; }
  friend constexpr Spinor operator*(Spinor x, T s) { return x *= s; }
  friend constexpr Spinor operator*(T s, Spinor x) { return x *= s; }
  friend constexpr Spinor operator-(const Spinor& x) { return Spinor(-x.a, -x.b, -x.c, -x.d); }
  friend constexpr bool operator==(const Spinor&, const Spinor&) = default;
};

}  // namespace snl
