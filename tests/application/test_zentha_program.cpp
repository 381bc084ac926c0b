// The program as a user runs it: in a working directory with a preset and a short coda, on a
// virtual display, beside JACK servers of the test's own. Keys come from xdotool, pictures from
// photographs of the whole screen and sound from the servers' monitor ports.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "io/XdoTool.hpp"
#include "sound/jack_support.hpp"
#include "voice_support.hpp"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
const xdo::Pump kIdle = [] {};  // the program pumps its own window

void sleepFor(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The program in the working directory under a host name of its own (a UTS namespace), its
// output kept in out.log and err.log.
class Zentha {
 public:
  explicit Zentha(const std::string& hostName, std::vector<std::string> env = {}) {
    std::vector<std::string> args{"unshare", "--uts"};
    if (getuid() != 0) args.push_back("--map-root-user");
    args.insert(args.end(), {"sh", "-c", "hostname \"$0\" && exec \"$1\"", hostName, ZENTHA});
    // The display's cookie is filed under the test's host name; a wildcard copy lets the
    // program in.
    std::system(
        "xauth nlist \"$DISPLAY\" | sed -e 's/^..../ffff/' | "
        "xauth -q -f wild.xauth nmerge - 2>/dev/null");
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) environment.push_back(*e);
    environment.push_back("XAUTHORITY=" + std::filesystem::current_path().string() + "/wild.xauth");
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "out.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "err.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawnp(&mPid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) mPid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Zentha() {
    if (mPid > 0) {
      kill(mPid, SIGKILL);
      waitpid(mPid, nullptr, 0);
    }
  }
  std::string out() const { return readFile("out.log"); }
  std::string err() const { return readFile("err.log"); }
  void signal(int s) { kill(mPid, s); }
  // Exit status, -1 for a crash or when it is still running after the timeout.
  int wait(double timeoutSeconds = 20.0) {
    const auto end = Clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (Clock::now() < end) {
      int status = 0;
      if (waitpid(mPid, &status, WNOHANG) == mPid) {
        mPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      sleepFor(0.05);
    }
    return -1;
  }
  // Waits until the standard output holds the text; false after the timeout.
  bool waitForOutput(const std::string& text, double timeoutSeconds, int occurrences = 1) {
    const auto end = Clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (Clock::now() < end) {
      if (count(out(), text) >= occurrences) return true;
      sleepFor(0.05);
    }
    return false;
  }

 private:
  pid_t mPid = -1;
};

// Sends xdotool commands to the program's window (found by its title and given the focus).
int toWindow(const std::vector<std::string>& commands) {
  std::vector<std::string> args{"search",   "--sync",      "--onlyvisible", "--name",
                                "^ZENTHA$", "windowfocus", "--sync",        "%1"};
  args.insert(args.end(), commands.begin(), commands.end());
  return xdo::run(args, 20.0, kIdle);
}

// The whole screen, 1280 × 800 RGB.
struct Shot {
  std::vector<unsigned char> rgb;
  static constexpr int W = 1280, H = 800;

  static Shot take() {
    Shot s;
    std::system("import -window root shot.png && /usr/bin/convert shot.png -depth 8 rgb:shot.rgb");
    std::ifstream in("shot.rgb", std::ios::binary);
    s.rgb.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return s;
  }
  bool ok() const { return rgb.size() == size_t(W) * H * 3; }
  // Brightly coloured pixels: the atom's needles (text and buttons are white and grey).
  int coloured() const {
    int n = 0;
    for (size_t i = 0; ok() && i < rgb.size(); i += 3) {
      const int hi = std::max({rgb[i], rgb[i + 1], rgb[i + 2]});
      const int lo = std::min({rgb[i], rgb[i + 1], rgb[i + 2]});
      n += hi > 80 && hi - lo > 40;
    }
    return n;
  }
  // Near-white pixels in a rectangle.
  int white(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; ok() && y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        const unsigned char* p = &rgb[(size_t(y) * W + x) * 3];
        n += p[0] > 200 && p[1] > 200 && p[2] > 200;
      }
    }
    return n;
  }
  // The title's big letters, above the subtitle on the right half of the screen.
  bool showsTitle() const { return white(640, 20, 1100, 160) > 1500; }
};

// What reached the JACK server's first two outputs over a while.
std::vector<std::vector<float>> monitor(double seconds) {
  std::remove("monitor.wav");
  const std::string cmd = "jack_rec -f monitor.wav -d " + std::to_string(seconds) +
                          " -b 16 system:monitor_1 system:monitor_2 >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return {};
  return zentha_test::readWav("monitor.wav");
}

double monitorRms(double seconds) {
  const auto chans = monitor(seconds);
  double sum = 0.0;
  size_t n = 0;
  for (const auto& c : chans) {
    for (float v : c) sum += double(v) * v, ++n;
  }
  return n ? std::sqrt(sum / double(n)) : 0.0;
}

// A JACK server on the dummy back end with a number of outputs, for the layout checks.
class JackServer {
 public:
  explicit JackServer(int outputs)
      : mName("zentha-layout-" + std::to_string(getpid()) + "-" + std::to_string(outputs)) {
    const std::string ports = std::to_string(outputs);
    std::vector<std::string> args{"jackd", "--no-realtime", "-t", "10000", "-n", mName,
                                  "-d",    "dummy",         "-r", "44100", "-p", "512",
                                  "-P",    ports,           "-C", "2"};
    mServer = std::make_unique<zentha_test::ChildProcess>(args);
    const std::string probe = "JACK_DEFAULT_SERVER=" + mName + " jack_lsp >/dev/null 2>&1";
    for (int i = 0; i < 100 && std::system(probe.c_str()) != 0; ++i) sleepFor(0.05);
  }
  std::string env() const { return "JACK_DEFAULT_SERVER=" + mName; }

 private:
  std::string mName;
  std::unique_ptr<zentha_test::ChildProcess> mServer;  // stopped with SIGTERM and reaped
};

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
