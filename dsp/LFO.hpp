#pragma once

#include <cstdint>

#include "dsp/Accum.hpp"

namespace snl {

// Low-frequency oscillator: a phase accumulator with a few wave shapes. The modulation width is
// the fraction of a cycle (as 32-bit fixed point) that the pulse spends high.
template <class Stepper = phsInc::Loop>
class LFO : public Accum<Stepper> {
 public:
  explicit LFO(float frequency = 440.0f, float startPhase = 0.0f, float width = 0.5f)
      : Accum<Stepper>(frequency, startPhase) {
    mod(width);
  }

  void mod(double width) { mMod = toFixedPhase(width * 4294967296.0); }
  uint32_t modI() const { return mMod; }

  // Rising saw in [-1, 1).
  float up() { return 2.0f * this->nextPhase() - 1.0f; }
  // Triangle in [-1, 1], starting at -1.
  float tri() {
    const float p = this->nextPhase();
    return p < 0.5f ? 4.0f * p - 1.0f : 3.0f - 4.0f * p;
  }
  // +1 for the first width of the cycle, -1 for the rest.
  float pulse() { return (*this)() < mMod ? 1.0f : -1.0f; }

 private:
  uint32_t mMod = 0x80000000u;
};

}  // namespace snl
