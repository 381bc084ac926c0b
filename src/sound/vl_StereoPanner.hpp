#pragma once

#include "sound/vl_Spatializer.hpp"

namespace vl {

// Equal-power panning by horizontal angle onto outputs 0 and 1: a source on the listener's
// right (+x) goes wholly to output 1, one on the left wholly to output 0, one straight ahead
// or behind equally to both.
class StereoPanner : public Spatializer {
 public:
  explicit StereoPanner(const Speakers& sl);

  void renderBuffer(AudioIOData& io, const Pose& pose, const float* samples,
                    unsigned int numFrames) override;
  void renderSample(AudioIOData& io, const Pose& pose, const float& sample,
                    unsigned int frameIndex) override;
  void print(std::ostream& stream = std::cout) override;

 private:
  // Gains of outputs 0 and 1 for a source position.
  static void gains(const Pose& pose, float& left, float& right);

  unsigned int mNumSpeakers;
};

}  // namespace vl
