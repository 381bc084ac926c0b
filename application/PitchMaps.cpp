#include "PitchMaps.hpp"

#include <functional>

namespace {

// Stores count presets per octave with store(octave, step), then selects the original map
// again. Returns the new map's name.
std::string build(vl::PresetHandler& handler, vl::Parameter& pitch, const std::string& suffix,
                  int steps, const std::function<void(int, int)>& store) {
  const std::string original = handler.getCurrentPresetMap();
  const std::string mapName = (original.empty() ? std::string("default") : original) + suffix;
  const float oldPitch = pitch.get();
  handler.selectPresetMap(mapName, true);
  for (int o = PitchMaps::kFirstOctave; o <= PitchMaps::kLastOctave; ++o) {
    for (int i = 0; i < steps; ++i) store(o, i);
  }
  pitch.set(oldPitch);
  handler.selectPresetMap(original.empty() ? "default" : original, true);
  return mapName;
}

}  // namespace

std::string PitchMaps::buildQuarterTones(vl::PresetHandler& handler, vl::Parameter& pitch) {
  return build(handler, pitch, "_pitches", 24, [&](int o, int i) {
    const int semitone = i / 2;
    const bool between = i % 2 == 1;
    pitch.set(float(o) + float(i) / 200.0f);
    const std::string name = std::to_string(100 * o + semitone) + (between ? "s" : "");
    handler.storePreset(12 * (o + 1) + semitone + (between ? 100 : 0), name);
  });
}

std::string PitchMaps::buildChromatic(vl::PresetHandler& handler, vl::Parameter& pitch) {
  return build(handler, pitch, "_pitches_chroma", 12, [&](int o, int s) {
    pitch.set(float(o) + float(s) / 100.0f);
    handler.storePreset(12 * (o + 1) + s, std::to_string(100 * o + s));
  });
}
