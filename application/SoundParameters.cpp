#include "SoundParameters.hpp"

SoundParameters::SoundParameters()
    : reverbAmount("ReverbAmount", "", 0.6f, "", 0.0f, 1.0f),
      pitch("pitch", "", -2.0f, "", -10.0f, 10.0f),
      pitchShift("pitchShift", "", 0.0f, "", -48.0f, 48.0f),
      curvatureCompensation("curvatureCompensation", "", 0.0f, "", 0.0f, 0.9f),
      gain("gain", "", 0.7f, "", 0.0f, 5.0f),
      attackTime("attackTime", "", 0.01f, "", 0.0f, 5.0f),
      releaseTime("releaseTime", "", 1.0f, "", 0.0f, 5.0f) {}

std::vector<vl::ParameterMeta*> SoundParameters::parameters() {
  return {&reverbAmount, &pitch,      &pitchShift, &curvatureCompensation,
          &gain,         &attackTime, &releaseTime};
}
