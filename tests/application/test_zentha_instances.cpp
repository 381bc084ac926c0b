// Two instances of the program on one machine: the second finds the parameter server's port
// taken, follows the first as a replica and draws the atoms from the first one's state record.
// Each has a display of its own, so that the two full-screen windows do not hide each other.
#include <gtest/gtest.h>

#include <filesystem>

#include "zentha_program_support.hpp"

using namespace zentha_program;

namespace {

// A second virtual X server; with no access control, since the program runs in a UTS
// namespace under another host name than the one a cookie would be filed under.
class SecondDisplay {
 public:
  SecondDisplay() {
    int n = 150 + int(getpid() % 400);
    while (std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) ++n;
    mName = ":" + std::to_string(n);
    mServer = std::make_unique<zentha_test::ChildProcess>(std::vector<std::string>{
        "Xvfb", mName, "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-ac", "-noreset"});
    const std::string probe = "xdpyinfo -display " + mName + " >/dev/null 2>&1";
    for (int i = 0; i < 100 && std::system(probe.c_str()) != 0; ++i) sleepFor(0.1);
  }
  const std::string& name() const { return mName; }

 private:
  std::string mName;
  std::unique_ptr<zentha_test::ChildProcess> mServer;
};

// Blocks of 8 x 8 pixels covered in one picture and not in the other, in thousandths of all
// blocks: the atoms' silhouettes, whose brightness follows their sound from frame to frame.
double differingShare(const Shot& a, const Shot& b) {
  if (!a.ok() || !b.ok()) return 1000.0;
  constexpr int kBlock = 8;
  auto covered = [](const Shot& s, int bx, int by) {
    int n = 0;
    for (int y = by; y < by + kBlock; ++y) {
      for (int x = bx; x < bx + kBlock; ++x) {
        const unsigned char* p = &s.rgb[(size_t(y) * Shot::W + x) * 3];
        n += std::max({p[0], p[1], p[2]}) > 24;
      }
    }
    return n > kBlock * kBlock / 4;
  };
  size_t differing = 0, blocks = 0;
  for (int by = 0; by < Shot::H; by += kBlock) {
    for (int bx = 0; bx < Shot::W; bx += kBlock) {
      differing += covered(a, bx, by) != covered(b, bx, by);
      ++blocks;
    }
  }
  return 1000.0 * double(differing) / double(blocks);
}

int oscsend(const std::string& args) {
  return std::system(("oscsend localhost " + args).c_str());
}

class ZenthaInstances : public testing::Test {
 protected:
  void SetUp() override {
    zentha_test::storeSoundingPreset("Sounding");  // preset 0
    // The coda's voices move slowly, so that photographs taken one after the other agree.
    HydrogenVoice slow;
    slow.init();
    zentha_test::setSoundingAtom(slow);
    slow.atom().parameters().simulationSpeed.set(0.1f);
    slow.presets().storePreset(1, "Slow");
    std::ofstream("ZENTHA-coda11minutesT60.synthSequence")
        << "@ 0 20 HydrogenVoice 0.05 0.3 \"Slow\" \"\" 0 1 0.5 -0.4 0 0 1 0 0 0 1\n"
           "@ 0 20 HydrogenVoice 0.05 0.3 \"Slow\" \"\" 0 1 0.5 0.4 0 0 1 0 0 0 1\n";
    // The replica's working directory holds the same data.
    std::filesystem::create_directory("replica");
    std::filesystem::copy("hydrogen_presets", "replica/hydrogen_presets",
                          std::filesystem::copy_options::recursive);
    std::filesystem::copy("ZENTHA-coda11minutesT60.synthSequence", "replica");
  }

  zentha_test::WorkingDirectory mDir;
};

}  // namespace

TEST_F(ZenthaInstances, TheSecondInstanceIsAReplicaThatDrawsThePrimarysAtoms) {
  SecondDisplay second;
  Zentha primary("zentha-lab");
  ASSERT_EQ(toWindowOf(primary.pid(), {}), 0) << primary.err();
  ASSERT_TRUE(primary.waitForOutput("Running primary with state send", 60.0)) << primary.out();
  Zentha replica("zentha-lab", {"DISPLAY=" + second.name()}, "replica");
  ASSERT_TRUE(replica.waitForOutput("Running REPLICA", 60.0)) << replica.out() << replica.err();
  ASSERT_TRUE(replica.waitForOutput("replica on port: ", 60.0)) << replica.out();
  std::smatch port;
  const std::string out = replica.out();
  ASSERT_TRUE(std::regex_search(out, port, std::regex("replica on port: ([0-9]+)"))) << out;
  bool shown = false;
  for (int i = 0; i < 100 && !shown; ++i) sleepFor(0.2), shown = Shot::take(second.name()).ok();
  ASSERT_TRUE(shown);
  // The renderer's flat view, to be compared with the primary's window.
  ASSERT_EQ(oscsend(port.str(1) + " /vantapp/graphics/panorama f 0"), 0);

  // The atoms move for a while, then slowly. The replica's picture, taken between two of the
  // primary's, must show a moment between theirs; a replica drawing what it simulated itself
  // (it started seconds later) would show another one, as far off as seconds of motion.
  ASSERT_EQ(oscsend("9010 /simulationSpeed f 4"), 0);
  sleepFor(2.0);
  const Shot earlier = Shot::take();
  sleepFor(4.0);
  ASSERT_EQ(oscsend("9010 /simulationSpeed f 0.1"), 0);
  sleepFor(1.0);
  const Shot before = Shot::take();
  const Shot replicaShot = Shot::take(second.name());
  const Shot after = Shot::take();
  ASSERT_TRUE(before.showsTitle());
  ASSERT_TRUE(replicaShot.showsTitle()) << "the replica's view is not the flat one";
  ASSERT_GT(before.coloured(), 300);
  const double moved = differingShare(earlier, before);
  const double meanwhile = differingShare(before, after);
  const double apart =
      std::min(differingShare(before, replicaShot), differingShare(replicaShot, after));
  EXPECT_LE(apart, meanwhile + 5.0) << "meanwhile " << meanwhile;
  EXPECT_GT(moved, 2.0 * (meanwhile + 5.0))
      << "the atom hardly moved; equal pictures prove nothing";

  // Sequence mode: the replica follows the mode and shows the scene's voices where the primary
  // shows them. (Its voices started with the primary's, from the same presets: here the
  // picture alone cannot tell the record from a simulation of its own.)
  ASSERT_EQ(toWindowOf(primary.pid(), {"key", "Return"}), 0);
  sleepFor(4.0);
  const Shot playing = Shot::take();
  const Shot replicaPlaying = Shot::take(second.name());
  const Shot playingAfter = Shot::take();
  EXPECT_FALSE(replicaPlaying.showsTitle());
  EXPECT_GT(replicaPlaying.coloured(), 300) << "no voices on the replica";
  const double meanwhilePlaying = differingShare(playing, playingAfter);
  const double apartPlaying = std::min(differingShare(playing, replicaPlaying),
                                       differingShare(replicaPlaying, playingAfter));
  EXPECT_LE(apartPlaying, meanwhilePlaying + 10.0) << "meanwhile " << meanwhilePlaying;

  replica.signal(SIGTERM);
  primary.signal(SIGTERM);
  EXPECT_EQ(replica.wait(), 0) << replica.err();
  EXPECT_EQ(primary.wait(), 0) << primary.err();
}
