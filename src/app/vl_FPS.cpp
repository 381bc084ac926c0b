#include "app/vl_FPS.hpp"

#include <chrono>
#include <thread>

namespace vl {

namespace {
using Clock = std::chrono::steady_clock;
Clock::time_point clockZero() {
  static const Clock::time_point zero = Clock::now();
  return zero;
}
}  // namespace

int64_t FPS::nowNs() {
  auto zero = clockZero();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - zero).count();
}

void FPS::fps(double framesPerSecond) {
  if (!(framesPerSecond > 0.0)) return;
  mFps = framesPerSecond;
  mIntervalNs = static_cast<int64_t>(1e9 / framesPerSecond);
}

void FPS::startFPS() {
  mLastFrameDurationNs = mIntervalNs;
  clockZero();
}

void FPS::waitForNextFrame() {
  int64_t now = nowNs();
  int64_t elapsed = now - mLastFrameTimeNs;
  if (elapsed >= mIntervalNs) {
    mLastFrameTimeNs = now;
    mLastFrameDurationNs = elapsed;
    return;
  }
  // Sleep to an absolute deadline so that pacing does not drift with sleep overshoot.
  int64_t deadline = mLastFrameTimeNs + mIntervalNs;
  std::this_thread::sleep_until(clockZero() + std::chrono::nanoseconds(deadline));
  mLastFrameTimeNs = deadline;
  mLastFrameDurationNs = mIntervalNs;
}

}  // namespace vl
