#pragma once

#include <string>

#include "ui/vl_Parameter.hpp"
#include "ui/vl_PresetHandler.hpp"

// Builds a preset map that plays one sound at many pitches: every preset holds the handler's
// current values with only "pitch" changed. The handler's map and "pitch" are as they were
// afterwards.
//
// Pitch o + s/100 is octave o, semitone s (HydrogenSound::frequency). Map indices follow MIDI
// note numbers, 12 (o + 1) + s, so that the keyboard's note table (60 = octave 4) plays them.
class PitchMaps {
 public:
  // Octaves 4 to 9 in half-semitone steps, pitch o + i/200 for i = 0 … 23, named 100·o + i/2
  // with "s" after odd steps ("400", "400s", "401", ...). Whole semitones take the note
  // numbers; the steps between them the same numbers plus 100. Map "<current map>_pitches".
  static std::string buildQuarterTones(vl::PresetHandler& handler, vl::Parameter& pitch);
  // Octaves 4 to 9 in semitones, pitch o + s/100, named 100·o + s, indices the note numbers.
  // Map "<current map>_pitches_chroma".
  static std::string buildChromatic(vl::PresetHandler& handler, vl::Parameter& pitch);

  static constexpr int kFirstOctave = 4;
  static constexpr int kLastOctave = 9;
};
