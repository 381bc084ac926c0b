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

// Vector-base amplitude panning: over the pairs of neighbouring speakers of one horizontal
// ring, or (three-dimensional) over speaker triangles that tile the sphere, or the part of it
// that the speakers surround.
class Vbap : public Spatializer {
 public:
  explicit Vbap(const Speakers& sl, bool is3D = false);

  // Pair mode: pairs neighbours in azimuth order and closes the circle with the last and
  // first speaker. Triplet mode: every triangle of speakers, less those that are flat, that
  // skip a speaker of their ring, that overlap a shorter one, or that hold another speaker.
  bool compile() override;
  void renderBuffer(AudioIOData& io, const Pose& pose, const float* samples,
                    unsigned int numFrames) override;
  void renderSample(AudioIOData& io, const Pose& pose, const float& sample,
                    unsigned int frameIndex) override;
  void print(std::ostream& stream = std::cout) override;

  const std::vector<SpeakerSet>& speakerSets() const { return mSets; }

 private:
  bool compilePairs();
  bool compileTriplets();
  // Equal-power gains of the set that takes the source, or null when none does.
  const SpeakerSet* gainsFor(const Pose& pose, double gains[3]) const;
  const SpeakerSet* pairGains(const double p[2], double gains[3]) const;
  const SpeakerSet* tripletGains(const double p[3], double gains[3]) const;

  std::vector<SpeakerSet> mSets;
  bool mIs3D;
};

}  // namespace vl
