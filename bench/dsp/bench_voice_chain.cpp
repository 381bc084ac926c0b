#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

#include "VoiceChain.hpp"
#include "dsp/Domain.hpp"
#include "dsp/ScopedFlushDenormals.hpp"

// Cost of one voice's chain at 44100 Hz in 512-frame blocks. The "chains_realtime" counter is
// audio time rendered per second of processing: how many such chains one core runs in real time.

namespace {

constexpr int kBlock = 512;
constexpr double kRate = 44100.0;

VoiceChain& chain(bool silentTail) {
  snl::Domain::master().setSampleRate(kRate);
  static std::unique_ptr<VoiceChain> noisy, silent;
  auto& c = silentTail ? silent : noisy;
  if (!c) {
    c = std::make_unique<VoiceChain>();
    float l[kBlock], r[kBlock];
    if (silentTail) {
      // An impulse, then three minutes of silence: every feedback path has decayed far below
      // the smallest normal float, where an unguarded unit would now work on subnormals.
      c->render(l, r, kBlock, 1.0f);
      for (int i = 0; i < int(180 * kRate / kBlock); ++i) c->render(l, r, kBlock);
    } else {
      c->randomTable(7);
    }
  }
  return *c;
}

void run(benchmark::State& state, bool silentTail) {
  std::optional<snl::ScopedFlushDenormals> flush;
  if (state.range(0)) flush.emplace();
  VoiceChain& c = chain(silentTail);
  float l[kBlock], r[kBlock];
  for (auto _ : state) {
    c.render(l, r, kBlock);
    benchmark::DoNotOptimize(l);
    benchmark::DoNotOptimize(r);
  }
  const double frames = double(state.iterations()) * kBlock;
  state.SetItemsProcessed(int64_t(frames));
  state.counters["chains_realtime"] =
      benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

void BM_VoiceChainNoise(benchmark::State& state) {
  run(state, false);
}
void BM_VoiceChainSilentTail(benchmark::State& state) {
  run(state, true);
}

}  // namespace

// Argument: 1 with the audio thread's flush-to-zero mode set, 0 with the default mode.
BENCHMARK(BM_VoiceChainNoise)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VoiceChainSilentTail)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
