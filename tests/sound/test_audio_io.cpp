// The audio stream against a real JACK server on its dummy back end (one device, "system":
// 8 outputs, 10 inputs with monitors, 44100 Hz).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "sound/jack_support.hpp"
#include "sound/vl_AudioDomain.hpp"
#include "sound/vl_AudioIO.hpp"

using namespace vl;
using namespace std::chrono_literals;

TEST(AudioDevice, FindsTheServerByNumberNameAndDirection) {
  ASSERT_EQ(AudioDevice::numDevices(), 1);
  AudioDevice def = AudioDevice::defaultOutput();
  ASSERT_TRUE(def.valid());
  EXPECT_STREQ(def.name(), "system");
  EXPECT_EQ(def.channelsOutMax(), 8);
  EXPECT_EQ(def.channelsInMax(), 10);
  EXPECT_EQ(def.defaultSampleRate(), 44100.0);

  AudioDevice byName("yste", AudioDevice::OUTPUT);
  EXPECT_TRUE(byName.valid());
  EXPECT_EQ(byName.id(), def.id());
  EXPECT_TRUE(AudioDevice("system", AudioDevice::INPUT | AudioDevice::OUTPUT).valid());
  EXPECT_FALSE(AudioDevice("no such card", AudioDevice::OUTPUT).valid());
  EXPECT_FALSE(AudioDevice(5).valid());

  testing::internal::CaptureStdout();
  def.print();
  AudioDevice(5).print();
  AudioDevice::printAll();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "[ 0] system, 10 in,  8 out, 44100 Hz\n"
            "Invalid device\n"
            "[ 0] [ 0] system, 10 in,  8 out, 44100 Hz\n");
}

TEST(AudioIO, ChannelCountsFollowTheDeviceAndFreezeWhileOpen) {
  AudioIO io;
  io.device(AudioDevice(0));
  io.channelsOut(64);
  EXPECT_EQ(io.channelsOut(), 8);
  io.channelsOut(-1);
  EXPECT_EQ(io.channelsOut(), 8);
  io.channelsOut(3);
  EXPECT_EQ(io.channelsOut(), 3);
  EXPECT_EQ(io.channelsOutDevice(), 3);
  io.channelsIn(0);
  EXPECT_EQ(io.channelsIn(), 0);

  // A device that does not exist keeps its channel settings out of the stream.
  AudioIO orphan;
  orphan.deviceOut(AudioDevice("no such card"));
  testing::internal::CaptureStderr();
  orphan.channelsOut(2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "AudioIO warning: attempt to set number of channels on invalid output device\n");
  EXPECT_EQ(orphan.channelsOutDevice(), 0);

  ASSERT_TRUE(io.open());
  testing::internal::CaptureStderr();
  io.channelsOut(8);
  io.channelsBus(2);
  io.framesPerBuffer(256);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "AudioIO warning: the number of channels cannnot be set with the stream open\n"
            "AudioIO warning: the number of channels cannnot be set with the stream open\n"
            "AudioIO warning: the number of frames/buffer cannnot be set with the stream open\n");
  EXPECT_EQ(io.channelsOut(), 3);
  EXPECT_EQ(io.channelsBus(), 0);
  EXPECT_EQ(io.framesPerBuffer(), 512);
  EXPECT_TRUE(io.close());
  io.channelsOut(8);
  EXPECT_EQ(io.channelsOut(), 8);
}

// The server runs 512-frame cycles whatever is asked: the stream takes the server's size.
TEST(AudioIO, AdoptsTheBlockLengthTheDeviceInsistsOn) {
  AudioIO io;
  io.device(AudioDevice(0));
  io.framesPerBuffer(256);
  io.channelsOut(2);
  io.channelsIn(0);
  static std::atomic<int> wrongLength{0}, blocks{0};
  io.callback([](AudioIOData& d) {
    int n = 0;
    while (d()) {
      d.out(0) = 0.0f;
      ++n;
    }
    if (n != 512) ++wrongLength;
    ++blocks;
  });
  testing::internal::CaptureStdout();
  ASSERT_TRUE(io.open());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "WARNING: Device opened with buffer size: 512\n");
  EXPECT_EQ(io.framesPerBuffer(), 512);
  ASSERT_TRUE(io.start());
  for (int i = 0; i < 100 && blocks < 10; ++i) std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(io.close());
  EXPECT_GE(blocks, 10);
  EXPECT_EQ(wrongLength, 0);
}

