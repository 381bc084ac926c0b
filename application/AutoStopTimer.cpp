#include "AutoStopTimer.hpp"

#include <algorithm>
#include <chrono>

AutoStopTimer::~AutoStopTimer() {
  shutdown();
}

bool AutoStopTimer::start(std::function<void()> callback, uint64_t periodNs, uint64_t sliceNs,
                          double phase) {
  std::unique_lock<std::mutex> lock(mLock, std::try_to_lock);
  if (!lock.owns_lock() || mRunning.load()) return false;
  // A thread that has finished (or was stopped) is joined before the next one starts; it
  // ends within a slice of its flag being cleared.
  if (mThread.joinable()) {
    if (mThread.get_id() == std::this_thread::get_id()) return false;
    mThread.join();
  }
  mPeriodNs = periodNs;
  mSliceNs = std::max<uint64_t>(sliceNs, 1);
  phase = std::clamp(phase, 0.0, 1.0);
  // Phase 0 is due at once, not a whole period later: the program's start-up return to the
  // static atom must not come half a minute into a performance started meanwhile.
  const auto waitNs = phase == 0.0 ? uint64_t(0) : uint64_t((1.0 - phase) * double(periodNs));
  mRunning.store(true);
  mThread = std::thread([this, callback = std::move(callback), waitNs] { run(callback, waitNs); });
  return true;
}

void AutoStopTimer::run(std::function<void()> callback, uint64_t waitNs) {
  using Clock = std::chrono::steady_clock;
  const auto due = Clock::now() + std::chrono::nanoseconds(waitNs);
  while (mRunning.load() && Clock::now() < due) {
    const auto left = due - Clock::now();
    std::this_thread::sleep_for(
        std::min<Clock::duration>(left, std::chrono::nanoseconds(mSliceNs)));
  }
  // Only the timer that is still wanted fires: a stop during the wait wins.
  if (mRunning.exchange(false) && callback) callback();
}

void AutoStopTimer::stop() {
  std::unique_lock<std::mutex> lock(mLock, std::try_to_lock);
  if (!lock.owns_lock()) return;
  mRunning.store(false);
}

void AutoStopTimer::shutdown() {
  std::lock_guard<std::mutex> lock(mLock);
  mRunning.store(false);
  if (mThread.joinable() && mThread.get_id() != std::this_thread::get_id()) mThread.join();
}
