#include "sound/vl_DynamicScene.hpp"

#include <algorithm>

#include "graphics/vl_Graphics.hpp"
#include "graphics/vl_Shapes.hpp"

namespace vl {

float DistanceAttenuation::attenuation(float distance) const {
  if (distance <= nearClip) return 1.0f;
  switch (law) {
    case ATTEN_LINEAR:
      return distance < farClip ? 1.0f - (distance - nearClip) * rolloff : farBias;
    case ATTEN_INVERSE:
      return nearClip / (nearClip + (distance - nearClip) * rolloff);
    case ATTEN_INVERSE_SQUARE: {
      const float near2 = nearClip * nearClip;
      return near2 / (near2 + (distance * distance - near2) * rolloff);
    }
    default:
      return 1.0f;
  }
}

DynamicScene::DynamicScene(int threadPoolSize, TimeMasterMode mode) : PolySynth(mode) {
  const unsigned int threads = static_cast<unsigned int>(std::max(threadPoolSize, 0));
  if (threads > 0) mUpdatePool = std::make_unique<ThreadPool>(threads);
  for (unsigned int i = 0; i < threads; ++i) {
    mRenderWorkers.emplace_back([this, i] { renderWorker(i); });
  }
}

DynamicScene::~DynamicScene() {
  // The clock thread walks the voices; stop it before anything of the scene goes.
  stopClock();
  {
    std::lock_guard<std::mutex> lock(mRenderWorkerLock);
    mStopRenderWorkers = true;
  }
  mRenderWorkerWake.notify_all();
  for (std::thread& t : mRenderWorkers) t.join();
}

void DynamicScene::renderWorker(unsigned int) {
  std::unique_lock<std::mutex> lock(mRenderWorkerLock);
  mRenderWorkerWake.wait(lock, [this] { return mStopRenderWorkers; });
}

void DynamicScene::listenerPose(const Pose& pose) {
  std::lock_guard<std::mutex> lock(mListenerWriteLock);
  mListenerPose.store(pose);
}

void DynamicScene::prepare(AudioIOData& io) {
  PolySynth::prepare(io);
  if (mSpatializer) mSpatializer->prepare(io);
}

void DynamicScene::render(AudioIOData& io) {
  beginAudioPass(io);
  Spatializer* spatializer = mSpatializer.get();
  // Sizes nothing once audio start has prepared the scene.
  if (spatializer) spatializer->prepare(io);
  const Pose listener = mListenerPose.load();
  const int frames = io.framesPerBuffer();
  enterVoiceWalk();
  for (SynthVoice* v = activeVoices(); v; v = nextVoice(v)) {
    int start = 0;
    if (!v->active() || !startsInBlock(*v, frames, start)) continue;
    renderVoiceBuffer(*v, start);
    const int channels =
        std::min(static_cast<int>(v->numOutChannels()), voiceBuffer().channelsOut());

    auto* positioned = dynamic_cast<PositionedVoice*>(v);
    Vec3d relative{0.0, 0.0, 0.0};
    if (positioned) {
      relative = listener.quat().rotate(positioned->pose().pos() - listener.pos());
      if (positioned->useDistanceAttenuation()) {
        // Every channel of the voice is as far away as the voice itself.
        const float gain = mDistanceAttenuation.attenuation(static_cast<float>(relative.mag()));
        for (int c = 0; c < channels; ++c) {
          float* samples = voiceBuffer().outBuffer(c);
          for (int f = 0; f < voiceBuffer().framesPerBuffer(); ++f) samples[f] *= gain;
        }
      }
    }
    if (mVoicePostProcess) mVoicePostProcess(voiceBuffer(), Pose(relative));

    if (!spatializer) {
      mixVoiceBuffer(io, channels, true);
      continue;
    }
    mixVoiceBuffer(io, 0, true);
    const std::vector<Vec3f>* offsets = positioned ? &positioned->audioOutOffsets() : nullptr;
    for (int c = 0; c < channels; ++c) {
      Vec3d position = relative;
      if (offsets && c < static_cast<int>(offsets->size())) {
        const Vec3f& o = (*offsets)[c];
        position += Vec3d{o[0], o[1], o[2]};
      }
      spatializer->renderBuffer(io, Pose(position), voiceBuffer().outBuffer(c),
                                static_cast<unsigned int>(voiceBuffer().framesPerBuffer()));
    }
  }
  leaveVoiceWalk();
  if (spatializer) spatializer->finalize(io);
  endAudioPass(io);
}

void DynamicScene::update(double dt) {
  if (!mUseUpdateThreads || !mUpdatePool) {
    PolySynth::update(dt);
    return;
  }
  std::lock_guard<std::mutex> lock(graphicsLock());
  if (mTimeMaster == TIME_MASTER_UPDATE) processVoiceQueues(true);
  mUpdateVoices.clear();
  for (SynthVoice* v = activeVoices(); v; v = nextVoice(v)) {
    if (v->active()) mUpdateVoices.push_back(v);
  }
  for (SynthVoice* v : mUpdateVoices) mUpdatePool->push([v, dt] { v->update(dt); });
  mUpdatePool->waitForProcessingDone();
  if (mTimeMaster == TIME_MASTER_UPDATE) processInactiveVoices(true);
}

}  // namespace vl

namespace vl {

void DynamicScene::render(Graphics& g) {
  std::lock_guard<std::mutex> lock(graphicsLock());
  if (mTimeMaster == TIME_MASTER_GRAPHICS) processVoiceQueues(true);
  const Pose listener = mListenerPose.load();
  mDrawVoices.clear();
  for (SynthVoice* v = activeVoices(); v; v = nextVoice(v)) {
    if (!v->active()) continue;
    auto* positioned = dynamic_cast<PositionedVoice*>(v);
    const double distance = positioned ? (positioned->pose().pos() - listener.pos()).mag() : 0.0;
    mDrawVoices.emplace_back(distance, v);
  }
  if (mDrawVoiceMarkers) {
    if (mVoiceMarker.vertices().empty()) addSphere(mVoiceMarker, 0.05f, 8, 4);
    for (auto& [distance, v] : mDrawVoices) {
      if (auto* positioned = dynamic_cast<PositionedVoice*>(v)) {
        const Vec3d p = positioned->pose().pos();
        g.pushMatrix();
        g.translate(static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2]));
        g.draw(mVoiceMarker);
        g.popMatrix();
      }
    }
  }
  if (mSortByDistance) {
    std::sort(mDrawVoices.begin(), mDrawVoices.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
  }
  for (auto& [distance, v] : mDrawVoices) {
    g.pushMatrix();
    if (auto* positioned = dynamic_cast<PositionedVoice*>(v)) {
      positioned->preProcessGraphics(g);
      const Pose pose = positioned->pose();
      g.translate(static_cast<float>(pose.pos()[0]), static_cast<float>(pose.pos()[1]),
                  static_cast<float>(pose.pos()[2]));
      g.rotate(pose.quat());
      g.scale(positioned->size());
    }
    v->onProcessGraphics(g);
    g.popMatrix();
  }
  if (mTimeMaster == TIME_MASTER_GRAPHICS) processInactiveVoices(true);
}

}  // namespace vl
