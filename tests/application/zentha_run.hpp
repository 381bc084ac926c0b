#pragma once

// The program run as a user runs it, for tests that keep it going through trouble: in the
// current directory, on the test's virtual display, beside the test's JACK server, its output
// kept in out.log and err.log.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "io/XdoTool.hpp"
#include "sound/jack_support.hpp"

extern char** environ;

namespace zentha_run {

using Clock = std::chrono::steady_clock;

inline void sleepFor(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

inline double since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The program under a host name of its own (a UTS namespace); `prefix` runs before it in the
// same namespace (a shell command ending in "&&", e.g. to remount the directory).
class Zentha {
 public:
  explicit Zentha(const std::string& hostName, const std::string& prefix = "",
                  std::vector<std::string> unshareFlags = {}) {
    std::vector<std::string> args{"unshare", "--uts"};
    args.insert(args.end(), unshareFlags.begin(), unshareFlags.end());
    if (getuid() != 0) args.push_back("--map-root-user");
    args.insert(args.end(),
                {"sh", "-c", prefix + " hostname \"$0\" && exec \"$1\"", hostName, ZENTHA});
    // The display's cookie is filed under the test's host name; a wildcard copy lets the
    // program in.
    const std::string auth = std::filesystem::temp_directory_path().string() + "/wild-" +
                             std::to_string(getpid()) + ".xauth";
    std::system(("xauth nlist \"$DISPLAY\" | sed -e 's/^..../ffff/' | xauth -q -f " + auth +
                 " nmerge - 2>/dev/null")
                    .c_str());
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) environment.push_back(*e);
    environment.push_back("XAUTHORITY=" + auth);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    mOut =
        std::filesystem::temp_directory_path().string() + "/zentha-out-" + std::to_string(getpid());
    mErr = mOut + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, mOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, mErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawnp(&mPid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) mPid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Zentha() {
    if (mPid > 0) {
      kill(mPid, SIGKILL);
      waitpid(mPid, nullptr, 0);
    }
    std::remove(mOut.c_str());
    std::remove(mErr.c_str());
  }
  std::string out() const { return readFile(mOut); }
  std::string err() const { return readFile(mErr); }
  void signal(int s) {
    if (mPid > 0) kill(mPid, s);
  }
  // The program's own process (the namespace helper execs into it).
  pid_t pid() const { return mPid; }
  // False once it has ended (and then reaped, its status lost).
  bool running() {
    if (mPid > 0 && waitpid(mPid, nullptr, WNOHANG) != 0) mPid = -1;
    return mPid > 0;
  }
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
  std::string mOut, mErr;
};

// Sends xdotool commands to the program's window (found by its title and given the focus).
inline int toWindow(const std::vector<std::string>& commands) {
  std::vector<std::string> args{"search",   "--sync",      "--onlyvisible", "--name",
                                "^ZENTHA$", "windowfocus", "--sync",        "%1"};
  args.insert(args.end(), commands.begin(), commands.end());
  return xdo::run(args, 20.0, [] {});
}

// The whole screen as raw RGB.
inline std::vector<unsigned char> screen() {
  const std::string png =
      std::filesystem::temp_directory_path().string() + "/zentha-shot-" + std::to_string(getpid());
  std::system(("import -window root " + png + ".png && /usr/bin/convert " + png +
               ".png -depth 8 rgb:" + png + ".rgb")
                  .c_str());
  const std::string rgb = readFile(png + ".rgb");
  std::remove((png + ".png").c_str());
  std::remove((png + ".rgb").c_str());
  return std::vector<unsigned char>(rgb.begin(), rgb.end());
}

// RMS of what reached the JACK server's first two outputs over a while; -1 when nothing could
// be recorded (no server).
inline double monitorRms(double seconds) {
  const std::string wav = std::filesystem::temp_directory_path().string() + "/zentha-monitor-" +
                          std::to_string(getpid()) + ".wav";
  std::remove(wav.c_str());
  const std::string cmd = "jack_rec -f " + wav + " -d " + std::to_string(seconds) +
                          " -b 16 system:monitor_1 system:monitor_2 >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return -1.0;
  const auto chans = zentha_test::readWav(wav);
  std::remove(wav.c_str());
  double sum = 0.0;
  size_t n = 0;
  for (const auto& c : chans) {
    for (float v : c) sum += double(v) * v, ++n;
  }
  return n ? std::sqrt(sum / double(n)) : -1.0;
}

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

}  // namespace zentha_run
