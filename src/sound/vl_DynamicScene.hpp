#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "graphics/vl_Mesh.hpp"
#include "math/vl_Pose.hpp"
#include "sound/vl_PolySynth.hpp"
#include "sound/vl_PositionedVoice.hpp"
#include "sound/vl_Spatializer.hpp"
#include "sound/vl_ThreadPool.hpp"
#include "ui/vl_ParameterMeta.hpp"

namespace vl {

enum AttenuationLaw : int {
  ATTEN_NONE = 0,
  ATTEN_LINEAR = 1,
  ATTEN_INVERSE = 2,
  ATTEN_INVERSE_SQUARE = 3
};

// Gain of a source by its distance from the listener: 1 within the near distance, then falling
// by the chosen law.
class DistanceAttenuation {
 public:
  float nearClip = 0.1f;
  float farClip = 20.0f;
  float farBias = 0.0f;  // gain from the far distance on (linear law)
  float rolloff = 0.015075378f;
  int law = ATTEN_INVERSE;

  float attenuation(float distance) const;
};

// A polyphonic synth whose voices have places: each voice's output channels are spatialised
// relative to a listener, attenuated with distance, and the voices' per-frame updates run in
// parallel on a pool of threads.
class DynamicScene : public PolySynth {
 public:
  // threadPoolSize threads update the voices in parallel (0: on the calling thread).
  explicit DynamicScene(int threadPoolSize = 0, TimeMasterMode mode = TIME_MASTER_AUDIO);
  ~DynamicScene() override;

  // Install before audio starts (the audio thread uses it without a lock).
  void setSpatializer(std::shared_ptr<Spatializer> spatializer) {
    mSpatializer = std::move(spatializer);
  }
  // Builds and compiles a spatialiser of type T over the speakers.
  template <class T>
  std::shared_ptr<T> setSpatializer(const Speakers& speakers) {
    auto spatializer = std::make_shared<T>(speakers);
    spatializer->compile();
    mSpatializer = spatializer;
    return spatializer;
  }
  std::shared_ptr<Spatializer> spatializer() const { return mSpatializer; }

  // The listener's orientation maps scene directions into the listener's own frame: a voice at
  // p is heard at orientation.rotate(p - position). Safe to set while audio runs.
  void listenerPose(const Pose& pose);
  Pose listenerPose() const { return mListenerPose.load(); }

  // Configure before audio starts.
  DistanceAttenuation& distanceAttenuation() { return mDistanceAttenuation; }

  // Draw the voices farthest from the listener first (for translucent voices).
  void sortDrawingByDistance(bool sort) { mSortByDistance = sort; }
  // Draw a small sphere at each voice's position.
  void drawVoiceMarkers(bool draw) { mDrawVoiceMarkers = draw; }
  void useUpdateThreads(bool use) { mUseUpdateThreads = use; }
  unsigned int updateThreadCount() const { return mUpdatePool ? mUpdatePool->size() : 0; }

  void render(AudioIOData& io) override;
  // Also sizes the spatialiser's scratch blocks; install the spatialiser first.
  void prepare(AudioIOData& io) override;
  // Draws each active voice in its own frame: placed at its pose and scaled by its size.
  void render(Graphics& g) override;
  void update(double dt = 0.0) override;

 private:
  void renderWorker(unsigned int index);

  std::shared_ptr<Spatializer> mSpatializer;
  detail::LeftRightValue<Pose> mListenerPose{Pose()};
  std::mutex mListenerWriteLock;
  DistanceAttenuation mDistanceAttenuation;
  bool mSortByDistance = false;
  bool mUseUpdateThreads = true;
  std::unique_ptr<ThreadPool> mUpdatePool;
  std::vector<SynthVoice*> mUpdateVoices;                   // reused by update()
  std::vector<std::pair<double, SynthVoice*>> mDrawVoices;  // reused by render(Graphics&)

  // Render workers: started with the scene and idle, because every voice is rendered on the
  // audio thread; they only wait to be stopped.
  bool mThreadedRender = false;
  std::vector<std::thread> mRenderWorkers;
  std::mutex mRenderWorkerLock;
  std::condition_variable mRenderWorkerWake;
  bool mStopRenderWorkers = false;

  bool mDrawVoiceMarkers = false;
  Mesh mVoiceMarker;
};

}  // namespace vl