namespace {
struct Trace {
  std::vector<int> order;
  std::vector<int> framesSeen;
};

struct Appended : AudioCallback {
  Trace* trace;
  int tag;
  Appended(Trace* t, int g) : trace(t), tag(g) {}
  void onAudioCB(AudioIOData& io) override {
    trace->order.push_back(tag);
    trace->framesSeen.push_back(io.frame());
    while (io()) io.out(1) += 0.25f;
  }
};
}  // namespace

// The block path driven by hand with interleaved device buffers, as the device thread does.
TEST(AudioIO, BlockCopiesInputRunsCallbacksAndConditionsTheOutput) {
  AudioIO io;
  io.device(AudioDevice(0));
  io.framesPerBuffer(8);
  io.channelsOut(2);
  io.channelsIn(2);
  Trace trace;
  io.user(&trace);
  io.callback([](AudioIOData& d) {
    auto* t = static_cast<Trace*>(d.user());
    t->order.push_back(0);
    t->framesSeen.push_back(d.frame());
    // The outputs arrive cleared; the input arrives channel by channel.
    while (d()) d.out(0) = d.out(0) + d.in(0) + 10.0f * d.in(1);
  });
  Appended a(&trace, 1), b(&trace, 2);
  io.append(a);
  io.append(b);

  float in[16], dev[16];
  for (int f = 0; f < 8; ++f) {
    in[2 * f] = 0.01f * f;       // channel 0
    in[2 * f + 1] = 0.001f * f;  // channel 1
  }
  std::fill(io.outBuffer(0), io.outBuffer(0) + 16, 7.0f);  // stale samples must not survive
  AudioIO::blockCallback(dev, in, 8, 0.0, 0, &io);
  EXPECT_EQ(trace.order, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(trace.framesSeen, (std::vector<int>{-1, -1, -1}));
  for (int f = 0; f < 8; ++f) {
    EXPECT_FLOAT_EQ(io.in(0, f), 0.01f * f);
    EXPECT_FLOAT_EQ(io.in(1, f), 0.001f * f);
    EXPECT_FLOAT_EQ(dev[2 * f], 0.02f * f);
    EXPECT_FLOAT_EQ(dev[2 * f + 1], 0.5f);
  }

  // NaN is written as 0 and anything beyond full scale, either way, as full scale. (The gain
  // ramp is shown on the server's own recording in AudioDomain tests below.)
  io.remove(a);
  io.remove(b);
  io.callback([](AudioIOData& d) {
    while (d()) {
      d.out(0) = (d.frame() % 2) ? std::numeric_limits<float>::quiet_NaN() : 1.5f;
      d.out(1) = -3.0f;
    }
  });
  AudioIO::blockCallback(dev, in, 8, 0.0, 0, &io);
  for (int f = 0; f < 8; ++f) {
    EXPECT_EQ(dev[2 * f], (f % 2) ? 0.0f : 1.0f);
    EXPECT_EQ(dev[2 * f + 1], -1.0f);
  }
  io.zeroNANs(false);
  io.clipOut(false);
  AudioIO::blockCallback(dev, in, 8, 0.0, 0, &io);
  EXPECT_TRUE(std::isnan(dev[2]));
  EXPECT_EQ(dev[0], 1.5f);

  // A block of another length than the buffers were sized for is played as silence.
  float big[64];
  std::fill(big, big + 64, 3.0f);
  AudioIO::blockCallback(big, nullptr, 32, 0.0, 0, &io);
  for (float v : big) EXPECT_EQ(v, 0.0f);

  // Underflows are counted on the device thread and reported when the stream stops.
  AudioIO::blockCallback(dev, in, 8, 0.0, 1, &io);
  AudioIO::blockCallback(dev, in, 8, 0.0, 1, &io);
  testing::internal::CaptureStdout();
  io.stop();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Stream underflow detected! (2 blocks)\n");
}

TEST(AudioDomain, RunsTheCallbackOnItsOwnThreadAtTheBlockRate) {
  AudioDomain domain;
  domain.configure(AudioDevice(-1), 44100.0, 512, -1, 0);
  EXPECT_EQ(domain.audioIO().channelsOut(), 8);
  EXPECT_EQ(domain.audioIO().channelsIn(), 0);
  EXPECT_EQ(domain.audioIO().framesPerBuffer(), 512);

  std::atomic<int> calls{0};
  std::atomic<bool> otherThread{true};
  const auto mainId = std::this_thread::get_id();
  domain.audioCallback = [&](AudioIOData& io) {
    if (std::this_thread::get_id() == mainId) otherThread = false;
    if (io.framesPerBuffer() != 512 || io.channelsOut() != 8) otherThread = false;
    ++calls;
  };
  ASSERT_TRUE(domain.init());
  ASSERT_TRUE(domain.start());
  EXPECT_TRUE(domain.audioIO().isRunning());

  testing::internal::CaptureStdout();
  domain.audioIO().print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "I/O Device:  [ 0] system, 10 in,  8 out, 44100 Hz\n"
            "Chans In:    0 (0D + 0V)\n"
            "Chans Out:   8 (8D + 0V)\n"
            "Frames/Buf:  512\n");

  std::this_thread::sleep_for(300ms);  // past the start-up transient
  const int before = calls;
  const auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(2s);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double rate = (calls - before) / secs;
  EXPECT_NEAR(rate, 44100.0 / 512.0, 10.0);
  EXPECT_TRUE(otherThread);

  EXPECT_TRUE(domain.stop());
  EXPECT_FALSE(domain.audioIO().isOpen());
  const int after = calls;
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(calls, after);
  EXPECT_TRUE(domain.cleanup());
}

