#pragma once

#include <array>
#include <cstdint>

namespace snl {

// Figure-eight plate reverberator: a pre-delay, a bandwidth filter and four input diffusers
// feed two cross-coupled tank halves, each an all-pass, a delay, a damping filter, a second
// all-pass and a second delay. Line lengths are fixed sample counts (tuned for 29.8 kHz and
// used unscaled), so the unit ignores the sample rate. Left and right outputs are sums of taps
// inside the tank.
class PlateReverb {
 public:
  struct Output {
    float left = 0.0f;
    float right = 0.0f;
  };

  // Processes one mono sample; both outputs are scaled by gain.
  Output operator()(float x, float gain);
  void operator()(float x, float& left, float& right, float gain) {
    const Output o = (*this)(x, gain);
    left = o.left;
    right = o.right;
  }

  // Silences every line and filter.
  void reset();

  // A circular line of fixed length; i is the index written next, so the oldest sample is there.
  template <uint32_t N>
  struct Line {
    std::array<float, N> buf{};
    uint32_t i = 0;

    float oldest() const { return buf[i]; }
    void write(float v) {
      buf[i] = v;
      i = i + 1 == N ? 0 : i + 1;
    }
    // Sample written n steps ago (n = 1 is the most recent).
    float tap(uint32_t n) const { return buf[i >= n ? i - n : i + N - n]; }
    void zero() {
      buf.fill(0.0f);
      i = 0;
    }
  };

 private:
  static constexpr float kInDiff1 = 0.76f;
  static constexpr float kInDiff2 = 0.666f;
  static constexpr float kDecDiff1 = 0.707f;
  static constexpr float kDecDiff2 = 0.571f;
  static constexpr float kDecay = 0.85f;
  static constexpr float kBandwidth = 0.9995f;
  static constexpr float kDamping = 0.4f;

  Line<10> mPre;
  float mBw = 0.0f;
  Line<142> mIn1;
  Line<107> mIn2;
  Line<379> mIn3;
  Line<277> mIn4;
  Line<672> mApA1;
  Line<4453> mDlA1;
  float mDampA = 0.0f;
  Line<1800> mApA2;
  Line<3720> mDlA2;
  Line<908> mApB1;
  Line<4217> mDlB1;
  float mDampB = 0.0f;
  Line<2656> mApB2;
  Line<3163> mDlB2;
};

}  // namespace snl
