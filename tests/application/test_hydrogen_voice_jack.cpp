// A voice triggered with a preset and heard for real: the audio domain plays it on a JACK
// server while the main thread steps its frames, and what reached the server is recorded
// through its monitor ports.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "HydrogenVoice.hpp"
#include "sound/jack_support.hpp"
#include "sound/vl_AudioDomain.hpp"
#include "voice_support.hpp"

using namespace std::chrono_literals;

TEST(HydrogenVoiceJack, APresetTriggeredVoiceReachesTheServer) {
  zentha_test::WorkingDirectory dir;
  zentha_test::storeSoundingPreset("Sounding");
  vl::AudioDomain domain;
  domain.configure(vl::AudioDevice(-1), 44100.0, 512, 2, 0);
  HydrogenVoice voice;
  voice.init();
  ASSERT_TRUE(voice.setTriggerParams(
      std::vector<vl::ParameterField>{0.05f, 1.0f, "Sounding", "", 0.0f, 1.0f, 0.7f}));
  domain.audioCallback = [&voice](vl::AudioIOData& io) { voice.onProcessAudio(io); };
  ASSERT_TRUE(domain.start());
  voice.onTriggerOn();

  const std::string wav = zentha_test::tempPath("zentha-voice") + ".wav";
  zentha_test::ChildProcess rec(
      {"jack_rec", "-f", wav, "-d", "3", "-b", "16", "system:monitor_1", "system:monitor_2"});
  ASSERT_TRUE(rec.started());
  const auto until = std::chrono::steady_clock::now() + 3500ms;
  auto next = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < until) {
    voice.update(1.0 / 60.0);
    next += std::chrono::microseconds(16667);
    std::this_thread::sleep_until(next);
  }
  ASSERT_EQ(rec.wait(), 0);
  EXPECT_TRUE(domain.stop());
  EXPECT_FLOAT_EQ(voice.sound().parameters().pitch.get(), 7.0f);  // the preset's

  const auto ch = zentha_test::readWav(wav);
  std::remove(wav.c_str());
  ASSERT_EQ(ch.size(), 2u);
  ASSERT_GT(ch[0].size(), 44100u * 2);
  double sumL = 0.0, sumR = 0.0, diff = 0.0;
  for (size_t i = 0; i < ch[0].size(); ++i) {
    ASSERT_TRUE(std::isfinite(ch[0][i]) && std::isfinite(ch[1][i])) << i;
    sumL += ch[0][i] * ch[0][i];
    sumR += ch[1][i] * ch[1][i];
    diff += std::fabs(ch[0][i] - ch[1][i]);
  }
  const double n = double(ch[0].size());
  EXPECT_GT(std::sqrt(sumL / n), 1e-3);
  EXPECT_GT(std::sqrt(sumR / n), 1e-3);
  EXPECT_GT(diff / n, 1e-4);
}
