#pragma once

// Helpers for tests that run beside a JACK server: recording what reached the server through
// its monitor ports, and reading the recording back.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace zentha_test {

// A child process that this object owns: started at construction, reaped by wait() or at
// destruction (killed first if still running).
class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&mPid, argv[0], &actions, nullptr, argv.data(), environ) != 0) mPid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ChildProcess() {
    if (mPid > 0) {
      kill(mPid, SIGTERM);
      wait();
    }
  }
  bool started() const { return mPid > 0; }
  // Exit status, or -1 when it did not exit normally.
  int wait() {
    int status = 0;
    if (mPid <= 0 || waitpid(mPid, &status, 0) != mPid) return -1;
    mPid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t mPid = -1;
};

// Integer or float PCM WAV, de-interleaved into one vector per channel, scaled to [-1, 1).
inline std::vector<std::vector<float>> readWav(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  auto u16 = [&](std::size_t at) {
    std::uint16_t v;
    std::memcpy(&v, &bytes[at], 2);
    return v;
  };
  auto u32 = [&](std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, &bytes[at], 4);
    return v;
  };
  std::vector<std::vector<float>> chans;
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) ||
      std::memcmp(&bytes[8], "WAVE", 4))
    return chans;
  int format = 0, nch = 0, bits = 0;
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    const std::uint32_t size = u32(at + 4);
    const std::size_t body = at + 8;
    if (!std::memcmp(&bytes[at], "fmt ", 4)) {
      format = u16(body);
      nch = u16(body + 2);
      bits = u16(body + 14);
    } else if (!std::memcmp(&bytes[at], "data", 4) && nch > 0) {
      const int width = bits / 8;
      const std::size_t frames = std::min<std::size_t>(size, bytes.size() - body) / (width * nch);
      chans.assign(nch, std::vector<float>(frames));
      for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < nch; ++c) {
          const char* p = &bytes[body + (i * nch + c) * width];
          float v = 0.0f;
          if (format == 3 && bits == 32) {
            std::memcpy(&v, p, 4);
          } else if (bits == 32) {
            std::int32_t s;
            std::memcpy(&s, p, 4);
            v = static_cast<float>(s / 2147483648.0);
          } else if (bits == 16) {
            std::int16_t s;
            std::memcpy(&s, p, 2);
            v = s / 32768.0f;
          }
          chans[c][i] = v;
        }
      }
      return chans;
    }
    at = body + size + (size & 1);
  }
  return chans;
}

inline std::string tempPath(const std::string& stem) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/" + stem + "-" + std::to_string(getpid());
}

}  // namespace zentha_test
