#include "sound/vl_StereoPanner.hpp"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "core/vl_Console.hpp"

namespace vl {

StereoPanner::StereoPanner(const Speakers& sl)
    : Spatializer(sl), mNumSpeakers(static_cast<unsigned int>(sl.size())) {
  if (mNumSpeakers != 2) {
    vl::print("Stereo Panner Requires exactly 2 speakers (%u used). First two will be used!\n",
              mNumSpeakers);
  }
}

void StereoPanner::gains(const Pose& pose, float& left, float& right) {
  const Vec3d p = sourcePosition(pose);
  const double pan = (p.x() == 0.0 && p.z() == 0.0)
                         ? 0.5
                         : 1.0 - std::abs(std::atan2(p.z(), p.x())) / std::numbers::pi;
  const double theta = pan * std::numbers::pi / 2.0;
  left = static_cast<float>(std::cos(theta));
  right = static_cast<float>(std::sin(theta));
}

void StereoPanner::renderBuffer(AudioIOData& io, const Pose& pose, const float* samples,
                                unsigned int numFrames) {
  const unsigned int n = framesIn(io, numFrames);
  if (mNumSpeakers == 0 || io.channelsOut() < 1) return;
  if (mNumSpeakers == 1) {
    float* out = io.outBuffer(0);
    for (unsigned int f = 0; f < n; ++f) out[f] = samples[f];
    return;
  }
  float left, right;
  gains(pose, left, right);
  float* out0 = io.outBuffer(0);
  for (unsigned int f = 0; f < n; ++f) out0[f] += left * samples[f];
  if (io.channelsOut() < 2) return;
  float* out1 = io.outBuffer(1);
  for (unsigned int f = 0; f < n; ++f) out1[f] += right * samples[f];
}

void StereoPanner::renderSample(AudioIOData& io, const Pose& pose, const float& sample,
                                unsigned int frameIndex) {
  if (mNumSpeakers == 0 || io.channelsOut() < 1 ||
      frameIndex >= static_cast<unsigned int>(io.framesPerBuffer())) {
    return;
  }
  const int f = static_cast<int>(frameIndex);
  if (mNumSpeakers == 1) {
    io.out(0, f) = sample;
    return;
  }
  float left, right;
  gains(pose, left, right);
  io.out(0, f) += left * sample;
  if (io.channelsOut() >= 2) io.out(1, f) += right * sample;
}

void StereoPanner::print(std::ostream& stream) {
  stream << "Stereo panner over " << mNumSpeakers << " speakers (outputs 0 and 1)\n";
  for (const Speaker& s : mSpeakers) {
    stream << "  channel " << s.deviceChannel << ", azimuth " << s.azimuth << ", distance "
           << s.radius << "\n";
  }
  stream.flush();
}

}  // namespace vl
