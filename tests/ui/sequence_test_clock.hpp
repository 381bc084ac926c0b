#pragma once

// A clock whose time only the test moves. The timing thread's sleeps end exactly at their
// deadlines, one after another, so a test sees the same schedule on every run.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "ui/vl_SequencerClock.hpp"

namespace vl::test {

class VirtualClock : public vl::SequencerClock {
 public:
  explicit VirtualClock(double start = 100.0) : mNow(start) {}

  double now() override {
    std::lock_guard<std::mutex> lock(mLock);
    return mNow;
  }

  void sleepUntil(double time) override {
    std::unique_lock<std::mutex> lock(mLock);
    mAttached = true;
    mSleeping = true;
    mDeadline = time;
    ++mParkCount;
    mParked.notify_all();
    mWakeUp.wait(lock, [&] { return mNow >= time || mWoken; });
    mWoken = false;
    mSleeping = false;
  }

  // A wake that comes just before the thread goes to sleep is kept for that sleep, or a stop
  // could wait for the test to move time on.
  void wake() override {
    std::lock_guard<std::mutex> lock(mLock);
    mWoken = true;
    mWakeUp.notify_all();
  }

  void threadWaiting(bool waiting) override {
    std::lock_guard<std::mutex> lock(mLock);
    mAttached = true;
    mWaiting = waiting;
    if (waiting) ++mParkCount;
    mParked.notify_all();
  }

  // Moves time to target, stopping at every deadline of the timing thread on the way, and
  // returns once the thread has parked again (asleep on a later deadline, or idle).
  void advanceTo(double target) {
    std::unique_lock<std::mutex> lock(mLock);
    waitParked(lock);
    while (mSleeping && mDeadline <= target) {
      mNow = std::max(mNow, mDeadline);
      const uint64_t count = mParkCount;
      mWakeUp.notify_all();
      if (!mParked.wait_for(lock, std::chrono::seconds(10), [&] { return mParkCount != count; })) {
        break;  // the thread is stuck elsewhere; let the test's checks report it
      }
    }
    mNow = std::max(mNow, target);
  }
  void advance(double dt) { advanceTo(now() + dt); }

 private:
  void waitParked(std::unique_lock<std::mutex>& lock) {
    mParked.wait_for(lock, std::chrono::seconds(10),
                     [&] { return !mAttached || mSleeping || mWaiting; });
  }

  std::mutex mLock;
  std::condition_variable mWakeUp;
  std::condition_variable mParked;
  double mNow;
  double mDeadline = 0.0;
  uint64_t mParkCount = 0;
  bool mAttached = false;
  bool mSleeping = false;
  bool mWaiting = false;
  bool mWoken = false;
};

}  // namespace vl::test
