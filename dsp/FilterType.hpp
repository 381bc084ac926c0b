#pragma once

namespace snl {

// Filter responses, numbered as the filters and their menus count them.
enum FilterType : int {
  LOW_PASS = 0,
  HIGH_PASS = 1,
  RESONANT = 2,     // band pass with constant 0 dB peak
  BAND_PASS = 3,    // band pass with constant skirt (peak gain = resonance)
  BAND_REJECT = 4,  // notch
  ALL_PASS = 5,
  PEAKING = 6,
  LOW_SHELF = 7,
  HIGH_SHELF = 8,
  SMOOTHING = 9,
};

}  // namespace snl
