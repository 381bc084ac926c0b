#include "sound/vl_Speaker.hpp"

#include <cmath>
#include <numbers>

namespace vl {

Vec3d Speaker::vec() const {
  const double az = azimuth * std::numbers::pi / 180.0;
  const double el = elevation * std::numbers::pi / 180.0;
  const double r = radius;
  return {r * std::cos(el) * std::cos(az), r * std::cos(el) * std::sin(az), r * std::sin(el)};
}

Speakers StereoSpeakerLayout(int deviceChannelStart, float angle, float distance, float gain) {
  const auto first = static_cast<unsigned int>(deviceChannelStart);
  return {Speaker(first, angle, 0.0f, 0, distance, gain),
          Speaker(first + 1, -angle, 0.0f, 0, distance, gain)};
}

}  // namespace vl
