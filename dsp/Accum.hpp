#pragma once

#include <cstdint>

#include "dsp/Domain.hpp"
#include "dsp/Phase.hpp"

namespace snl {

namespace phsInc {
// Steps a phase by its increment, wrapping around the cycle.
struct Loop {
  uint32_t operator()(uint32_t& phase, uint32_t inc) const {
    const uint32_t p = phase;
    phase += inc;
    return p;
  }
};
}  // namespace phsInc

// Phase accumulator with a 32-bit fixed-point phase (one cycle = 2^32).
template <class Stepper = phsInc::Loop>
class Accum : public DomainObserver {
 public:
  explicit Accum(float frequency = 0.0f, float startPhase = 0.0f) {
    mFreq = frequency;
    updateFactor();
    phase(startPhase);
  }

  void freq(float hz) {
    mFreq = hz;
    mInc = toFixedPhase(double(hz) * mFreqToInc);
  }
  float freq() const { return mFreq; }

  // Sets the phase in cycles.
  void phase(double cycles) { mPhase = toFixedPhase(cycles * 4294967296.0); }
  uint32_t phaseI() const { return mPhase; }
  void phaseI(uint32_t p) { mPhase = p; }
  uint32_t increment() const { return mInc; }

  // Returns the phase, then advances it one sample.
  uint32_t operator()() { return mStepper(mPhase, mInc); }
  // Returns the phase as a fraction of a cycle in [0, 1), then advances it one sample.
  float nextPhase() { return phaseFraction((*this)()); }

  void onDomainChange(double) override { updateFactor(); }

 protected:
  void updateFactor() {
    mFreqToInc = 4294967296.0 / sampleRate();
    freq(mFreq);
  }

  float mFreq = 0.0f;
  double mFreqToInc = 4294967296.0;
  uint32_t mPhase = 0;
  uint32_t mInc = 0;
  [[no_unique_address]] Stepper mStepper;
};

}  // namespace snl
