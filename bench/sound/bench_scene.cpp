// One audio block of the scene with 32 active voices through each spatialiser the application
// can choose. The test voice only copies a precomputed sine cycle into its buffer, so the block
// time is the scene's own work: per-voice buffers, distance attenuation, spatialising and
// mixing. "block_pct" is the share, in percent, of a 512-frame block at 44.1 kHz (11.6 ms)
// that one block takes on one core. The voices-only case renders the same voices through a
// plain synth (per-voice buffers mixed into two outputs) for comparison.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "sound/vl_DynamicScene.hpp"
#include "sound/vl_PolySynthVoicePool.hpp"
#include "sound/vl_SpeakerLayout.hpp"

using namespace vl;

namespace {

constexpr int kFrames = 512;
constexpr int kVoices = 32;

class TableVoice : public PositionedVoice {
 public:
  TableVoice() {
    static const std::vector<float> table = [] {
      std::vector<float> t(kFrames);
      for (int f = 0; f < kFrames; ++f)
        t[f] = 0.1f * std::sin(2 * std::numbers::pi_v<float> * f / 64);
      return t;
    }();
    mTable = table.data();
  }
  void onProcessAudio(AudioIOData& io) override {
    const int first = io.frame() + 1;
    for (unsigned int c = 0; c < numOutChannels(); ++c) {
      float* out = io.outBuffer(static_cast<int>(c));
      for (int f = first; f < io.framesPerBuffer(); ++f) out[f] = mTable[f];
    }
  }

 private:
  const float* mTable;
};

// Voices spread around the listener at 3 m, at five elevations.
void fill(PolySynth& synth, unsigned int channels) {
  synth.allocatePolyphony<TableVoice>(kVoices);
  for (int v = 0; v < kVoices; ++v) {
    auto* voice = static_cast<TableVoice*>(synth.getFreeVoice());
    const double az = v * 2.0 * std::numbers::pi / kVoices, el = (v % 5 - 2) * 0.35;
    voice->setPose(Pose(Vec3d(3 * std::cos(el) * std::sin(az), 3 * std::sin(el),
                              -3 * std::cos(el) * std::cos(az))));
    voice->setNumOutChannels(channels);
    voice->audioOutOffsets({{-0.4f, 0, 0}, {0.4f, 0, 1}});
    synth.triggerOn(voice);
  }
}

void reportBlockShare(benchmark::State& state) {
  const double blockSeconds = double(kFrames) / 44100.0;
  state.counters["block_pct"] =
      benchmark::Counter(double(state.iterations()) * blockSeconds / 100.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void sceneBlock(benchmark::State& state, int outputs) {
  std::FILE* saved = stdout;  // the layouts describe themselves
  stdout = std::fopen("/dev/null", "w");
  auto spatializer = spatializerForOutputs(outputs);
  std::fclose(stdout);
  stdout = saved;

  DynamicScene scene;
  scene.setSpatializer(spatializer);
  fill(scene, static_cast<unsigned int>(state.range(0)));
  AudioIOData io;
  io.framesPerBuffer(kFrames);
  io.channels(outputs, true);
  scene.render(io);  // activates the voices and sizes the buffers
  for (auto _ : state) {
    io.zeroOut();
    scene.render(io);
    benchmark::DoNotOptimize(io.outBuffer(0));
    benchmark::ClobberMemory();
  }
  reportBlockShare(state);
}

void BM_SceneStereoPanner32(benchmark::State& s) {
  sceneBlock(s, 2);
}
void BM_SceneEightSpeakerRing32(benchmark::State& s) {
  sceneBlock(s, 8);
}
void BM_SceneFiftyFourSpeakers32(benchmark::State& s) {
  sceneBlock(s, 60);
}

void BM_VoicesOnly32(benchmark::State& state) {
  PolySynth synth;
  fill(synth, static_cast<unsigned int>(state.range(0)));
  AudioIOData io;
  io.framesPerBuffer(kFrames);
  io.channels(2, true);
  synth.render(io);
  for (auto _ : state) {
    io.zeroOut();
    synth.render(io);
    benchmark::DoNotOptimize(io.outBuffer(0));
    benchmark::ClobberMemory();
  }
  reportBlockShare(state);
}

// One block of the scene on 60 outputs played by the synth sequencer in audio time: a dense
// score of "@" lines (a new voice every 20 ms, 0.3 s each, about fifteen sounding), started
// at their frames by the audio block from the voices its preparation thread got ready.
void BM_SceneSequencerAudioTime(benchmark::State& state) {
  std::FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");
  auto spatializer = spatializerForOutputs(60);
  std::fclose(stdout);
  stdout = saved;

  DynamicScene scene;
  scene.setSpatializer(spatializer);
  scene.registerSynthClass<TableVoice>("TableVoice", false);
  scene.allocatePolyphony("TableVoice", kVoices);
  AudioIOData io;
  io.framesPerBuffer(kFrames);
  io.framesPerSecond(44100);
  io.channels(60, true);
  scene.prepare(io);
  const std::string dir = "/tmp/zentha_scene_sequencer_bench";
  std::filesystem::create_directories(dir);
  {
    std::ofstream out(dir + "/dense.synthSequence");
    for (int i = 0; i < 20000; ++i) out << "@ " << i * 0.02 << " 0.3 TableVoice\n";
  }
  PolySynthVoicePool pool(scene);
  SynthSequencer seq(SynthSequencer::TIME_MASTER_AUDIO);
  seq.setVoicePool(pool);
  seq.setDirectory(dir);
  seq.playSequence("dense");
  for (auto _ : state) {
    io.zeroOut();
    renderSynthSequence(seq, scene, io);
    benchmark::DoNotOptimize(io.outBuffer(0));
    benchmark::ClobberMemory();
    // Paced a little, so that preparation (a thread of its own) keeps ahead on a busy machine.
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    state.ResumeTiming();
  }
  seq.stopSequence();
  std::filesystem::remove_all(dir);
  reportBlockShare(state);
}

}  // namespace

BENCHMARK(BM_SceneSequencerAudioTime)->Unit(benchmark::kMicrosecond)->Iterations(3000);
// The argument is the number of output channels of each voice.
BENCHMARK(BM_VoicesOnly32)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneStereoPanner32)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneEightSpeakerRing32)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneFiftyFourSpeakers32)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
