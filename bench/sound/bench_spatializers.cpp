// One audio block of 32 sources through each spatialiser the application can choose (and the
// 54 speakers as triangles, for domes built on the library), with the
// outputs cleared and mixed as the scene does. A block lasts 512 / 44100 s = 11.6 ms; the
// "block_pct" counter is the share of it, in percent, that one block of spatialising takes on
// one core (CPU time).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <vector>

#include "sound/vl_SpeakerLayout.hpp"
#include "sound/vl_Vbap.hpp"

using namespace vl;

namespace {

constexpr int kFrames = 512;
constexpr int kSources = 32;

// With `triplets`, the 54 speakers as one set of triangles instead of three rings.
void spatialiseBlock(benchmark::State& state, int outputs, bool triplets = false) {
  // The layouts print their construction; keep the benchmark output clean.
  std::FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");
  std::shared_ptr<Spatializer> sp;
  if (triplets) {
    sp = std::make_shared<Vbap>(ThreeRingSpeakerLayout(), true);
    sp->compile();
  } else {
    sp = spatializerForOutputs(outputs);
  }
  std::fclose(stdout);
  stdout = saved;

  AudioIOData io;
  io.framesPerBuffer(kFrames);
  io.channels(outputs, true);
  // A simple test signal per source: a sine at its own frequency.
  std::vector<std::vector<float>> voices(kSources, std::vector<float>(kFrames));
  std::vector<Pose> poses;
  for (int v = 0; v < kSources; ++v) {
    for (int f = 0; f < kFrames; ++f)
      voices[v][f] =
          0.1f * std::sin(2.0f * std::numbers::pi_v<float> * (110.0f + 20.0f * v) * f / 44100.0f);
    const double az = v * 2.0 * std::numbers::pi / kSources, el = (v % 5 - 2) * 0.35;
    poses.emplace_back(
        Vec3d(3 * std::cos(el) * std::sin(az), 3 * std::sin(el), -3 * std::cos(el) * std::cos(az)));
  }
  for (auto _ : state) {
    io.zeroOut();
    sp->prepare(io);
    for (int v = 0; v < kSources; ++v) sp->renderBuffer(io, poses[v], voices[v].data(), kFrames);
    sp->finalize(io);
    benchmark::DoNotOptimize(io.outBuffer(0));
    benchmark::ClobberMemory();
  }
  // CPU time per block over the block's duration, in percent.
  const double blockSeconds = double(kFrames) / 44100.0;
  state.counters["block_pct"] =
      benchmark::Counter(double(state.iterations()) * blockSeconds / 100.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_StereoPanner32(benchmark::State& s) {
  spatialiseBlock(s, 2);
}
void BM_EightSpeakerRing32(benchmark::State& s) {
  spatialiseBlock(s, 8);
}
void BM_FiftyFourSpeakers32(benchmark::State& s) {
  spatialiseBlock(s, 60);
}
void BM_FiftyFourSpeakerTriplets32(benchmark::State& s) {
  spatialiseBlock(s, 60, true);
}

}  // namespace

BENCHMARK(BM_StereoPanner32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EightSpeakerRing32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FiftyFourSpeakers32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FiftyFourSpeakerTriplets32)->Unit(benchmark::kMicrosecond);
