#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "Particle.hpp"
#include "SoundParameters.hpp"
#include "SpinorMath.hpp"
#include "dsp/Array.hpp"
#include "dsp/BlockDC.hpp"
#include "dsp/CombChorus.hpp"
#include "dsp/Env.hpp"
#include "dsp/FunctionTable.hpp"
#include "dsp/LFO.hpp"
#include "dsp/PlateReverb.hpp"
#include "sound/vl_AudioIOData.hpp"

// The voice's sound engine: the atom's table of spinors read as a wavetable at three related
// frequencies, through a comb chorus, DC blockers and a plate reverberator, shaped by an
// envelope. The left output is built from the spinor components stored first and third, the
// right from the second and fourth.
//
// Threads: the table side (updateTable) runs on the simulation thread, the trigger side
// (reset, release) on whichever thread triggers, process() on the audio thread. They meet only
// through atomics: the simulation thread glides its own copy of the table, copies it into the
// back one of three tables and publishes that with one exchange, which the audio block picks up
// at its start. Triggers are numbered; the audio block resets its units when it sees a new
// number and never plays a table computed before it.
class HydrogenSound {
 public:
  static constexpr int kTableSize = 512;
  // Fraction of the way that each table update keeps of the old table.
  static constexpr double kGlide = 0.995;

  explicit HydrogenSound(const std::vector<Particle>& particles);
  HydrogenSound(const HydrogenSound&) = delete;
  HydrogenSound& operator=(const HydrogenSound&) = delete;

  // "ReverbAmount", "pitch", "pitchShift", "curvatureCompensation", "gain", "attackTime",
  // "releaseTime".
  SoundParameters& parameters() { return mParams; }

  // Trigger side. A reset zeroes the table and restarts the envelope with the attack and
  // release times as they are now; a release lets the envelope fall from where it stands.
  void reset();
  void release();

  // Simulation side, once per frame, with the atom's table: the first update after a reset
  // copies it, every later one moves 0.5 % of the way towards it.
  void updateTable(const snl::Array<Spinor>& simulation);
  // The table as the last update left it, and the curvature measured then.
  const snl::Array<Spinor>& table() const { return mGlide; }
  float curvature() const { return mCurvature; }
  // The envelope's level at the end of the last audio block.
  float level() const { return mLevel.load(std::memory_order_relaxed); }

  // The base frequency in Hz for a pitch, pitch shift (semitones), curvature and curvature
  // compensation: the integer part of the pitch counts octaves from 220 Hz at 8, its two
  // decimal digits semitones.
  static float frequency(double pitch, double pitchShift, float curvature, float compensation);

  // Audio side: renders channels 0 and 1 (added in) from the frame after io's current one to
  // the end of the block. Allocates nothing and never waits.
  void process(vl::AudioIOData& io);
  // The envelope has run out: the voice is silent for good until its next reset.
  bool done() const { return mEnv.done(); }

 private:
  struct Table {
    snl::FunctionTable<Spinor> values{kTableSize};
    uint64_t trigger = 0;  // the reset the values belong to
    float curvature = 0.0f;
  };
  static constexpr int kFresh = 4;  // set in mMiddle while it holds a table not yet picked up
  static constexpr int kIndex = 3;

  // Audio side: the newest table, the units restarted after a reset.
  void pickUpTable();
  void restart();

  SoundParameters mParams;
  snl::ADSR mEnv{0.1f, 0.1f, 1.0f, 1.3f, 1.0f, -4.0f};
  const std::vector<Particle>& mParticles;
  snl::PlateReverb mReverbA, mReverbB;
  snl::LFO<> mLow, mBase, mHigh;
  snl::CombChorus mChorusA{0.31f, 0.002f, 0.71f, 0.9f, 0.1f};
  snl::CombChorus mChorusB{0.27f, 0.002f, 0.73f, 0.9f, 0.1f};
  snl::BlockDC<float> mBlockA{35.0f}, mBlockB{35.0f};

  // Trigger side to audio side.
  std::atomic<uint64_t> mTrigger{0};
  std::atomic<uint64_t> mReleaseOf{0};  // the trigger whose release is asked for
  std::atomic<float> mAttackTime{0.01f}, mReleaseTime{1.0f};

  // Simulation side.
  snl::Array<Spinor> mGlide{kTableSize};
  uint64_t mTableTrigger = 0;  // the reset the glide has caught up with
  float mCurvature = 0.0f;
  double mMeanSquareDistance = 0.0;
  int mBack = 0;

  // Shared: the table handed over, with kFresh while not yet picked up.
  std::array<Table, 3> mTables;
  std::atomic<int> mMiddle{1};

  // Audio side.
  int mFront = 2;
  uint64_t mPlayedTrigger = 0;
  uint64_t mReleased = 0;
  std::atomic<float> mLevel{0.0f};
};
