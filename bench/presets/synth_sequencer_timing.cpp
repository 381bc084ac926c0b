// Lateness of the synth sequencer's CPU play thread on the real clock: when each voice of a
// score is triggered on, against its time in the score. Median, 99th percentile and worst
// over a few hundred events, for two play-thread periods.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "ui/vl_SynthSequencer.hpp"

namespace {

constexpr int kEvents = 300;
constexpr double kSpacing = 0.0137;

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Hands out voices without limit and notes when each is triggered on.
class TimingPool : public vl::SynthSequencerVoicePool {
 public:
  int takeVoice(const std::string&) override { return 0; }
  bool setVoiceFields(int, const std::vector<vl::ParameterField>&) override { return true; }
  int triggerOn(int, int, int) override {
    std::lock_guard<std::mutex> lock(mLock);
    times.push_back(seconds());
    return static_cast<int>(times.size());
  }
  void triggerOff(int) override {}
  void giveBack(int) override {}

  std::mutex mLock;
  std::vector<double> times;
};

void BM_SynthTriggerLateness(benchmark::State& state) {
  const std::string dir =
      (std::filesystem::temp_directory_path() / "zentha_synth_sequencer_bench").string();
  std::filesystem::create_directories(dir);
  {
    std::ofstream out(dir + "/score.synthSequence");
    for (int i = 0; i < kEvents; ++i) out << "@ " << i * kSpacing << " 0.005 V 1\n";
  }
  TimingPool pool;
  vl::SynthSequencer seq(vl::SynthSequencer::TIME_MASTER_CPU,
                         static_cast<uint64_t>(state.range(0)));
  seq.setVoicePool(pool);
  seq.setDirectory(dir);
  std::vector<double> lateness;
  for (auto _ : state) {
    pool.times.clear();
    // Events at 0 come a second after a start at -1, as the application plays its score.
    seq.playSequence("score", -1.0f);
    const double origin = seq.playStartClockTime() + 1.0;
    while (seq.playing()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard<std::mutex> lock(pool.mLock);
    for (std::size_t i = 0; i < pool.times.size(); ++i) {
      lateness.push_back(pool.times[i] - origin - static_cast<double>(i) * kSpacing);
    }
  }
  seq.stopSequence();
  std::filesystem::remove_all(dir);
  std::sort(lateness.begin(), lateness.end());
  state.counters["events"] = static_cast<double>(lateness.size());
  if (lateness.empty()) return;
  state.counters["median_ms"] = lateness[lateness.size() / 2] * 1e3;
  state.counters["p99_ms"] = lateness[lateness.size() * 99 / 100] * 1e3;
  state.counters["worst_ms"] = lateness.back() * 1e3;
}
// Periods of 1 ms and 0.25 ms.
BENCHMARK(BM_SynthTriggerLateness)
    ->Arg(1000000)
    ->Arg(250000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
