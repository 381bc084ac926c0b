#pragma once

// The voice's own parameters: the three resonances that mirror the atom's wave-function phases,
// the published envelope level, and what a trigger recalls or plays. The pose and size belong
// to the positioned-voice base; sound and drawing parameters to their engines.

#include <vector>

#include "ui/vl_Parameter.hpp"

class VoiceParameters {
 public:
  VoiceParameters();
  VoiceParameters(const VoiceParameters&) = delete;
  VoiceParameters& operator=(const VoiceParameters&) = delete;

  // Real and imaginary parts of the phases of wave functions 1, 2 and 3.
  vl::Parameter reson1R;
  vl::Parameter reson1I;
  vl::Parameter reson2R;
  vl::Parameter reson2I;
  vl::Parameter reson3R;
  vl::Parameter reson3I;
  // Envelope level, written each frame by a voice that computes its own state.
  vl::Parameter env;
  vl::ParameterString presetToLoad;
  vl::ParameterString sequenceToPlay;
  vl::Parameter seqTimeScale;

  // Sets the three phases to 1 + 0i (what a trigger and a preset without resonances start from).
  void resetResonances();

  // "reson1R" to "reson3I".
  std::vector<vl::ParameterMeta*> resonanceParameters();
  // Every parameter, in table order.
  std::vector<vl::ParameterMeta*> parameters();
};
