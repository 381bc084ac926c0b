#pragma once

#include <cstdint>

namespace vl {

// Frame pacer for a loop that has no vertical sync to lean on: it sleeps to a fixed target
// interval, and when a frame overruns the next one starts at once with no catch-up.
class FPS {
 public:
  // Nanoseconds of a steady clock whose zero is taken at its first use in the process.
  static int64_t nowNs();

  void fps(double framesPerSecond);
  double fps() const { return mFps; }
  int64_t intervalNs() const { return mIntervalNs; }
  int64_t lastFrameDurationNs() const { return mLastFrameDurationNs; }
  int64_t lastFrameTimeNs() const { return mLastFrameTimeNs; }
  double dt() const { return mLastFrameDurationNs / 1e9; }

  // Readies the pacer for a new run. The time of the last frame is deliberately kept, so the
  // first frame of a fresh pacer measures the time since the clock's zero.
  void startFPS();
  // Ends the current frame: sleeps what is left of the interval and records the duration.
  void waitForNextFrame();

 private:
  int64_t mIntervalNs = 16666666;
  int64_t mLastFrameDurationNs = 16666666;
  int64_t mLastFrameTimeNs = 0;
  double mFps = 60.0;
};

}  // namespace vl
