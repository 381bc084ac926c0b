// The program keeps going when its audio server goes away: it goes on drawing, says once that the
// device is lost, and plays again on a server started anew under the same name.
#include <gtest/gtest.h>

#include <regex>

#include "voice_support.hpp"
#include "zentha_program_support.hpp"

using namespace zentha_program;

TEST(ZenthaRecovery, SoundResumesOnARestartedServerAndDrawingNeverStops) {
  const char* pidText = std::getenv("ZENTHA_JACKD_PID");
  const char* name = std::getenv("JACK_DEFAULT_SERVER");
  ASSERT_TRUE(pidText && name) << "run beside a JACK server started by with_jack.sh";
  zentha_test::WorkingDirectory dir;
  zentha_test::storeSoundingPreset("Sounding");  // preset 0, the static atom's

  Zentha z("zentha-studio");
  ASSERT_EQ(toWindow({}), 0) << z.err();
  sleepFor(2.0);
  ASSERT_GT(monitorRms(1.0), 1e-3) << "no sound before the server went away";

  ASSERT_EQ(::kill(static_cast<pid_t>(std::atoi(pidText)), SIGKILL), 0);
  const auto killed = Clock::now();
  ASSERT_TRUE(z.waitForOutput("Audio device \"system\" lost", 5.0)) << z.out() << z.err();
  // The window goes on changing while there is no server: the atom keeps moving.
  const auto before = Shot::take().rgb;
  sleepFor(1.0);
  const auto during = Shot::take().rgb;
  ASSERT_FALSE(before.empty());
  EXPECT_NE(before, during) << "the picture stood still without sound";

  sleepFor(std::max(0.0, 3.0 - since(killed)));
  zentha_test::ChildProcess server({"jackd", "--no-realtime", "-t", "10000", "-n", name, "-d",
                                    "dummy", "-r", "44100", "-p", "512", "-P", "8", "-C", "2",
                                    "-m"});
  const auto restarted = Clock::now();
  double heardAfter = -1.0;
  while (heardAfter < 0.0 && since(restarted) < 8.0) {
    if (monitorRms(0.3) > 1e-3)
      heardAfter = since(restarted);
    else
      sleepFor(0.1);
  }
  ASSERT_GT(heardAfter, 0.0) << "no sound on the new server\n" << z.out() << z.err();
  EXPECT_LT(heardAfter, 5.0);
  std::printf("sound back %.2f s after the server was started again\n", heardAfter);
  EXPECT_EQ(count(z.out(), "Audio device \"system\" lost"), 1) << z.out();
  EXPECT_EQ(count(z.out(), "Audio device \"system\" back after "), 1) << z.out();

  // Frames went on at the display's pace the whole time, outage included.
  const double ran = since(killed);
  z.signal(SIGTERM);
  ASSERT_EQ(z.wait(), 0) << z.err();
  std::smatch m;
  const std::string out = z.out();
  ASSERT_TRUE(std::regex_search(out, m,
                                std::regex("frames drawn ([0-9]+), frame time mean "
                                           "([0-9.]+) ms, worst ([0-9.]+) ms")))
      << out;
  EXPECT_LT(std::stod(m[3].str()), 1000.0) << "a frame waited on the audio device";
  EXPECT_GT(std::stod(m[1].str()), 10.0 * ran) << out;
}
