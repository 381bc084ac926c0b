#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>

// A literal scalar transcription of the wave-function formulas, kept as the yardstick for the
// optimised evaluation (speed in the benchmark, agreement in the tests). Valid within the
// small tables: n + l <= 12, l <= 5.
struct PlainWaveFunction {
  int n = 1, l = 0, mUp = 0, mDown = 1;
  double cUp = 0.0, cDown = 0.0;
  bool upValid = false, downValid = false;
  std::complex<double> weight{0.0}, phase{1.0};

  static double factorial(int k) {
    static const std::uint32_t table[13] = {1,    1,     2,      6,       24,       120,      720,
                                            5040, 40320, 362880, 3628800, 39916800, 479001600};
    return double(table[k]);
  }
  static double norm(int l, int m) {
    if (std::abs(m) > l) return 0.0;
    return std::sqrt((2 * l + 1) / (4.0 * std::numbers::pi) * factorial(l - m) / factorial(l + m));
  }

  void configure(double nIn, double lIn, double J, double j, double w) {
    n = int(std::trunc(nIn));
    l = std::min(int(std::trunc(lIn)), n - 1);
    const bool aligned = J > l;
    const double Jh = std::trunc(J - 0.5) + 0.5, m = std::trunc(j - 0.5) + 0.5;
    const double eps = m < 0.5 ? -1e-10 : 1e-10;
    mUp = int(std::trunc(m - 0.5 + eps));
    mDown = mUp + 1;
    upValid = -l <= mUp && mUp <= l;
    downValid = -l <= mDown && mDown <= l;
    if (aligned) {
      cUp = std::sqrt((Jh + m) / (2 * Jh));
      cDown = std::sqrt((Jh - m) / (2 * Jh));
    } else {
      cUp = -std::sqrt((Jh + 1 - m) / (2 * Jh + 2));
      cDown = std::sqrt((Jh + 1 + m) / (2 * Jh + 2));
    }
    weight = w;
  }

  static double legendre(int l, int m, double x, double sinTheta) {
    if (l < 0 || std::abs(m) > l) return 0.0;
    double pmm = 1.0;
    for (int k = 1; k <= m; ++k) pmm *= (1 - 2 * k);
    pmm *= std::pow(sinTheta, m);
    if (l == m) return pmm;
    double pm1 = (2 * m + 1) * x * pmm;
    for (int k = m + 2; k <= l; ++k) {
      const double pk = ((2 * k - 1) * x * pm1 - (k + m - 1) * pmm) / (k - m);
      pmm = pm1;
      pm1 = pk;
    }
    return pm1;
  }

  std::complex<double> angular(int m, double cosT, double sinT, double cosP, double sinP) const {
    const int am = std::abs(m);
    std::complex<double> e(1.0, 0.0);
    for (int k = 0; k < am; ++k) e *= std::complex<double>(cosP, sinP);
    const std::complex<double> turn(e.real(), m < 0 ? -e.imag() : e.imag());
    return norm(l, m) * legendre(l, am, cosT, sinT) * turn;
  }

  double radial(double r) const {
    const double q = 2 * r / n;
    const double c =
        std::sqrt(std::pow(2.0 / n, 3) * factorial(n - l - 1) / (2 * n * factorial(n + l)));
    const int deg = n - l - 1;
    double lag = 0.0;
    if (deg == 0) {
      lag = 1.0;
    } else if (deg > 0) {
      double l0 = 1.0, l1 = 2 * l + 2 - q;
      for (int k = 1; k < deg; ++k) {
        const double l2 = ((2 * k + 2 * l + 2 - q) * l1 - (k + 2 * l + 1) * l0) / (k + 1);
        l0 = l1;
        l1 = l2;
      }
      lag = l1;
    }
    return c * std::exp(-q / 2) * std::pow(q, l) * lag;
  }

  void evaluate(double x, double y, double z, double out[4]) const {
    if (n < 1) {  // an unset state adds nothing
      out[0] = out[1] = out[2] = out[3] = 0.0;
      return;
    }
    const double eps = 1e-6;
    const double rhoXY = std::sqrt(x * x + y * y) + eps;
    const double r = std::sqrt(x * x + y * y + z * z) + eps;
    const double cosT = z / r, sinT = rhoXY / r, cosP = x / rhoXY, sinP = y / rhoXY;
    const double R = radial(r);
    std::complex<double> up = upValid ? cUp * R * angular(mUp, cosT, sinT, cosP, sinP) : 0.0;
    std::complex<double> down =
        downValid ? cDown * R * angular(mDown, cosT, sinT, cosP, sinP) : 0.0;
    up = up * weight * phase;
    down = down * weight * phase;
    out[0] = up.real();
    out[1] = up.imag();
    out[2] = down.real();
    out[3] = down.imag();
  }
};
