// The program as a user runs it: in a working directory with a preset and a short coda, on a
// virtual display, beside JACK servers of the test's own.
#include <gtest/gtest.h>

#include "x11_close.hpp"
#include "zentha_program_support.hpp"

using namespace zentha_program;

namespace {

class ZenthaProgram : public testing::Test {
 protected:
  void SetUp() override {
    zentha_test::storeSoundingPreset("Sounding");  // preset 0
    // Note 60 (the "z" key) plays the same atom an octave up.
    HydrogenVoice high;
    high.init();
    zentha_test::setSoundingAtom(high);
    high.sound().parameters().pitch.set(8.0f);
    high.presets().storePreset(60, "High");
    // Events at 0 and 6 s of the coda's time; it starts one second after Enter.
    std::ofstream(VizavevuDer_coda())
        << "@ 0 2 HydrogenVoice 0.05 0.3 \"Sounding\" \"\" 0 1 0.5 0 0 0 1 0 0 0 1\n"
           "@ 6 1 HydrogenVoice 0.05 0.3 \"Sounding\" \"\" 0 1 0.5 0 0 0 1 0 0 0 1\n";
  }
  static const char* VizavevuDer_coda() { return "ZENTHA-coda11minutesT60.synthSequence"; }

  zentha_test::WorkingDirectory mDir;
};

}  // namespace

// Start-up in static-atom mode on a performance machine, the atom seen and heard, its keys,
// and the way out by control-q.
TEST_F(ZenthaProgram, StartsWithTheStaticAtomTitleAndSoundAndQuitsCleanly) {
  Zentha z("zentha-studio");
  ASSERT_EQ(toWindow({}), 0) << z.err();
  sleepFor(3.0);
  const Shot shot = Shot::take();
  ASSERT_TRUE(shot.ok());
  EXPECT_TRUE(shot.showsTitle());
  EXPECT_GT(shot.coloured(), 300) << "no atom on screen";
  EXPECT_GT(monitorRms(1.5), 1e-3) << "no sound at the server's monitor ports";

  const std::string out = z.out();
  EXPECT_NE(out.find("Running on zentha-studio"), std::string::npos) << out;
  EXPECT_NE(out.find("[ 0] "), std::string::npos) << "no device list:\n" << out;
  EXPECT_NE(out.find("Chans Out:   8"), std::string::npos) << "no stream summary:\n" << out;
  EXPECT_NE(out.find("Scene layout ring8 for 8 output channels"), std::string::npos);

  // "z" (note 60) recalls the octave above; "k", which the table lacks, preset 0 again.
  auto pitchAfterKey = [](const char* key) {
    EXPECT_EQ(toWindow({"key", key}), 0);
    sleepFor(1.5);
    const auto chans = monitor(1.0);
    return chans.empty() ? 0.0 : zentha_test::peakFrequency(chans[0], 44100.0);
  };
  const double high = pitchAfterKey("z");
  const double low = pitchAfterKey("k");
  ASSERT_GT(low, 20.0);
  EXPECT_NEAR(high / low, 2.0, 0.1) << high << " Hz after z, " << low << " Hz after k";

  ASSERT_EQ(toWindow({"key", "ctrl+q"}), 0);
  EXPECT_EQ(z.wait(), 0) << z.err();
  EXPECT_TRUE(std::regex_search(z.out(), std::regex("frames drawn [1-9][0-9]*, frame time mean "
                                                    "[0-9.]+ ms, worst [0-9.]+ ms, late frames "
                                                    "[0-9]+, audio underflows [0-9]+")))
      << z.out();
  EXPECT_EQ(z.err().find("Couldn't find current"), std::string::npos) << z.err();
}

