// The app's audio domain against a real JACK server on its dummy back end: the default device
// opens with the app's settings and onSound runs on the device's own thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/vl_App.hpp"
#include "dsp/Domain.hpp"

using namespace vl;

namespace {
struct SoundApp : App {
  std::atomic<int> blocks{0};
  std::atomic<bool> onOtherThread{true};
  std::thread::id mainThread = std::this_thread::get_id();
  int frames = 0;
  int framesPerBuffer = 0, outputs = 0;
  double rate = 0.0;

  void onSound(AudioIOData& io) override {
    if (std::this_thread::get_id() == mainThread) onOtherThread = false;
    framesPerBuffer = io.framesPerBuffer();
    outputs = io.channelsOut();
    rate = io.framesPerSecond();
    while (io()) io.out(0) = 0.1f;
    ++blocks;
  }
  void onAnimate(double) override {
    if (++frames >= 45) quit();  // three quarters of a second
  }
};
}  // namespace

TEST(AppAudio, OnSoundRunsOnTheDeviceThreadWithTheAppsSettings) {
  SoundApp app;
  app.start();
  EXPECT_TRUE(app.onOtherThread);
  EXPECT_EQ(app.framesPerBuffer, 512);
  EXPECT_EQ(app.outputs, 8);
  EXPECT_EQ(app.rate, 44100.0);
  EXPECT_EQ(snl::Domain::master().sampleRate(), 44100.0);
  EXPECT_EQ(static_cast<snl::Domain&>(*app.audioDomain()).sampleRate(), 44100.0);
  // About 86 blocks a second; 45 frames take at least 0.75 s.
  EXPECT_GT(app.blocks, 40);
  EXPECT_FALSE(app.audioDomain()->running());  // stopped with the app
}
