#include "FrameStats.hpp"

#include <algorithm>
#include <cstdio>

void FrameStats::frame() {
  const Clock::time_point now = Clock::now();
  if (mFrames > 0) {
    const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now - mLast).count();
    mTotalNs += ns;
    mWorstNs = std::max(mWorstNs, ns);
    ++mIntervals;
    if (ns > mLateNs) ++mLate;
  }
  mLast = now;
  ++mFrames;
}

std::string FrameStats::summary(unsigned long underflows) const {
  char line[200];
  std::snprintf(line, sizeof line,
                "frames drawn %llu, frame time mean %.2f ms, worst %.2f ms, late frames %llu, "
                "audio underflows %lu\n",
                static_cast<unsigned long long>(mFrames), meanMs(), worstMs(),
                static_cast<unsigned long long>(mLate), underflows);
  return line;
}
