#pragma once

// The sound group of a voice, held by its sound engine.

#include <vector>

#include "ui/vl_Parameter.hpp"

class SoundParameters {
 public:
  SoundParameters();
  SoundParameters(const SoundParameters&) = delete;
  SoundParameters& operator=(const SoundParameters&) = delete;

  vl::Parameter reverbAmount;
  // Octaves in the integer part, semitones in two decimal digits (8.03: three above 220 Hz).
  vl::Parameter pitch;
  vl::Parameter pitchShift;  // semitones
  vl::Parameter curvatureCompensation;
  vl::Parameter gain;         // the output scales by 2·gain²
  vl::Parameter attackTime;   // seconds
  vl::Parameter releaseTime;  // seconds

  // In table order.
  std::vector<vl::ParameterMeta*> parameters();
};
