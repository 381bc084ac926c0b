// The voice and the full scene in real time. "VoiceBlock" is one voice's 512-frame audio block;
// "SceneBlock" 32 voices through the scene and the 54-speaker spatialiser (the block lasts
// 11.6 ms at 44.1 kHz); "SceneFrame" the scene's per-frame update of 32 voices at
// "simulationSpeed" 4 on the scene's update pool, with the pool sizes of the program (6) and
// of the machine (2); "Render" zentha_render's loop over 32 voices on the 54-speaker layout,
// with its real-time factor as a counter.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>

#include "HydrogenVoice.hpp"
#include "OfflineRenderer.hpp"
#include "application/voice_support.hpp"
#include "sound/vl_DynamicScene.hpp"
#include "sound/vl_Lbap.hpp"
#include "sound/vl_SpeakerLayout.hpp"

namespace {

constexpr int kVoices = 32;
constexpr int kBlock = 512;
constexpr double kRate = 44100.0;

vl::AudioIOData makeBlock(int channels) {
  vl::AudioIOData io;
  io.framesPerSecond(kRate);
  io.framesPerBuffer(kBlock);
  io.channels(channels, true);
  io.channelsBus(1);
  return io;
}

// 32 sounding voices started in a scene over the 54 speakers, a few frames in, spread in
// front of the listener.
struct Scene {
  zentha_test::WorkingDirectory dir;
  vl::DynamicScene scene;
  vl::AudioIOData io = makeBlock(60);

  explicit Scene(int threads, float speed = 1.0f) : scene(threads, vl::TIME_MASTER_AUDIO) {
    snl::Domain::master().setSampleRate(kRate);
    scene.setSpatializer<vl::Lbap>(vl::ThreeRingSpeakerLayout());
    scene.registerSynthClass<HydrogenVoice>("HydrogenVoice");
    scene.allocatePolyphony("HydrogenVoice", kVoices);
    scene.prepare(io);
    for (int i = 0; i < kVoices; ++i) {
      auto* v = dynamic_cast<HydrogenVoice*>(scene.getFreeVoice("HydrogenVoice"));
      zentha_test::setSoundingAtom(*v);
      v->atom().parameters().simulationSpeed.set(speed);
      v->setPose(vl::Pose(vl::Vec3d(-3.0 + 0.2 * i, 0.05 * i, -2.0 + 0.1 * i)));
      scene.triggerOn(v);
    }
    for (int f = 0; f < 4; ++f) {
      scene.render(io);  // takes the voices in
      scene.update(1.0 / 60.0);
    }
  }
};

void VoiceBlock(benchmark::State& state) {
  zentha_test::WorkingDirectory dir;
  snl::Domain::master().setSampleRate(kRate);
  HydrogenVoice v;
  v.init();
  zentha_test::setSoundingAtom(v);
  v.onTriggerOn();
  for (int f = 0; f < 4; ++f) v.update(1.0 / 60.0);
  vl::AudioIOData io = makeBlock(2);
  for (auto _ : state) {
    io.zeroOut();
    io.frame(-1);
    v.onProcessAudio(io);
    benchmark::DoNotOptimize(io.outBuffer(0));
  }
}
BENCHMARK(VoiceBlock)->Unit(benchmark::kMicrosecond);

void SceneBlock(benchmark::State& state) {
  Scene s(0);
  for (auto _ : state) {
    s.io.zeroOut();
    s.io.frame(-1);
    s.scene.render(s.io);
    benchmark::DoNotOptimize(s.io.outBuffer(0));
  }
  state.counters["voices"] = double(kVoices);
}
BENCHMARK(SceneBlock)->Unit(benchmark::kMillisecond);

void SceneFrame(benchmark::State& state) {
  Scene s(int(state.range(0)), 4.0f);
  for (auto _ : state) s.scene.update(1.0 / 60.0);
}
BENCHMARK(SceneFrame)->Arg(6)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void Render(benchmark::State& state) {
  zentha_test::WorkingDirectory dir;
  zentha_test::storeSoundingPreset("Sounding");
  {
    std::ofstream score("dense.synthSequence");
    for (int i = 0; i < kVoices; ++i) {
      score << "@ " << 0.01 * i << " 100000 HydrogenVoice 0.05 1 \"Sounding\" \"\" " << i % 12
            << " 1 0.2 " << -3.0 + 0.2 * i << " " << 0.05 * i << " -2 1 0 0 0 1\n";
    }
  }
  OfflineRenderer::Options options;
  options.layout = "array54";
  OfflineRenderer renderer(options);
  std::string error;
  if (!renderer.playSequence("dense.synthSequence", error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const int blocksPerSecond = int(kRate / OfflineRenderer::kFramesPerBuffer);
  for (int b = 0; b < blocksPerSecond; ++b) renderer.renderBlock();  // every voice sounding
  for (auto _ : state) {
    for (int b = 0; b < blocksPerSecond; ++b) benchmark::DoNotOptimize(renderer.renderBlock());
  }
  const double audio = double(blocksPerSecond * OfflineRenderer::kFramesPerBuffer) / kRate;
  state.counters["x_realtime"] =
      benchmark::Counter(audio * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(Render)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
