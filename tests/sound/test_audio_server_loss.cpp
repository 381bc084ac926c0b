// A JACK server killed while the stream runs: the back end closes the stream, the program
// keeps running, and later stream calls report failure instead of crashing.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "sound/vl_AudioDomain.hpp"

using namespace vl;
using namespace std::chrono_literals;

TEST(AudioServerLoss, KilledServerLeavesTheProgramRunning) {
  const char* pidText = std::getenv("ZENTHA_JACKD_PID");
  ASSERT_NE(pidText, nullptr) << "run beside a JACK server started by with_jack.sh";
  const pid_t server = static_cast<pid_t>(std::atoi(pidText));

  AudioDomain domain;
  domain.configure(44100.0, 512, -1, 0);
  std::atomic<int> calls{0};
  domain.audioCallback = [&](AudioIOData& io) {
    while (io()) io.out(0) = 0.1f;
    ++calls;
  };
  ASSERT_TRUE(domain.start());
  for (int i = 0; i < 100 && calls < 20; ++i) std::this_thread::sleep_for(20ms);
  ASSERT_GE(calls, 20);

  ASSERT_EQ(::kill(server, SIGKILL), 0);
  bool closed = false;
  for (int i = 0; i < 100 && !closed; ++i) {
    std::this_thread::sleep_for(50ms);
    closed = !domain.audioIO().isOpen();
  }
  EXPECT_TRUE(closed);
  const int frozen = calls;
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(calls, frozen);

  EXPECT_TRUE(domain.stop());
  testing::internal::CaptureStderr();
  EXPECT_FALSE(domain.start());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("RtApi"), std::string::npos) << err;
  EXPECT_TRUE(domain.stop());
  EXPECT_TRUE(domain.cleanup());
}
