// The automatic return's one-shot timer: when it fires, and that a stop before then wins.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "AutoStopTimer.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint64_t kSecond = 1000000000ull;

// Seconds from now until the flag is set, or -1 after the limit.
double secondsUntil(const std::atomic<bool>& flag, double limit) {
  const auto start = Clock::now();
  while (!flag.load()) {
    const double t = std::chrono::duration<double>(Clock::now() - start).count();
    if (t > limit) return -1.0;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

TEST(AutoStopTimer, PhaseZeroFiresAtOnceOthersAfterTheRestOfThePeriod) {
  AutoStopTimer timer;
  std::atomic<bool> fired{false};
  ASSERT_TRUE(timer.start([&] { fired = true; }, 30 * kSecond, kSecond / 10, 0.0));
  const double atOnce = secondsUntil(fired, 10.0);
  EXPECT_GE(atOnce, 0.0);
  EXPECT_LT(atOnce, 5.0) << "phase 0 waited for the period";

  fired = false;
  ASSERT_TRUE(timer.start([&] { fired = true; }, 2 * kSecond, kSecond / 100, 0.5));
  const double later = secondsUntil(fired, 10.0);
  EXPECT_GE(later, 0.9);
}

TEST(AutoStopTimer, AStopBeforeItIsDueWinsAndARunningTimerIsLeftRunning) {
  AutoStopTimer timer;
  std::atomic<int> fired{0};
  ASSERT_TRUE(timer.start([&] { ++fired; }, 1 * kSecond, kSecond / 100, 0.5));
  EXPECT_FALSE(timer.start([&] { fired += 10; }, 1 * kSecond, kSecond / 100, 0.0));
  timer.stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_EQ(fired.load(), 0);
  timer.shutdown();
}
