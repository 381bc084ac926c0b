#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <ostream>

namespace vl {

// Fixed-size vector of N numbers. A plain aggregate of contiguous elements, so arrays of
// it can be handed to OpenGL or copied byte-wise into shared records.
template <std::size_t N, class T>
struct Vec {
  std::array<T, N> elems{};

  constexpr Vec() = default;
  constexpr explicit Vec(T v) { elems.fill(v); }
  template <class... A, class = std::enable_if_t<sizeof...(A) == N && (N > 1)>>
  constexpr Vec(A... a) : elems{static_cast<T>(a)...} {}
  template <class U>
  constexpr explicit Vec(const Vec<N, U>& o) {
    for (std::size_t i = 0; i < N; ++i) elems[i] = static_cast<T>(o[i]);
  }

  static constexpr std::size_t size() { return N; }
  constexpr T& operator[](std::size_t i) { return elems[i]; }
  constexpr const T& operator[](std::size_t i) const { return elems[i]; }
  T* data() { return elems.data(); }
  const T* data() const { return elems.data(); }

  constexpr T& x() { return elems[0]; }
  constexpr T& y() requires(N > 1) { return elems[1]; }
  constexpr T& z() requires(N > 2) { return elems[2]; }
  constexpr T& w() requires(N > 3) { return elems[3]; }
  constexpr const T& x() const { return elems[0]; }
  constexpr const T& y() const requires(N > 1) { return elems[1]; }
  constexpr const T& z() const requires(N > 2) { return elems[2]; }
  constexpr const T& w() const requires(N > 3) { return elems[3]; }

  constexpr Vec& operator+=(const Vec& o) {
    for (std::size_t i = 0; i < N; ++i) elems[i] += o[i];
    return *this;
  }
  constexpr Vec& operator-=(const Vec& o) {
    for (std::size_t i = 0; i < N; ++i) elems[i] -= o[i];
    return *this;
  }
  constexpr Vec& operator*=(T s) {
    for (auto& e : elems) e *= s;
    return *this;
  }
  constexpr Vec& operator/=(T s) {
    for (auto& e : elems) e /= s;
    return *this;
  }
  friend constexpr Vec operator+(Vec a, const Vec& b) { return a += b; }
  friend constexpr Vec operator-(Vec a, const Vec& b) { return a -= b; }
  friend constexpr Vec operator*(Vec a, T s) { return a *= s; }
  friend constexpr Vec operator*(T s, Vec a) { return a *= s; }
  friend constexpr Vec operator/(Vec a, T s) { return a /= s; }
  constexpr Vec operator-() const {
    Vec r;
    for (std::size_t i = 0; i < N; ++i) r[i] = -elems[i];
    return r;
  }
  friend constexpr bool operator==(const Vec&, const Vec&) = default;

  constexpr T dot(const Vec& o) const {
    T s = 0;
    for (std::size_t i = 0; i < N; ++i) s += elems[i] * o[i];
    return s;
  }
  T mag() const { return std::sqrt(dot(*this)); }
  constexpr T magSqr() const { return dot(*this); }
  // A zero vector stays zero rather than turning into NaNs.
  Vec normalized() const {
    T m = mag();
    return m > T(0) ? *this / m : *this;
  }
  Vec& normalize() { return *this = normalized(); }
};

template <class T>
constexpr Vec<3, T> cross(const Vec<3, T>& a, const Vec<3, T>& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

template <std::size_t N, class T>
std::ostream& operator<<(std::ostream& os, const Vec<N, T>& v) {
  os << '(';
  for (std::size_t i = 0; i < N; ++i) os << (i ? ", " : "") << v[i];
  return os << ')';
}

using Vec2f = Vec<2, float>;
using Vec3f = Vec<3, float>;
using Vec4f = Vec<4, float>;
using Vec2d = Vec<2, double>;
using Vec3d = Vec<3, double>;
using Vec4d = Vec<4, double>;
using Vec2i = Vec<2, int>;

}  // namespace vl