// Enter plays the coda; a second Enter restarts nothing; the end is announced and the static
// atom comes back twelve seconds later. Letter keys do nothing meanwhile; Backspace stops at once.
TEST_F(ZenthaProgram, EnterPlaysTheCodaWhichReturnsToTheStaticAtomAfterItsEnd) {
  Zentha z("zentha-lab");
  ASSERT_EQ(toWindow({}), 0) << z.err();
  sleepFor(1.0);
  const auto start = Clock::now();
  ASSERT_EQ(toWindow({"key", "Return"}), 0);
  sleepFor(2.0);
  Shot playing = Shot::take();
  EXPECT_FALSE(playing.showsTitle());
  EXPECT_GT(playing.coloured(), 300) << "no voice drawn";
  EXPECT_GT(monitorRms(1.0), 1e-3) << "no voice heard";
  // "p" is note 88, which the map lacks: recalled, it would say so.
  ASSERT_EQ(toWindow({"key", "Return", "key", "p"}), 0);

  ASSERT_TRUE(z.waitForOutput("sequence done", 30.0)) << z.out() << z.err();
  const auto done = Clock::now();
  // Played once from the first Enter: 1 s lead-in, the last event at 6 s for 1 s, its release.
  EXPECT_LT(std::chrono::duration<double>(done - start).count(), 11.0);
  EXPECT_EQ(count(z.out(), "No preset index 88"), 0) << "a letter key recalled in sequence mode";

  sleepFor(8.0);
  EXPECT_FALSE(Shot::take().showsTitle()) << "returned before 12 s";
  bool back = false;
  while (!back && Clock::now() - done < std::chrono::seconds(20)) {
    sleepFor(0.5);
    back = Shot::take().showsTitle();
  }
  const double returned = std::chrono::duration<double>(Clock::now() - done).count();
  EXPECT_TRUE(back);
  EXPECT_GT(returned, 10.0);
  EXPECT_LT(returned, 16.0);

  // Again, stopped by Backspace.
  ASSERT_EQ(toWindow({"key", "Return"}), 0);
  sleepFor(2.0);
  EXPECT_FALSE(Shot::take().showsTitle());
  ASSERT_EQ(toWindow({"key", "BackSpace"}), 0);
  sleepFor(1.0);
  EXPECT_TRUE(Shot::take().showsTitle());

  z.signal(SIGTERM);
  EXPECT_EQ(z.wait(), 0) << z.err();
}

// The scene's layout follows the device's outputs, and each instance ends cleanly on SIGINT,
// or SIGTERM.
TEST_F(ZenthaProgram, LayoutFollowsTheOutputsAndEveryWayOutExitsWithZero) {
  struct Case {
    int outputs;
    const char* layout;
    bool subwooferError;
    std::function<void(Zentha&)> end;
  };
  const std::vector<Case> cases{
      {2, "stereo", true, [](Zentha& z) { z.signal(SIGINT); }},
      {6, "stereo", true, [](Zentha& z) { z.signal(SIGTERM); }},
      {54, "array", false, [](Zentha& z) { z.signal(SIGTERM); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.outputs);
    JackServer server(c.outputs);
    Zentha z("zentha-lab", {server.env()});
    ASSERT_EQ(toWindow({}), 0) << z.err();
    sleepFor(1.0);
    const std::string out = z.out();
    EXPECT_NE(out.find(std::string("Scene layout ") + c.layout + " for " +
                       std::to_string(c.outputs) + " output channels"),
              std::string::npos)
        << out;
    EXPECT_EQ(z.err().find("ERROR: Subwoofer channel > output channels! subwoofer ignored.") !=
                  std::string::npos,
              c.subwooferError);
    c.end(z);
    EXPECT_EQ(z.wait(), 0) << z.err();
    EXPECT_NE(z.out().find("frames drawn"), std::string::npos);
  }
  // The configuration's defaults were written back for the next start.
  const std::string config = readFile("zentha-lab.toml");
  EXPECT_NE(config.find("subWooferChannel = 47"), std::string::npos) << config;
  EXPECT_NE(config.find("audioOutputLevel"), std::string::npos) << config;
}

// A real click on the title panel's "start" button plays the coda; with "startDrone" switched
// off over OSC the piece stays in sequence mode after the end; closing the window ends the
// program with status 0.
TEST_F(ZenthaProgram, StartButtonPlaysAndWithoutStartDroneNothingReturnsAndCloseExits) {
  Zentha z("zentha-lab");
  ASSERT_EQ(toWindow({}), 0) << z.err();
  ASSERT_TRUE(z.waitForOutput("Running Primary", 10.0)) << z.out();
  ASSERT_EQ(std::system("oscsend localhost 9010 /startDrone f 0"), 0);
  sleepFor(2.0);
  const Shot before = Shot::take();
  ASSERT_TRUE(before.showsTitle());
  const auto [x, y] = before.startButton();
  ASSERT_GE(x, 0) << "no start button on screen";
  ASSERT_EQ(toWindow({"mousemove", std::to_string(x), std::to_string(y), "click", "1"}), 0);
  bool started = false;  // a loaded machine may take a few frames
  for (int i = 0; i < 20 && !started; ++i) sleepFor(0.5), started = !Shot::take().showsTitle();
  EXPECT_TRUE(started) << "the click did not start the piece";

  ASSERT_TRUE(z.waitForOutput("sequence done", 30.0)) << z.out() << z.err();
  sleepFor(16.0);
  EXPECT_FALSE(Shot::take().showsTitle()) << "returned to the static atom without startDrone";

  const std::string window = xdo::findWindow("ZENTHA", 10.0, kIdle);
  ASSERT_FALSE(window.empty());
  ASSERT_TRUE(askWindowToClose(window));
  EXPECT_EQ(z.wait(), 0) << z.err();
  EXPECT_NE(z.out().find("frames drawn"), std::string::npos) << z.out();
}
