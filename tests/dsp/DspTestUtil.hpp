#pragma once

#include "dsp/Domain.hpp"

namespace snl::test {

constexpr double kRate = 44100.0;

// Most units are checked at the piece's rate; tests that need an unset domain make their own.
inline void useAudioRate() {
  Domain::master().setSampleRate(kRate);
}

}  // namespace snl::test
