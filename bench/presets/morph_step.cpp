// One morph step of a preset handler holding 40 float parameters, the work the animation
// thread does every frame while a preset morphs.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ui/vl_PresetHandler.hpp"

namespace {

constexpr int kParameters = 40;

void BM_MorphStep40(benchmark::State& state) {
  const std::string dir = (std::filesystem::temp_directory_path() / "zentha_morph_bench").string();
  std::filesystem::create_directories(dir);
  {
    std::ofstream out(dir + "/target.preset");
    out << "::target\n";
    for (int i = 0; i < kParameters; ++i) {
      char line[64];
      std::snprintf(line, sizeof line, "/voice/p%02d f %f \n", i, 1.0 + i);
      out << line;
    }
    out << "::\n";
  }
  std::vector<std::unique_ptr<vl::Parameter>> parameters;
  vl::PresetHandler handler(dir);
  for (int i = 0; i < kParameters; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "p%02d", i);
    parameters.push_back(std::make_unique<vl::Parameter>(name, "voice", 0.0f, "", -100.0f, 100.0f));
    handler << *parameters.back();
  }
  // 20 s at the 20 ms step interval: a thousand steps per recall.
  handler.recallPreset("target", 20.0f);
  for (auto _ : state) {
    if (!handler.morphing()) {
      state.PauseTiming();
      handler.recallPreset("target", 20.0f);
      state.ResumeTiming();
    }
    handler.morphStep(0.02);
  }
  benchmark::DoNotOptimize(parameters.front()->get());
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_MorphStep40);

}  // namespace
