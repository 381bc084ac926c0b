#pragma once

#include <memory>

#include "sound/vl_Spatializer.hpp"
#include "sound/vl_Speaker.hpp"

namespace vl {

// One horizontal ring of eight speakers on channels 0-7, radius 3 m, mostly in front.
Speakers EightSpeakerRingLayout();

// The built-in array of 54 speakers in three rings: 12 at 41 degrees (channels 0-11), 30 at
// ear height (channels 16-45) and 12 at -32.5 degrees (channels 48-59).
Speakers ThreeRingSpeakerLayout();

// The spatialiser for a device with this many outputs, compiled: a stereo panner for 2 or 6,
// the three rings for 13 or more, the eight-speaker ring otherwise.
std::shared_ptr<Spatializer> spatializerForOutputs(int outputChannels);

}  // namespace vl
