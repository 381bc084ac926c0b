#pragma once

// The program as a user runs it, for tests: started in a working directory under a host name of
// its own, on a virtual display, beside JACK servers of the test's own. Keys come from xdotool,
// pictures from photographs of the whole screen and sound from the servers' monitor ports.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "io/XdoTool.hpp"
#include "sound/jack_support.hpp"
#include "voice_support.hpp"

extern char** environ;

namespace zentha_program {

using Clock = std::chrono::steady_clock;
inline const xdo::Pump kIdle = [] {};  // the program pumps its own window

inline void sleepFor(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

inline double since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The program in the working directory under a host name of its own (a UTS namespace), its
// output kept in out.log and err.log.
class Zentha {
 public:
  // dir: the working directory, relative to the test's (its logs go there too).
  explicit Zentha(const std::string& hostName, std::vector<std::string> env = {},
                  const std::string& dir = ".")
      : mDir(dir) {
    std::vector<std::string> args{"unshare", "--uts"};
    if (getuid() != 0) args.push_back("--map-root-user");
    args.insert(args.end(),
                {"sh", "-c", "cd \"$0\" && hostname \"$1\" && exec \"$2\"", dir, hostName, ZENTHA});
    // The display's cookie is filed under the test's host name; a wildcard copy lets the
    // program in.
    std::system(
        "xauth nlist \"$DISPLAY\" | sed -e 's/^..../ffff/' | "
        "xauth -q -f wild.xauth nmerge - 2>/dev/null");
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) environment.push_back(*e);
    environment.push_back("XAUTHORITY=" + std::filesystem::current_path().string() + "/wild.xauth");
    for (const std::string& e : env) {  // given variables replace inherited ones
      const std::string name = e.substr(0, e.find('=') + 1);
      std::erase_if(environment, [&](const std::string& v) { return v.rfind(name, 0) == 0; });
      environment.push_back(e);
    }
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = dir + "/out.log", err = dir + "/err.log";
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawnp(&mPid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) mPid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Zentha() {
    if (mPid > 0) {
      kill(mPid, SIGKILL);
      waitpid(mPid, nullptr, 0);
    }
  }
  std::string out() const { return readFile(mDir + "/out.log"); }
  std::string err() const { return readFile(mDir + "/err.log"); }
  pid_t pid() const { return mPid; }
  // False once it has ended (and then reaped, its status lost).
  bool running() {
    if (mPid > 0 && waitpid(mPid, nullptr, WNOHANG) != 0) mPid = -1;
    return mPid > 0;
  }
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
  std::string mDir;
  pid_t mPid = -1;
};

// Sends xdotool commands to the program's window (found by its title and given the focus).
inline int toWindow(const std::vector<std::string>& commands) {
  std::vector<std::string> args{"search",   "--sync",      "--onlyvisible", "--name",
                                "^ZENTHA$", "windowfocus", "--sync",        "%1"};
  args.insert(args.end(), commands.begin(), commands.end());
  return xdo::run(args, 20.0, kIdle);
}

// The same for the window of one program among several.
inline int toWindowOf(pid_t pid, const std::vector<std::string>& commands) {
  std::vector<std::string> args{
      "search", "--sync",   "--onlyvisible", "--pid",  std::to_string(pid),
      "--name", "^ZENTHA$", "windowfocus",   "--sync", "%1"};
  args.insert(args.end(), commands.begin(), commands.end());
  return xdo::run(args, 20.0, kIdle);
}

// The whole screen, 1280 × 800 RGB.
struct Shot {
  std::vector<unsigned char> rgb;
  static constexpr int W = 1280, H = 800;

  // The screen of the test's display, or of another one (":N").
  static Shot take(const std::string& display = "") {
    Shot s;
    const std::string on = display.empty() ? "" : " -display " + display;
    const std::string cmd =
        "import" + on + " -window root shot.png && /usr/bin/convert shot.png -depth 8 rgb:shot.rgb";
    std::remove("shot.rgb");
    if (std::system(cmd.c_str()) != 0) return s;
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
  // A point inside the left end of the "start" button, the leftmost solid mid-grey box of the
  // lower half (1280 x 800 pixel coordinates); (-1, -1) when there is none. Long runs of grey
  // tell the box from the grey edges of text.
  std::pair<int, int> startButton() const {
    auto grey = [&](int x, int y) {
      const unsigned char* p = &rgb[(size_t(y) * W + x) * 3];
      return p[0] > 110 && p[0] < 145 && p[0] == p[1] && p[1] == p[2];
    };
    constexpr int kRun = 60;
    int x0 = W;
    std::vector<int> runStart(H, -1);  // per row, where its first long grey run starts
    for (int y = H / 2; ok() && y < H; ++y) {
      for (int x = 0, run = 0; x < W && runStart[y] < 0; ++x) {
        run = grey(x, y) ? run + 1 : 0;
        if (run == kRun) runStart[y] = x - kRun + 1;
      }
      if (runStart[y] >= 0) x0 = std::min(x0, runStart[y]);
    }
    int sumY = 0, rows = 0;
    for (int y = H / 2; y < H; ++y) {
      if (runStart[y] >= 0 && runStart[y] <= x0 + 2) sumY += y, ++rows;
    }
    if (rows < 5) return {-1, -1};
    return {x0 + 15, sumY / rows};
  }
  // The title's big letters, above the subtitle on the right half of the screen.
  bool showsTitle() const { return white(640, 20, 1100, 160) > 1500; }
};

// What reached the JACK server's first two outputs over a while.
inline std::vector<std::vector<float>> monitor(double seconds) {
  std::remove("monitor.wav");
  const std::string cmd = "jack_rec -f monitor.wav -d " + std::to_string(seconds) +
                          " -b 16 system:monitor_1 system:monitor_2 >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return {};
  return zentha_test::readWav("monitor.wav");
}

inline double monitorRms(double seconds) {
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

// Resident size of a process in kB, from its status file; -1 when it is gone.
inline long residentKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (in >> key) {
    if (key == "VmRSS:") {
      long kb = -1;
      in >> kb;
      return kb;
    }
    in.ignore(4096, '\n');
  }
  return -1;
}

}  // namespace zentha_program
