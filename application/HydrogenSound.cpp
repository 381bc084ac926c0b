#include "HydrogenSound.hpp"

#include <algorithm>
#include <cmath>

HydrogenSound::HydrogenSound(const std::vector<Particle>& particles) : mParticles(particles) {}

void HydrogenSound::reset() {
  mAttackTime.store(mParams.attackTime.get(), std::memory_order_relaxed);
  mReleaseTime.store(mParams.releaseTime.get(), std::memory_order_relaxed);
  // Publishes the times with the new number.
  mTrigger.fetch_add(1, std::memory_order_acq_rel);
}

void HydrogenSound::release() {
  mReleaseOf.store(mTrigger.load(std::memory_order_acquire), std::memory_order_release);
}

void HydrogenSound::updateTable(const snl::Array<Spinor>& simulation) {
  double sum = 0.0;
  for (const Particle& p : mParticles) {
    const vl::Vec3d& x = p.position;
    sum += float(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
  }
  mMeanSquareDistance = sum * (1.0 / double(mParticles.size() ? mParticles.size() : 1));
  mCurvature = std::sqrt(float(mMeanSquareDistance));

  const uint32_t n = std::min<uint32_t>(simulation.size(), kTableSize);
  const uint64_t trigger = mTrigger.load(std::memory_order_acquire);
  if (trigger != mTableTrigger) {
    mTableTrigger = trigger;
    mGlide.zero();
    for (uint32_t k = 0; k < n; ++k) mGlide[k] = simulation[k];
  } else {
    for (uint32_t k = 0; k < n; ++k) {
      const Spinor& s = simulation[k];
      Spinor& t = mGlide[k];
      t.a = s.a + kGlide * (t.a - s.a);
      t.b = s.b + kGlide * (t.b - s.b);
      t.c = s.c + kGlide * (t.c - s.c);
      t.d = s.d + kGlide * (t.d - s.d);
    }
  }

  Table& back = mTables[size_t(mBack)];
  std::copy(mGlide.begin(), mGlide.end(), back.values.begin());
  back.trigger = trigger;
  back.curvature = mCurvature;
  mBack = mMiddle.exchange(mBack | kFresh, std::memory_order_acq_rel) & kIndex;
}

float HydrogenSound::frequency(double pitch, double pitchShift, float curvature,
                               float compensation) {
  const float x = float(std::max(0.0, pitch + pitchShift / 12.0));
  const float i = std::trunc(x);
  const float y = (i - 8.0f) + (x - i) / 0.12f;
  const float d = std::clamp(curvature - compensation, 0.0f, 1.0f);
  return 220.0f * std::exp2(y - d);
}

void HydrogenSound::pickUpTable() {
  if (mMiddle.load(std::memory_order_relaxed) & kFresh) {
    mFront = mMiddle.exchange(mFront, std::memory_order_acq_rel) & kIndex;
  }
  // Read after the table: a table is never newer than the trigger seen here.
  const uint64_t trigger = mTrigger.load(std::memory_order_acquire);
  if (trigger != mPlayedTrigger) {
    mPlayedTrigger = trigger;
    restart();
  }
  Table& front = mTables[size_t(mFront)];
  if (front.trigger != mPlayedTrigger) {
    // Computed before the reset: the reset's table is zero until the next update.
    front.values.zero();
    front.trigger = mPlayedTrigger;
    front.curvature = 0.0f;
  }
}

void HydrogenSound::restart() {
  mEnv.reset();
  mEnv.attack(mAttackTime.load(std::memory_order_relaxed));
  mEnv.releaseTime(mReleaseTime.load(std::memory_order_relaxed));
  mReverbA.reset();
  mReverbB.reset();
  mLow.phase(0.0);
  mBase.phase(0.0);
  mHigh.phase(0.0);
  mChorusA.zero();
  mChorusB.zero();
  mBlockA.zero();
  mBlockB.zero();
}

void HydrogenSound::process(vl::AudioIOData& io) {
  pickUpTable();
  const uint64_t releaseOf = mReleaseOf.load(std::memory_order_acquire);
  if (releaseOf != 0 && releaseOf == mPlayedTrigger && mReleased != releaseOf) {
    mReleased = releaseOf;
    mEnv.release();
  }

  const Table& table = mTables[size_t(mFront)];
  const float f = frequency(mParams.pitch.get(), mParams.pitchShift.get(), table.curvature,
                            mParams.curvatureCompensation.get());
  const float gain = mParams.gain.get();
  const float scale = 2.0f * gain * gain;
  mLow.freq(float(f * std::exp2(-1.01)));
  mBase.freq(f);
  mHigh.freq(float(f * std::exp2(1.01)));

  const snl::FunctionTable<Spinor>& t = table.values;
  const int rightChannel = io.channelsOut() > 1 ? 1 : 0;
  if (io.channelsOut() < 1) {
    io.frame(io.framesPerBuffer());
    return;
  }
  while (io()) {
    const float e = mEnv();
    const Spinor low = t.read(mLow.nextPhase());
    const Spinor base = t.read(mBase.nextPhase());
    const Spinor high = t.read(mHigh.nextPhase());
    const float left =
        float(8.0 * (2.0 * (low.a + low.c) + (base.a + base.c) + 0.5 * (high.a + high.c)));
    const float right =
        float(8.0 * (2.0 * (low.b + low.d) + (base.b + base.d) + 0.5 * (high.b + high.d)));
    const float chorusA = mChorusA(left);
    const float chorusB = mChorusB(right);
    const float dryL = mBlockA(0.3f * chorusA + left);
    const float dryR = mBlockB(0.3f * chorusB + right);
    const snl::PlateReverb::Output a = mReverbA(dryL, 0.6f);
    const snl::PlateReverb::Output b = mReverbB(dryR, 0.6f);
    const float r = mParams.reverbAmount.get();
    const float outL = dryL + r * (a.left + 0.5f * b.right);
    const float outR = dryR + r * (b.left + 0.5f * a.right);
    io.out(0) += outL * scale * e;
    io.out(rightChannel) += outR * scale * e;
  }
  mLevel.store(mEnv.value(), std::memory_order_relaxed);
}
