#include "sound/vl_Spatializer.hpp"

#include <algorithm>

namespace vl {

Spatializer::Spatializer(const Speakers& sl) : mSpeakers(sl) {
  for (const Speaker& s : mSpeakers) mDeviceChannels.push_back(static_cast<int>(s.deviceChannel));
}

unsigned int Spatializer::framesIn(const AudioIOData& io, unsigned int numFrames) {
  return std::min(numFrames, static_cast<unsigned int>(std::max(io.framesPerBuffer(), 0)));
}

}  // namespace vl
