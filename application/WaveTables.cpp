#include "WaveTables.hpp"

#include <cmath>
#include <numbers>

WaveTables::WaveTables() {
  factorial[0] = 1;
  for (int k = 1; k < kFactorials; ++k) factorial[k] = factorial[k - 1] * std::uint32_t(k);

  reciprocal[0] = 0.0;
  for (int k = 1; k <= 2 * kMaxN; ++k) reciprocal[k] = 1.0 / k;

  for (int l = 0; l <= kMaxL; ++l) {
    for (int m = -kMaxAbsM; m <= kMaxAbsM; ++m) {
      double value = 0.0;
      if (std::abs(m) <= l) {
        // (l - m)! / (l + m)! as the product of the factors between the two.
        double ratio = 1.0;
        if (l + std::abs(m) < kFactorials) {
          ratio = double(factorial[l - m]) / double(factorial[l + m]);
        } else if (m >= 0) {
          for (int k = l - m + 1; k <= l + m; ++k) ratio /= k;
        } else {
          for (int k = l + m + 1; k <= l - m; ++k) ratio *= k;
        }
        value = std::sqrt((2.0 * l + 1.0) / (4.0 * std::numbers::pi) * ratio);
      }
      angularNorm[l][m + kMaxAbsM] = value;
    }
  }
}

const WaveTables& WaveTables::get() {
  static const WaveTables tables;
  return tables;
}
