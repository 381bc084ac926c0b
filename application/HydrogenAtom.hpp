#pragma once

#include <array>
#include <atomic>
#include <complex>
#include <vector>

#include "AtomParameters.hpp"
#include "AtomSettings.hpp"
#include "Particle.hpp"
#include "SpinorMath.hpp"
#include "VoiceParameters.hpp"
#include "WaveSuperposition.hpp"
#include "dsp/Array.hpp"

// A superposition of three hydrogen eigenstates with spin, sampled along a closed ring of 512
// particles that drifts through the probability current. Each frame advances a whole number
// of simulation steps; each step samples the spinor at every particle, derives its spin and
// colour, pulls it toward its neighbours and carries it with the flow, and turns the three
// phases.
//
// The atom is its table of spinors: element i is the spinor sampled at particle i in the last
// step, which the voice's sound engine reads as a wavetable. It owns its physics and
// wave-function parameters; whoever owns the atom (a voice, a tool, a test) registers them
// where they should be stored and served, and passes the voice's resonance parameters to the
// hooks that exchange the three phases with them.
class HydrogenAtom : public snl::Array<Spinor> {
 public:
  static constexpr int kParticles = 512;
  static constexpr int kContourSize = 512;
  // Rest length squared of the springs between neighbours.
  static constexpr double kRestLengthSquared = 3.8146971692576415e-10;

  HydrogenAtom();
  HydrogenAtom(const HydrogenAtom&) = delete;
  HydrogenAtom& operator=(const HydrogenAtom&) = delete;

  // The physics group and "wfs1" to "wfs3". The physics values are read at every frame; a
  // wave-function group only when it changed.
  AtomParameters& parameters() { return mParams; }
  // The values read at the start of the last frame (or by the last reset).
  const AtomSettings& settings() const { return mSettings; }

  void init();           // fills the contour table
  void reset();          // rebuilds the ring now, from the parameters as they are
  void step(double dt);  // one frame

  // Zeroes the table and the step accumulator and rebuilds the ring at the next frame. The
  // voice copies its resonances into the phases first (takeResonances).
  void trigger();
  // After a preset was recalled into the parameters: rebuilds the ring at the next frame when
  // "ResetOnLoad" is set, and in every case takes the phases from the voice's resonances.
  void presetLoaded(VoiceParameters& voice);
  // Phases and rotors back to 1 + 0i and a rebuild of the ring. "ForceReset" requests this
  // from any thread; the request is carried out on the stepping thread, at the next step or
  // at the next exchange of phases, whichever comes first, so that it keeps its place among
  // the hooks called there.
  void forceReset();
  bool forceResetRequested() const { return mForceResetRequested.load(); }

  // Phases from "reson1R" ... "reson3I", and back.
  void takeResonances(VoiceParameters& voice);
  void publishResonances(VoiceParameters& voice) const;
  void setPhases(const std::array<std::complex<double>, 3>& resonances);
  std::array<std::complex<double>, 3> phases() const;

  bool resetPending() const { return mResetPending; }
  double stepAccumulator() const { return mStepAccumulator; }
  double lastSpeed() const { return mLastSpeed; }
  const std::vector<Particle>& particles() const { return mParticles; }
  std::vector<Particle>& particles() { return mParticles; }
  const snl::Array<Spinor>& spinors() const { return *this; }
  const WaveSuperposition& waves() const { return mWaves; }
  const snl::ArrayPow2<float>& contourTable() const { return mContour; }
  // The spatial scale 10 * 2^zoom.
  double scale() const { return scale(mSettings.zoom); }

 private:
  static double scale(double zoom);
  void readSettings();
  void applyForceReset();
  void simulationStep(double s);
  void springAndSmooth(int i, double kappa, double mu);
  void sampleAll(int first, int last, double s, double h);
  void sample(int i, const Spinor* stencil, double h);
  void contourColour(Particle& particle, const Spinor& psi) const;

  bool mResetPending = true;
  AtomParameters mParams;
  AtomSettings mSettings;
  std::atomic<bool> mForceResetRequested{false};
  WaveSuperposition mWaves;
  std::vector<Particle> mParticles;
  double mStepAccumulator = 0.0;
  double mLastSpeed = 1.0;
  snl::ArrayPow2<float> mContour;
  double mContourSize = kContourSize;
  double mContourReciprocal = 1.0 / kContourSize;
  // Read once per step.
  double mVelocityGain = 0.0, mContourValue = 0.0, mHueRotation = 0.0;
  bool mNewColors = true;
  // The three states' squared magnitudes at each particle in the last step, for the colours.
  std::array<double, 3 * kParticles> mStateNorm2{};
};
