// Audio failures that must leave the program running: no server at all, and a server that goes
// away under a running stream.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "sound/vl_AudioDomain.hpp"

using namespace vl;
using namespace std::chrono_literals;

namespace {
bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
}  // namespace

// Run without a server: the variable names one that cannot exist, so a JACK server that
// happens to be running elsewhere on the machine is not found either.
TEST(AudioWithoutServer, OpeningFailsWithTheBackEndsMessageAndTheProgramCarriesOn) {
  const std::string absent = "zentha-absent-" + std::to_string(::getpid());
  ::setenv("JACK_DEFAULT_SERVER", absent.c_str(), 1);
  ::setenv("JACK_NO_START_SERVER", "1", 1);

  AudioDomain domain;
  testing::internal::CaptureStderr();
  domain.configure(44100.0, 512, -1, 0);
  const std::string configErr = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(contains(
      configErr, "AudioIO warning: attempt to set number of channels on invalid output device"))
      << configErr;
  EXPECT_FALSE(domain.audioIO().deviceOut().valid());

  std::atomic<int> calls{0};
  domain.audioCallback = [&](AudioIOData&) { ++calls; };
  testing::internal::CaptureStderr();
  EXPECT_FALSE(domain.start());
  const std::string openErr = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(contains(openErr, "RtApi")) << openErr;
  EXPECT_FALSE(domain.audioIO().isOpen());
  EXPECT_TRUE(domain.stop());
  EXPECT_TRUE(domain.cleanup());
  EXPECT_EQ(calls, 0);

  testing::internal::CaptureStdout();
  domain.audioIO().print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "I/O Device:  Invalid device\n"
            "Chans In:    0 (0D + 0V)\n"
            "Chans Out:   0 (0D + 0V)\n"
            "Frames/Buf:  512\n");
}
