#pragma once

#include <memory>
#include <vector>

#include "sound/vl_Vbap.hpp"

namespace vl {

// Layer-based panning: one pair-mode Vbap per ring (speaker group), with the source
// cross-faded by its elevation between the ring above and the ring below it.
class Lbap : public Spatializer {
 public:
  explicit Lbap(const Speakers& sl);

  // Builds one ring per group, ordered from the highest to the lowest elevation.
  bool compile() override;
  // Sizes the scratch blocks for `io` (allocating only when the block grows).
  void prepare(AudioIOData& io) override;
  void renderBuffer(AudioIOData& io, const Pose& pose, const float* samples,
                    unsigned int numFrames) override;
  void renderSample(AudioIOData& io, const Pose& pose, const float& sample,
                    unsigned int frameIndex) override;
  void print(std::ostream& stream = std::cout) override;

  struct Ring {
    std::shared_ptr<Vbap> vbap;
    float elevation;
  };
  const std::vector<Ring>& rings() const { return mRings; }

 private:
  // The ring that takes the source alone, or the upper ring of a cross-fade with `fade` the
  // upper ring's share angle (radians); `lower` is null when one ring takes it alone.
  const Ring* ringsFor(const Pose& pose, const Ring*& lower, double& fade) const;

  std::vector<Ring> mRings;
  std::vector<float> mBuffer;  // two blocks: the upper and the lower ring's share
  unsigned int mBufferFrames = 0;
};

}  // namespace vl
