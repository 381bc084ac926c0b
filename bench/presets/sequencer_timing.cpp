// Lateness of the preset sequencer's timing thread on the real clock: when each step of a
// sequence actually runs, against when it was due. Reported as median, 99th percentile and
// worst lateness over a few hundred steps (goal: median under 1 ms, worst under 10 ms).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "ui/vl_PresetSequencer.hpp"

namespace {

constexpr int kSteps = 300;
constexpr double kSpacing = 0.0137;  // deliberately not a multiple of the 10 ms granularity

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Scratch {
  Scratch() {
    path = (std::filesystem::temp_directory_path() / "zentha_sequencer_bench").string();
    std::filesystem::create_directories(path);
  }
  ~Scratch() { std::filesystem::remove_all(path); }
  std::string path;
};

void report(benchmark::State& state, std::vector<double> lateness) {
  std::sort(lateness.begin(), lateness.end());
  state.counters["steps"] = static_cast<double>(lateness.size());
  if (lateness.empty()) return;
  state.counters["median_ms"] = lateness[lateness.size() / 2] * 1e3;
  state.counters["p99_ms"] = lateness[lateness.size() * 99 / 100] * 1e3;
  state.counters["worst_ms"] = lateness.back() * 1e3;
  state.counters["earliest_ms"] = lateness.front() * 1e3;
}

// Event steps: the timing thread alone.
void BM_EventStepLateness(benchmark::State& state) {
  Scratch scratch;
  {
    std::ofstream out(scratch.path + "/events.sequence");
    for (int i = 0; i < kSteps; ++i) out << "@tick:0:" << kSpacing << "\n";
  }
  vl::PresetSequencer seq;
  seq.setDirectory(scratch.path);
  std::mutex lock;
  double origin = 0.0;
  std::vector<double> times;
  seq.registerBeginCallback([&](vl::PresetSequencer*) { origin = seconds(); });
  seq.registerEventCommand("tick", [&](const std::vector<vl::ParameterField>&) {
    std::lock_guard<std::mutex> guard(lock);
    times.push_back(seconds());
  });
  std::vector<double> lateness;
  for (auto _ : state) {
    times.clear();
    seq.playSequence("events");
    while (seq.running()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard<std::mutex> guard(lock);
    for (std::size_t i = 0; i < times.size(); ++i) {
      lateness.push_back(times[i] - origin - (i + 1) * kSpacing);
    }
  }
  report(state, lateness);
}
BENCHMARK(BM_EventStepLateness)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Preset steps: each recall reads its preset file on the timing thread.
void BM_PresetStepLateness(benchmark::State& state) {
  Scratch scratch;
  {
    std::ofstream out(scratch.path + "/presets.sequence");
    for (int i = 0; i < kSteps; ++i) out << (i % 2 ? "a" : "b") << ":0:" << kSpacing << "\n";
    std::ofstream(scratch.path + "/a.preset") << "::a\n/level f 0.25 \n::\n";
    std::ofstream(scratch.path + "/b.preset") << "::b\n/level f 0.75 \n::\n";
  }
  vl::PresetHandler handler(scratch.path);
  vl::Parameter level{"level"};
  handler << level;
  vl::PresetSequencer seq;
  seq << handler;
  std::mutex lock;
  double origin = 0.0;
  std::vector<double> times;
  seq.registerBeginCallback([&](vl::PresetSequencer*) { origin = seconds(); });
  handler.registerRecallNameCallback([&](const std::string&, float) {
    std::lock_guard<std::mutex> guard(lock);
    times.push_back(seconds());
  });
  std::vector<double> lateness;
  for (auto _ : state) {
    times.clear();
    seq.playSequence("presets");
    while (seq.running()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard<std::mutex> guard(lock);
    // The first preset is recalled by playSequence itself, before the thread starts.
    for (std::size_t i = 1; i < times.size(); ++i) {
      lateness.push_back(times[i] - origin - i * kSpacing);
    }
  }
  report(state, lateness);
}
BENCHMARK(BM_PresetStepLateness)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
