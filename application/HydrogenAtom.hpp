#pragma once

#include <array>
#include <complex>
#include <vector>

#include "AtomSettings.hpp"
#include "Particle.hpp"
#include "SpinorValue.hpp"
#include "WaveSuperposition.hpp"

// A superposition of three hydrogen eigenstates with spin, sampled along a closed ring of 512
// particles that drifts through the probability current. Each frame advances a whole number
// of simulation steps; each step samples the spinor at every particle, derives its spin and
// colour, pulls it toward its neighbours and carries it with the flow, and turns the three
// phases.
class HydrogenAtom {
 public:
  static constexpr int kParticles = 512;
  static constexpr int kContourSize = 512;
  // Rest length squared of the springs between neighbours.
  static constexpr double kRestLengthSquared = 3.8146971692576415e-10;

  // Settings are read at every frame and step; a wave group's numbers only when marked dirty.
  AtomSettings settings;

  HydrogenAtom();

  void init();           // fills the contour table
  void reset();          // rebuilds the ring now
  void step(double dt);  // one frame

  void markWaveDirty(int k) { waveDirty_[k] = true; }
  void trigger();
  void presetLoaded(const std::array<std::complex<double>, 3>& resonances);
  void forceReset();
  void setPhases(const std::array<std::complex<double>, 3>& resonances);
  // The three phases, for publication as the resonances.
  std::array<std::complex<double>, 3> phases() const;

  bool resetPending() const { return resetPending_; }
  double stepAccumulator() const { return stepAccumulator_; }
  double lastSpeed() const { return lastSpeed_; }
  const std::vector<Particle>& particles() const { return particles_; }
  std::vector<Particle>& particles() { return particles_; }
  const std::array<SpinorValue, kParticles>& spinors() const { return spinors_; }
  const WaveSuperposition& waves() const { return waves_; }
  const std::array<float, kContourSize>& contourTable() const { return contour_; }
  // The spatial scale 10 * 2^zoom.
  double scale() const;

 private:
  void simulationStep(double s);
  void springAndSmooth(int i, double kappa, double mu);
  void sampleAll(int first, int last, double s, double h);
  void sample(int i, const SpinorValue* stencil, const SpinorValue* each, double h);
  void colourOf(Particle& particle, const SpinorValue& psi, const SpinorValue* each) const;

  bool resetPending_ = true;
  std::array<bool, 3> waveDirty_{true, true, true};
  WaveSuperposition waves_;
  std::vector<Particle> particles_;
  std::array<SpinorValue, kParticles> spinors_{};
  double stepAccumulator_ = 0.0;
  double lastSpeed_ = 1.0;
  std::array<float, kContourSize> contour_{};
  double contourSize_ = kContourSize;
  double contourReciprocal_ = 1.0 / kContourSize;
  // Read once per step.
  double velocityGain_ = 0.0, contourValue_ = 0.0, hueRotation_ = 0.0;
  bool newColors_ = true;
};
