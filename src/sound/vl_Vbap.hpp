#pragma once

#include <vector>

#include "sound/vl_Spatializer.hpp"

namespace vl {

// Two (or, in triplet mode, three) speakers whose direction vectors span a source direction;
// the gains of a source are the inverse matrix applied to its direction.
struct SpeakerSet {
  int speakerIdx[3] = {-1, -1, -1};  // indices into the speaker list; the third is -1 for a pair
  Vec3d vectors[3];
  double mat[3][3] = {};
  // gain k = sum over i of inverse[k][i] * direction[i]. A pair on one line through the
  // listener cannot be inverted and keeps its two direction vectors here instead.
  double inverse[3][3] = {};
  unsigned int deviceChannels[3] = {};
  // The arc the pair covers, counter-clockwise from the first speaker, in degrees.
  double arcStart = 0.0;
  double arcSpan = 0.0;
};

// Vector-base amplitude panning over the pairs of neighbouring speakers of one horizontal ring.
class Vbap : public Spatializer {
 public:
  explicit Vbap(const Speakers& sl, bool is3D = false);

  // Pairs neighbours in azimuth order and closes the circle with the last and first speaker.
  bool compile() override;
  void renderBuffer(AudioIOData& io, const Pose& pose, const float* samples,
                    unsigned int numFrames) override;
  void renderSample(AudioIOData& io, const Pose& pose, const float& sample,
                    unsigned int frameIndex) override;
  void print(std::ostream& stream = std::cout) override;

  const std::vector<SpeakerSet>& speakerSets() const { return mSets; }

 private:
  // Equal-power gains of the set that takes the source, or null when none does.
  const SpeakerSet* gainsFor(const Pose& pose, double gains[2]) const;

  std::vector<SpeakerSet> mSets;
  bool mIs3D;
};

}  // namespace vl
