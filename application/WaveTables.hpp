#pragma once

#include <array>
#include <cstdint>

// Tables shared by every wave function, built once on first use.
//
// The factorials end at 12!, the largest that fits 32 bits. The angular normalisation
//   N[l][m] = sqrt((2l + 1) / (4 pi) * (l - m)! / (l + m)!)   (0 when |m| > l)
// covers every orbital number a wave function can take (l <= 98) and every magnetic number
// that a projection within +-9.5 produces (|m| <= 10). It is formed from the product of the
// l + |m| - (l - |m|) factors that the factorial ratio leaves, so it stays finite where the
// factorials themselves would overflow. Negative m uses the same formula as written, which
// makes N[l][-m] = N[l][m] * (l + m)! / (l - m)!.
struct WaveTables {
  static constexpr int kFactorials = 13;
  static constexpr int kMaxN = 99;
  static constexpr int kMaxL = kMaxN - 1;
  static constexpr int kMaxAbsM = 10;
  static constexpr int kMCount = 2 * kMaxAbsM + 1;

  std::array<std::uint32_t, kFactorials> factorial{};
  std::array<std::array<double, kMCount>, kMaxL + 1> angularNorm{};
  // 1/k for k = 1 ... 2 kMaxN, so that the recurrences multiply instead of divide.
  std::array<double, 2 * kMaxN + 1> reciprocal{};

  // N[l][m]; 0 outside the table.
  double norm(int l, int m) const {
    if (l < 0 || l > kMaxL || m < -kMaxAbsM || m > kMaxAbsM) return 0.0;
    return angularNorm[l][m + kMaxAbsM];
  }

  static const WaveTables& get();

 private:
  WaveTables();
};
