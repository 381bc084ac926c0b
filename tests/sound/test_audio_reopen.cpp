// A stream whose JACK server is killed and started again: the stream's watch says once that the
// device is lost, opens it on the new server when it comes up, and what it plays reaches that
// server's outputs.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "sound/jack_support.hpp"
#include "sound/vl_AudioIO.hpp"

using namespace vl;
using namespace std::chrono_literals;

namespace {

int occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// The level at the server's first output over the last half second of a recording (the
// recorder's first blocks are silence).
double monitorLevel(const std::string& path) {
  const std::string cmd =
      "jack_rec -f " + path + " -d 1.5 -b 16 system:monitor_1 system:monitor_2 >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return -1.0;
  const auto chans = zentha_test::readWav(path);
  std::remove(path.c_str());
  if (chans.size() != 2 || chans[0].size() < 44100) return -1.0;
  double sum = 0.0;
  const size_t from = chans[0].size() - 22050;
  for (size_t i = from; i < chans[0].size(); ++i) sum += chans[0][i];
  return sum / 22050.0;
}

std::atomic<int> gBlocks{0};

void playConstant(AudioIOData& io) {
  while (io()) io.out(0) = 0.25f;
  gBlocks.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

TEST(AudioReopen, StreamComesBackOnARestartedServer) {
  const char* pidText = std::getenv("ZENTHA_JACKD_PID");
  const char* name = std::getenv("JACK_DEFAULT_SERVER");
  ASSERT_TRUE(pidText && name) << "run beside a JACK server started by with_jack.sh";

  // What happened, checked once the program's output is no longer captured (the test's own
  // failure messages go to the same stream).
  struct {
    bool started = false, playing = false, lost = false, silent = false, back = false;
    double seconds = -1.0, level = -1.0;
    bool stopped = false;
  } r;
  testing::internal::CaptureStdout();
  [&] {
    AudioIO io;
    io.device(AudioDevice(-1));
    io.framesPerSecond(44100.0);
    io.framesPerBuffer(512);
    io.channelsOut(2);
    io.channelsIn(0);
    io.callback(&playConstant);
    io.reopenWhenLost(true, 0.5);
    io.reopenWhenLost(true, 0.5);  // twice is once
    r.started = io.start() && io.start();
    r.playing = waitFor([] { return gBlocks > 20; }, 5000ms);
    if (!r.started || !r.playing) return;

    if (::kill(static_cast<pid_t>(std::atoi(pidText)), SIGKILL) != 0) return;
    r.lost = waitFor([&] { return !io.isRunning(); }, 5000ms);
    // Several retries against no server at all.
    std::this_thread::sleep_for(1600ms);
    const int silent = gBlocks;
    std::this_thread::sleep_for(200ms);
    r.silent = gBlocks == silent && !io.isRunning();

    zentha_test::ChildProcess server({"jackd", "--no-realtime", "-t", "10000", "-n", name, "-d",
                                      "dummy", "-r", "44100", "-p", "512", "-P", "8", "-C", "2",
                                      "-m"});
    const auto restarted = std::chrono::steady_clock::now();
    r.back = waitFor([&] { return io.isRunning() && gBlocks > silent + 10; }, 5000ms);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - restarted).count();
    // Connected to the new server's outputs, not merely running.
    r.level = monitorLevel(zentha_test::tempPath("reopen") + ".wav");

    io.reopenWhenLost(false);
    r.stopped = io.stop() && io.stop() && io.close();
  }();
  const std::string out = testing::internal::GetCapturedStdout();
  std::printf("stream playing again %.2f s after the server was started again\n", r.seconds);
  ASSERT_TRUE(r.started);
  ASSERT_TRUE(r.playing);
  EXPECT_TRUE(r.lost);
  EXPECT_TRUE(r.silent);
  EXPECT_TRUE(r.back) << out;
  EXPECT_LT(r.seconds, 5.0);
  EXPECT_NEAR(r.level, 0.25, 0.001);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(occurrences(out, "Audio device \"system\" lost; trying it again every 0.5 s\n"), 1)
      << out;
  EXPECT_EQ(occurrences(out, "Audio device \"system\" back after "), 1) << out;
}

// The watch belongs to a started stream: stopping ends it, so a server lost afterwards is not
// waited for, and a stream never started has none.
TEST(AudioReopen, StoppedStreamIsNotWatched) {
  testing::internal::CaptureStdout();
  {
    AudioIO io;
    io.reopenWhenLost(true, 0.1);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(io.isRunning());
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
