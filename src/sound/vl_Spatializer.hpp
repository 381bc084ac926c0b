#pragma once

#include <iostream>
#include <vector>

#include "math/vl_Pose.hpp"
#include "sound/vl_AudioIOData.hpp"
#include "sound/vl_Speaker.hpp"

namespace vl {

// Places a mono signal on a set of loudspeakers by adding scaled copies of it into the output
// channels of an audio block. The pose carries the source position relative to the listener,
// in the listener's frame (x right, y up, -z forward); its orientation rotates that position.
// compile() and print() run before audio starts; the rest runs on the audio thread and neither
// allocates nor locks.
class Spatializer {
 public:
  explicit Spatializer(const Speakers& sl);
  virtual ~Spatializer() = default;

  // Builds the internal tables from the speaker list; false when it cannot render.
  virtual bool compile() { return true; }
  // Called at the start of each block.
  virtual void prepare(AudioIOData& io) { (void)io; }
  // Adds frames 0 .. numFrames - 1 of `samples` into the outputs of `io`.
  virtual void renderBuffer(AudioIOData& io, const Pose& pose, const float* samples,
                            unsigned int numFrames) = 0;
  // Adds one sample at `frameIndex`.
  virtual void renderSample(AudioIOData& io, const Pose& pose, const float& sample,
                            unsigned int frameIndex) = 0;
  // Called at the end of each block.
  virtual void finalize(AudioIOData& io) { (void)io; }
  virtual void print(std::ostream& stream = std::cout) { (void)stream; }
  virtual void numFrames(unsigned int n) { mNumFrames = n; }

  const Speakers& speakerLayout() const { return mSpeakers; }
  const std::vector<int>& deviceChannels() const { return mDeviceChannels; }

 protected:
  // The source position after the pose's own rotation.
  static Vec3d sourcePosition(const Pose& pose) { return pose.quat().rotate(pose.pos()); }
  // Frames of a render call that fit in the block.
  static unsigned int framesIn(const AudioIOData& io, unsigned int numFrames);

  Speakers mSpeakers;
  std::vector<int> mDeviceChannels;
  unsigned int mNumFrames = 64;
};

}  // namespace vl
