#pragma once

// Real X input for tests: runs xdotool in a child process while the test keeps handling
// window events, so that windows stay responsive and events arrive as they would for a user.
//
//   vl::Window w; w.title("probe"); w.create(false);
//   std::string id = xdo::findWindow("probe");
//   xdo::focus(id);
//   xdo::run({"key", "--clearmodifiers", "ctrl+q"});
//   xdo::pumpUntil([&] { return gotIt; }, 5.0);
//
// A test whose main loop is someone else's (an app's start()) can start an xdo::Process from a
// hook and let the loop do the pumping; xdotool chains commands, so one process can find, focus
// and type:
//
//   xdo::Process p({"search", "--sync", "--name", "^Vantapp$", "windowfocus", "--sync", "%1",
//                   "key", "ctrl+q"});   // kept alive until the loop has ended

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

extern char** environ;

namespace xdo {

using Pump = std::function<void()>;

// Handles pending window events once; the default pump of every helper below.
inline void pollGlfw() {
  glfwPollEvents();
}

// Pumps until done() holds or the time is up; returns done().
inline bool pumpUntil(const std::function<bool()>& done, double timeoutSeconds,
                      const Pump& pump = pollGlfw) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  while (true) {
    pump();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// Pumps for a fixed time, for events that may or may not come.
inline void pumpFor(double seconds, const Pump& pump = pollGlfw) {
  pumpUntil([] { return false; }, seconds, pump);
}

// One xdotool command running in a child process; its standard output is collected.
class Process {
 public:
  explicit Process(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<std::string> full{"xdotool"};
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : full) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&mPid, "xdotool", &actions, nullptr, argv.data(), environ) != 0) mPid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    mFd = fds[0];
    fcntl(mFd, F_SETFL, O_NONBLOCK);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process() {
    if (running()) {
      kill(mPid, SIGTERM);
      waitpid(mPid, nullptr, 0);
    }
    if (mFd >= 0) close(mFd);
  }

  // Collects output and notices the end of the child without blocking.
  bool running() {
    drain();
    if (mPid <= 0 || mDone) return false;
    int status = 0;
    if (waitpid(mPid, &status, WNOHANG) == mPid) {
      mDone = true;
      mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      drain();
      return false;
    }
    return true;
  }
  // Exit status once ended; -1 while running, after a signal or if it never started.
  int status() const { return mStatus; }
  const std::string& output() const { return mOutput; }

  // Pumps events until the command ends; returns its status, -1 on timeout.
  int wait(double timeoutSeconds = 10.0, const Pump& pump = pollGlfw) {
    pumpUntil([this] { return !running(); }, timeoutSeconds, pump);
    return mDone ? mStatus : -1;
  }

 private:
  void drain() {
    if (mFd < 0) return;
    char buf[256];
    ssize_t n;
    while ((n = read(mFd, buf, sizeof buf)) > 0) mOutput.append(buf, size_t(n));
  }

  pid_t mPid = -1;
  int mFd = -1;
  bool mDone = false;
  int mStatus = -1;
  std::string mOutput;
};

// Runs one xdotool command to its end while pumping; returns its exit status (-1: timeout).
inline int run(const std::vector<std::string>& args, double timeoutSeconds = 10.0,
               const Pump& pump = pollGlfw) {
  Process p(args);
  return p.wait(timeoutSeconds, pump);
}

// The X id of the (first) mapped window with this exact title, "" if none appears in time.
inline std::string findWindow(const std::string& title, double timeoutSeconds = 10.0,
                              const Pump& pump = pollGlfw) {
  Process p({"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"});
  if (p.wait(timeoutSeconds, pump) != 0) return "";
  std::string id = p.output();
  id = id.substr(0, id.find('\n'));
  return id;
}

// Gives the window the keyboard focus and puts the pointer over it, so that plain (XTEST)
// keys and clicks reach it. There is no window manager under Xvfb, so "windowactivate" does not
// work; setting the focus directly does.
inline bool focus(const std::string& id, const Pump& pump = pollGlfw) {
  return run({"windowfocus", "--sync", id}, 10.0, pump) == 0;
}

}  // namespace xdo
