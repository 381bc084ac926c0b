#pragma once

#include <vector>

#include "math/vl_Vec.hpp"

namespace vl {

// One loudspeaker: the output channel it feeds and where it stands around the listener.
// Azimuth is positive to the listener's right, elevation positive upwards, both in degrees.
struct Speaker {
  unsigned int deviceChannel = 0;
  float azimuth = 0.0f;
  float elevation = 0.0f;
  int group = 0;
  float radius = 1.0f;
  float gain = 1.0f;

  Speaker(unsigned int deviceChannel = 0, float azimuth = 0.0f, float elevation = 0.0f,
          int group = 0, float radius = 1.0f, float gain = 1.0f)
      : deviceChannel(deviceChannel),
        azimuth(azimuth),
        elevation(elevation),
        group(group),
        radius(radius),
        gain(gain) {}

  // Position in the speakers' frame: x forward, y towards positive azimuth, z up.
  Vec3d vec() const;
};

using Speakers = std::vector<Speaker>;

// Two speakers at +angle and -angle on channels first and first + 1.
Speakers StereoSpeakerLayout(int deviceChannelStart = 0, float angle = 30.0f, float distance = 1.0f,
                             float gain = 1.0f);

}  // namespace vl
