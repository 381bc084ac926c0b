#pragma once

#include <cmath>
#include <complex>
#include <numbers>

#include "dsp/Domain.hpp"

namespace snl {

// Complex sinusoid made by rotating a phasor one step per sample, with optional exponential decay
// (decay time in seconds to fall by 60 dB; negative for none).
template <class T = double>
class CSine : public DomainObserver {
 public:
  using Complex = std::complex<T>;

  explicit CSine(T frequency = T(440), T amplitude = T(1), T decay = T(-1), T phaseCycles = T(0)) {
    set(frequency, amplitude, decay, phaseCycles);
  }

  // Sets everything and restarts at the given phase (in cycles).
  void set(T frequency, T amplitude, T decay, T phaseCycles = T(0)) {
    mAmp = amplitude;
    mFreq = frequency;
    mDecay = decay;
    const T w = T(2) * std::numbers::pi_v<T> * phaseCycles;
    mVal = Complex(amplitude * std::cos(w), amplitude * std::sin(w));
    update();
  }
  void freq(T frequency) {
    mFreq = frequency;
    update();
  }
  void decay(T seconds) {
    mDecay = seconds;
    update();
  }
  // Rescales the current value to a new amplitude.
  void amp(T amplitude) {
    if (mAmp != T(0)) mVal *= amplitude / mAmp;
    mAmp = amplitude;
  }
  T freq() const { return mFreq; }
  T amp() const { return mAmp; }
  T decay() const { return mDecay; }
  const Complex& val() const { return mVal; }
  const Complex& multiplier() const { return mMul; }

  // Returns the current value, then rotates one sample on.
  Complex operator()() {
    const Complex z = mVal;
    mVal = Complex(z.real() * mMul.real() - z.imag() * mMul.imag(),
                   z.real() * mMul.imag() + z.imag() * mMul.real());
    return z;
  }

  void onDomainChange(double) override { update(); }

 private:
  void update() {
    const T rate = T(sampleRate());
    mDecayFactor = mDecay > T(0) ? std::pow(T(0.001), T(1) / (mDecay * rate)) : T(1);
    const T w = T(2) * std::numbers::pi_v<T> * mFreq / rate;
    mMul = Complex(mDecayFactor * std::cos(w), mDecayFactor * std::sin(w));
  }

  Complex mVal;
  T mAmp = T(1);
  T mFreq = T(0);
  T mDecay = T(-1);
  T mDecayFactor = T(1);
  Complex mMul{T(1), T(0)};
};

}  // namespace snl
