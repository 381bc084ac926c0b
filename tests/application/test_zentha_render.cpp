// The offline renderer run as a user runs it, in a data folder of its own: equal input gives
// equal files, each layout its channels, and bad input a message and a failing exit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "voice_support.hpp"

extern char** environ;

namespace {

struct ToolRun {
  int status = -1;
  std::string err;
};

// Runs the tool in the working directory with standard error kept.
ToolRun renderTool(std::vector<std::string> args) {
  args.insert(args.begin(), ZENTHA_RENDER);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  ToolRun run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream in("stderr.txt");
  run.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return run;
}

std::string bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Sound {
  int channels = 0, rate = 0;
  sf_count_t frames = 0;
  std::vector<double> peaks;
};

Sound readSound(const std::string& path) {
  SF_INFO info{};
  Sound s;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return s;
  s.channels = info.channels, s.rate = info.samplerate, s.frames = info.frames;
  std::vector<float> all(size_t(info.frames * info.channels));
  sf_readf_float(f, all.data(), info.frames);
  sf_close(f);
  s.peaks.assign(size_t(info.channels), 0.0);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_TRUE(std::isfinite(all[i]));
    double& p = s.peaks[i % size_t(info.channels)];
    p = std::max(p, double(std::fabs(all[i])));
  }
  return s;
}

void writeSequence() {
  std::ofstream("two.synthSequence")
      << "@ 0 1.5 HydrogenVoice 0.05 0.5 \"Sounding\" \"\" 0 1 0.3\n"
         "@ 0.4 1 HydrogenVoice 0.05 0.3 \"defaults/Sounding\" \"\" 12 1 0.3 2 0 -1 1 0 0 0 1\n";
}

}  // namespace

TEST(ZenthaRender, EqualInputGivesEqualFilesAndEachLayoutItsChannels) {
  zentha_test::WorkingDirectory dir;
  zentha_test::storeSoundingPreset("Sounding");
  zentha_test::storeSoundingPreset("Sounding", "defaults");
  writeSequence();

  ASSERT_EQ(renderTool({"two.synthSequence"}).status, 0);
  ASSERT_EQ(renderTool({"--out", "again.wav", "two.synthSequence"}).status, 0);
  const std::string first = bytes("two.wav");
  EXPECT_GT(first.size(), 1000u);
  EXPECT_TRUE(first == bytes("again.wav")) << "two renders of one sequence differ";

  const Sound stereo = readSound("two.wav");
  EXPECT_EQ(stereo.channels, 2);
  EXPECT_EQ(stereo.rate, 44100);
  // The sequence's end (1.5 s) and its longest release (0.5 s).
  EXPECT_EQ(stereo.frames, 2 * 44100);
  EXPECT_GT(stereo.peaks[0], 0.01);
  EXPECT_GT(stereo.peaks[1], 0.01);

  ASSERT_EQ(renderTool({"--layout", "array54", "--seconds", "1", "--rate", "48000", "--out",
                        "dome.wav", "two.synthSequence"})
                .status,
            0);
  const Sound array = readSound("dome.wav");
  EXPECT_EQ(array.channels, 54);
  EXPECT_EQ(array.rate, 48000);
  EXPECT_EQ(array.frames, 48000);
  int sounding = 0;
  for (double p : array.peaks) sounding += p > 1e-4;
  EXPECT_GE(sounding, 2);
  EXPECT_LT(sounding, 54);  // panned, not spread everywhere

  const ToolRun preset = renderTool({"--preset", "defaults/Sounding", "--seconds", "0.5",
                                     "--layout", "ring8", "pitch=8", "wfs2/w=0.5"});
  ASSERT_EQ(preset.status, 0) << preset.err;
  const Sound ring = readSound("Sounding.wav");
  EXPECT_EQ(ring.channels, 8);
  EXPECT_EQ(ring.frames, 22050);
}

TEST(ZenthaRender, BadInputIsNamedAndFails) {
  zentha_test::WorkingDirectory dir;
  zentha_test::storeSoundingPreset("Sounding");
  writeSequence();
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"missing.synthSequence"}, "missing.synthSequence"},
      {{"--layout", "dome", "two.synthSequence"}, "dome"},
      {{"--rate", "fast", "two.synthSequence"}, "--rate"},
      {{"--seconds", "-1", "two.synthSequence"}, "--seconds"},
      {{"--fps", "0", "two.synthSequence"}, "--fps"},
      {{"--loud", "two.synthSequence"}, "--loud"},
      {{}, "nothing to render"},
      {{"--preset", "Nowhere"}, "Nowhere"},
      {{"--preset", "../Sounding"}, "../Sounding"},
      {{"--preset", "Sounding", "colour=3"}, "colour"},
      {{"--preset", "Sounding", "pitch=high"}, "high"},
      {{"--preset", "Sounding", "pitch=11"}, "pitch=11"},
  };
  for (const auto& [args, named] : cases) {
    const ToolRun run = renderTool(args);
    EXPECT_NE(run.status, 0) << named;
    EXPECT_NE(run.err.find("ERROR:"), std::string::npos) << named << ": " << run.err;
    EXPECT_NE(run.err.find(named), std::string::npos) << named << ": " << run.err;
  }
  // Nothing was written for any of them.
  EXPECT_FALSE(std::filesystem::exists("two.wav"));
  EXPECT_FALSE(std::filesystem::exists("Sounding.wav"));
}
