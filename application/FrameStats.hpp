#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// How the main loop kept its pace: the time from each frame's start to the next, the worst
// of them, and the frames later than one and a half periods.
class FrameStats {
 public:
  explicit FrameStats(double nominalFps = 60.0) : mLateNs(int64_t(1.5e9 / nominalFps)) {}

  // At the start of every frame.
  void frame();
  uint64_t frames() const { return mFrames; }
  double meanMs() const { return mIntervals ? double(mTotalNs) / double(mIntervals) / 1e6 : 0.0; }
  double worstMs() const { return double(mWorstNs) / 1e6; }
  uint64_t lateFrames() const { return mLate; }

  // "frames drawn N, frame time mean M ms, worst W ms, late frames L, audio underflows U"
  std::string summary(unsigned long underflows) const;

 private:
  using Clock = std::chrono::steady_clock;
  int64_t mLateNs;
  Clock::time_point mLast{};
  uint64_t mFrames = 0, mIntervals = 0, mLate = 0;
  int64_t mTotalNs = 0, mWorstNs = 0;
};
