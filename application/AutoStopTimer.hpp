#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// A one-shot timer on a thread of its own: runs its callback once, when its phase has come
// round from the start phase to 1 over the period, unless it is stopped first. It sleeps in
// slices so that a stop is seen within one slice. start() and stop() never wait on the lock:
// one that finds it taken gives up (a start leaves the other caller's timer as it is).
class AutoStopTimer {
 public:
  AutoStopTimer() = default;
  ~AutoStopTimer();
  AutoStopTimer(const AutoStopTimer&) = delete;
  AutoStopTimer& operator=(const AutoStopTimer&) = delete;

  // phase in [0, 1): 0 runs the callback at once, else after (1 − phase) × period. A timer
  // that is running is left running. False when it did not start.
  bool start(std::function<void()> callback, uint64_t periodNs, uint64_t sliceNs, double phase);
  // Clears the running flag; the thread ends within a slice without running the callback.
  void stop();
  bool running() const { return mRunning.load(); }
  // Stops and joins the thread; for the owner's shutdown (never from the callback).
  void shutdown();

  uint64_t periodNs() const { return mPeriodNs; }
  uint64_t sliceNs() const { return mSliceNs; }

 private:
  void run(std::function<void()> callback, uint64_t waitNs);

  uint64_t mPeriodNs = 10000;
  uint64_t mSliceNs = 50000;
  std::atomic<bool> mRunning{false};
  std::mutex mLock;
  std::thread mThread;
};
