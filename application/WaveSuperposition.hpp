#pragma once

#include <array>

#include "WaveFunction.hpp"

// The three eigenstates of an atom, evaluated together. Each point's geometry (distance,
// angles and their powers) is computed once for all three, and so is the decay: with the
// states' principal numbers n_k dividing a small common multiple N, e^{-r/n_k} is taken as a
// power of the single e^{-r/N}. Configure the states through configure() so that this plan
// follows; phases may be changed directly.
class WaveSuperposition {
 public:
  static constexpr int kStates = 3;

  WaveSuperposition();

  void configure(int k, double n, double l, double J, double j, double f, double w);
  WaveFunction& state(int k) { return mStates[k]; }
  const WaveFunction& state(int k) const { return mStates[k]; }

  void advancePhases();
  void resetPhases();

  // The sum of the three states at p; with `each` given, also every state's own value.
  Spinor evaluate(const vl::Vec3d& p, Spinor* each = nullptr) const;

  // The sums at up to PointBlock::kMaxPoints points in groups of PointBlock::kGroupSize that
  // lie close together (a point and its gradient neighbours): sum[i] for point i, and with
  // `each` given, every state's own value at the first point of every group (each[group *
  // kStates + state]). The decays at the others are the first point's times a short series while
  // they lie near it.
  void evaluateBlock(const vl::Vec3d* points, int count, Spinor* sum, Spinor* each = nullptr) const;
  // The same for the stencils of `count` centres (PointBlock::setStencils): the sums in groups
  // of PointBlock::kGroupSize, every state's own value at each centre.
  void evaluateStencils(const vl::Vec3d* centres, int count, double h, Spinor* sum,
                        Spinor* each = nullptr) const;

 private:
  void plan();
  void evaluate(const PointBlock::Coordinates& points, Spinor* sum, Spinor* each) const;

  std::array<WaveFunction, kStates> mStates;
  int mMaxAbsM = 0;
  double mInverseCommon = 1.0;             // 1/N, 0 when the decays are taken one by one
  std::array<int, kStates> mDecayPower{};  // N / n_k
};
