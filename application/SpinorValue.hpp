#pragma once

#include <cmath>
#include <complex>

// One two-component spinor sample: (a, b, c, d) = (Re psi_up, Im psi_up, Re psi_down,
// Im psi_down). A plain aggregate of four doubles so that arrays of it can be read as a
// wavetable of interleaved numbers.
struct SpinorValue {
  double a = 0.0, b = 0.0, c = 0.0, d = 0.0;

  static SpinorValue fromComponents(std::complex<double> up, std::complex<double> down) {
    return {up.real(), up.imag(), down.real(), down.imag()};
  }
  std::complex<double> up() const { return {a, b}; }
  std::complex<double> down() const { return {c, d}; }

  SpinorValue& operator+=(const SpinorValue& o) {
    a += o.a;
    b += o.b;
    c += o.c;
    d += o.d;
    return *this;
  }
  friend SpinorValue operator+(SpinorValue x, const SpinorValue& y) { return x += y; }
  friend SpinorValue operator-(const SpinorValue& x, const SpinorValue& y) {
    return {x.a - y.a, x.b - y.b, x.c - y.c, x.d - y.d};
  }
  friend bool operator==(const SpinorValue&, const SpinorValue&) = default;

  double normSquared() const { return a * a + b * b + c * c + d * d; }
  double norm() const { return std::sqrt(normSquared()); }
  bool isFinite() const {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
  }
};
