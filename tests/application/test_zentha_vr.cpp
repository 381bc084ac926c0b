// The program with a headset: the simulated runtime (tests/vr/sim_runtime) stands in for a
// real one, plays a script of controller events and writes every eye image it is given.
// Frames count the program's frames from the headset's first pose request.
#include <gtest/gtest.h>

#include <filesystem>

#include "zentha_program_support.hpp"

using namespace zentha_program;
namespace fs = std::filesystem;

namespace {

// Coloured pixels of an eye image: the atoms.
struct EyeImage {
  int coloured = 0;

  static EyeImage read(const fs::path& png) {
    EyeImage e;
    const std::string cmd = "/usr/bin/convert " + png.string() + " -depth 8 rgb:eye.rgb";
    if (std::system(cmd.c_str()) != 0) return e;
    const std::string rgb = readFile("eye.rgb");
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
      const int r = (unsigned char)rgb[i], g = (unsigned char)rgb[i + 1],
                b = (unsigned char)rgb[i + 2];
      const int hi = std::max({r, g, b}), lo = std::min({r, g, b});
      e.coloured += hi > 80 && hi - lo > 40;
    }
    return e;
  }
};

bool waitForFile(const fs::path& path, double seconds) {
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (!fs::exists(path)) {
    if (Clock::now() > end) return false;
    sleepFor(0.1);
  }
  sleepFor(0.2);  // written whole
  return true;
}

class ZenthaVR : public testing::Test {
 protected:
  void SetUp() override {
    zentha_test::storeSoundingPreset("Sounding");
    std::ofstream("ZENTHA-coda11minutesT60.synthSequence")
        << "@ 0 60 HydrogenVoice 0.05 0.3 \"Sounding\" \"\" 0 1 0 0 0 0 1 0 0 0 1\n"
           "@ 0 60 HydrogenVoice 0.05 0.3 \"Sounding\" \"\" 0 1 0.3 0 0 0 1 0 0 0 1\n";
    fs::create_directory("eyes");
    const std::string here = fs::current_path().string();
    mEnv = {"VR_OVERRIDE=" ZENTHA_VR_SIM_RUNTIME, "VR_CONFIG_PATH=" + here, "VR_LOG_PATH=" + here,
            "ZENTHA_VR_PNG_DIR=" + here + "/eyes", "ZENTHA_VR_SCRIPT=" + here + "/session.txt"};
  }

  zentha_test::WorkingDirectory mDir;
  std::vector<std::string> mEnv;
};

}  // namespace

// The trigger starts; a touched touchpad moves the scene; the grip puts it back; the menu
// button stops.
TEST_F(ZenthaVR, ControllersStartMoveRestoreAndStop) {
  // Presses are rising edges of the held buttons (bit 33 trigger, 2 grip, 1 menu).
  std::ofstream("session.txt") << "device 0 1\ndevice 1 2\ndevice 2 2\nrole left 1\nrole right 2\n"
                                  "pose 0 0 0 1.7 0\n"  // the head at standing height
                                  "buttons 60 1 200000000\nbuttons 62 1 0\n"  // trigger, left
                                  "event 200 202 1 32\naxis 200 1 0 0 1\n"    // touchpad pushed
                                  "event 320 203 1 32\n"                      // let go
                                  "buttons 400 2 4\nbuttons 402 2 0\n"        // grip, right
                                  "buttons 480 2 2\nbuttons 482 2 0\n";       // menu
  Zentha z("zentha-lab", mEnv);
  ASSERT_TRUE(z.waitForOutput("OpenVR init", 20.0)) << z.out() << z.err();
  EXPECT_EQ(z.err().find("OpenVR init returned error"), std::string::npos) << z.err();

  ASSERT_TRUE(waitForFile("eyes/eyeL_120.png", 60.0)) << z.err();
  EXPECT_FALSE(Shot::take().showsTitle()) << "the trigger did not start the piece";
  ASSERT_TRUE(waitForFile("eyes/eyeL_440.png", 120.0));
  const EyeImage before = EyeImage::read("eyes/eyeL_195.png");
  const EyeImage moved = EyeImage::read("eyes/eyeL_330.png");
  const EyeImage back = EyeImage::read("eyes/eyeL_440.png");
  ASSERT_GT(before.coloured, 200) << "no atoms in the eye";
  // Pushed along the head's view the scene leaves the eye; the grip's start pose brings it back
  // (the atoms, moving meanwhile, cover about as much of the eye as before).
  EXPECT_LT(moved.coloured, before.coloured / 4) << "the touchpad did not move the scene";
  EXPECT_GT(back.coloured, before.coloured / 3) << "the grip did not bring the scene back";

  ASSERT_TRUE(waitForFile("eyes/eyeL_520.png", 60.0));
  EXPECT_TRUE(Shot::take().showsTitle()) << "the menu button did not stop the piece";
  z.signal(SIGTERM);
  EXPECT_EQ(z.wait(), 0) << z.err();
}

// Without a runtime the desktop runs as ever.
TEST_F(ZenthaVR, WithoutARuntimeTheDesktopRuns) {
  Zentha z("zentha-lab", {"VR_OVERRIDE=" + fs::current_path().string() + "/nowhere"});
  ASSERT_EQ(toWindow({}), 0) << z.err();
  ASSERT_TRUE(z.waitForOutput("Running Primary", 10.0));
  sleepFor(1.0);
  EXPECT_NE(z.err().find("ERROR: OpenVR init returned error"), std::string::npos) << z.err();
  EXPECT_TRUE(Shot::take().showsTitle());
  z.signal(SIGINT);
  EXPECT_EQ(z.wait(), 0) << z.err();
}