TEST(AudioDomain, RefusedRateIsReportedAndAStreamCanStillBeOpened) {
  AudioDomain domain;
  domain.configure(AudioDevice(-1), 48000.0, 512, 2, 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(domain.start());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("RtApiJack"), std::string::npos) << err;
  EXPECT_FALSE(domain.audioIO().isOpen());
  EXPECT_TRUE(domain.stop());

  domain.configure(AudioDevice(-1), -1.0, 512, 2, 0);  // the device's own rate
  EXPECT_EQ(domain.audioIO().framesPerSecond(), 44100.0);
  EXPECT_TRUE(domain.start());
  EXPECT_TRUE(domain.stop());
}

// What the callback writes is what the server receives, recorded through its monitor ports.
// The recorder converts to 16-bit without clipping, so an unclipped 1.5 would wrap to a
// negative sample and could not pass for 1.0.
TEST(AudioDomain, SamplesReachTheServerWithGainRampNanClearingAndClipping) {
  AudioDomain domain;
  domain.configure(AudioDevice(-1), 44100.0, 512, -1, 0);
  domain.audioCallback = [](AudioIOData& io) {
    while (io()) {
      io.out(0) = 0.8f;
      io.out(1) = io.frame() < 256 ? std::numeric_limits<float>::quiet_NaN() : 1.5f;
    }
  };
  ASSERT_TRUE(domain.start());

  const std::string wav = zentha_test::tempPath("zentha-rec") + ".wav";
  zentha_test::ChildProcess rec(
      {"jack_rec", "-f", wav, "-d", "4", "-b", "16", "system:monitor_1", "system:monitor_2"});
  ASSERT_TRUE(rec.started());
  std::this_thread::sleep_for(2s);
  domain.gain(0.5f);
  ASSERT_EQ(rec.wait(), 0);
  EXPECT_TRUE(domain.stop());

  auto ch = zentha_test::readWav(wav);
  std::remove(wav.c_str());
  ASSERT_EQ(ch.size(), 2u);
  const auto& a = ch[0];
  const auto& b = ch[1];
  ASSERT_GT(a.size(), 44100u * 3);

  constexpr float tol = 1e-4f;  // 16-bit recording
  std::size_t onset = 0;
  while (onset < a.size() && a[onset] < 0.5f) ++onset;
  std::size_t drop = onset;
  while (drop < a.size() && a[drop] > 0.8f - 1e-3f) ++drop;
  ASSERT_LT(drop + 4 * 512, a.size()) << "the gain change was not recorded";
  const std::size_t ramp = onset + (drop - onset) / 512 * 512;  // the block holding the change
  ASSERT_GT(ramp, onset + 512);

  for (std::size_t i = onset; i < ramp; ++i) {
    ASSERT_NEAR(a[i], 0.8f, tol) << i;
    const bool firstHalf = (i - onset) % 512 < 256;
    ASSERT_NEAR(b[i], firstHalf ? 0.0f : 1.0f, tol) << i;  // NaN -> 0, 1.5 -> 1
  }
  for (std::size_t j = 0; j < 512; ++j) {
    const float g = 1.0f - 0.5f * j / 512.0f;
    ASSERT_NEAR(a[ramp + j], 0.8f * g, tol) << j;
    ASSERT_NEAR(b[ramp + j], j < 256 ? 0.0f : std::min(1.5f * g, 1.0f), tol) << j;
  }
  for (std::size_t i = ramp + 512; i < ramp + 4 * 512; ++i) {
    ASSERT_NEAR(a[i], 0.4f, tol) << i;
    ASSERT_NEAR(b[i], (i - onset) % 512 < 256 ? 0.0f : 0.75f, tol) << i;
  }
}
