#pragma once

// Helpers for the checks of the piece's data: a scratch copy of data/ to work in (the program
// runs in its data folder, and a check must not leave files in the source tree), the renderer
// run as a program with its console kept, WAV files read back, and the console lines that
// report a fault.

#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace zentha_data {

// A copy of data/ in a fresh directory, entered for the object's lifetime.
class DataCopy {
 public:
  DataCopy() : mPrevious(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "zentha_dataXXXXXX").string();
    if (mkdtemp(pattern.data())) mPath = pattern;
    std::filesystem::copy(ZENTHA_DATA_DIR, mPath, std::filesystem::copy_options::recursive);
    std::filesystem::current_path(mPath);
  }
  ~DataCopy() {
    std::error_code ec;
    std::filesystem::current_path(mPrevious, ec);
    std::filesystem::remove_all(mPath, ec);
  }
  DataCopy(const DataCopy&) = delete;
  DataCopy& operator=(const DataCopy&) = delete;
  const std::filesystem::path& path() const { return mPath; }

 private:
  std::filesystem::path mPrevious;
  std::filesystem::path mPath;
};

struct ToolRun {
  int status = -1;      // 128 + the signal that ended it, as a shell says
  std::string console;  // standard output and standard error, as they came
};

// Runs a program in the working directory and keeps what it prints.
inline ToolRun runTool(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string log = "console.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  ToolRun run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream in(log);
  run.console.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return run;
}

// The console lines that report something wrong: errors, warnings, refusals and dropped
// events, however each part of the program words them.
inline std::vector<std::string> faultLines(const std::string& console) {
  static const char* const kWords[] = {"error",   "warning", "could not", "unable", "ignor",
                                       "refused", "bad ",    "no preset", "cannot"};
  std::vector<std::string> faults;
  size_t start = 0;
  while (start < console.size()) {
    size_t end = console.find('\n', start);
    if (end == std::string::npos) end = console.size();
    const std::string line = console.substr(start, end - start);
    std::string lower = line;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    for (const char* w : kWords) {
      if (lower.find(w) != std::string::npos) {
        faults.push_back(line);
        break;
      }
    }
    start = end + 1;
  }
  return faults;
}

struct Sound {
  int channels = 0, rate = 0;
  std::vector<float> samples;  // interleaved
  size_t frames() const { return channels ? samples.size() / size_t(channels) : 0; }
};

inline Sound readSound(const std::string& path) {
  SF_INFO info{};
  Sound s;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return s;
  s.channels = info.channels, s.rate = info.samplerate;
  s.samples.resize(size_t(info.frames) * size_t(info.channels));
  s.samples.resize(size_t(sf_readf_float(f, s.samples.data(), info.frames)) *
                   size_t(info.channels));
  sf_close(f);
  return s;
}

}  // namespace zentha_data
