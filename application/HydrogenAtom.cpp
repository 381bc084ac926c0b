#include "HydrogenAtom.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "Avx2Clones.hpp"
#include "PointBlock.hpp"
#include "math/vl_Quat.hpp"

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Steps are due when the accumulator reaches 1 up to this much: ten frames at speed 0.1 add
// up to 0.9999999999999999, which is one step.
constexpr double kStepTolerance = 1e-9;
// Offset of every sample point, so that a particle at the origin is still well defined.
constexpr double kSampleOffset = 1e-5;

double bounded(double v, double lo, double hi, double fallback) {
  return std::isfinite(v) ? std::clamp(v, lo, hi) : fallback;
}

// One test instead of three: a product by 0 is 0 for a finite number and NaN otherwise.
bool finite(const vl::Vec3d& v) {
  return v[0] * 0.0 + v[1] * 0.0 + v[2] * 0.0 == 0.0;
}

// Keeps [0, 1] as it is, takes the fraction above 1 and wraps values below 0 up into it.
double wrapHue(double x) {
  if (!std::isfinite(x)) return 0.0;
  if (x > 1.0) return x - std::trunc(x);
  if (x < 0.0) return x + 1.0 - std::trunc(x);
  return x;
}

// The "newColors" rule: the colours of saturation 1 and value 0.7 of the three states' hues,
// wrapHue(10 |state| + rotation), summed per particle. norm2 holds the states' squared
// magnitudes, three per particle. A run of particles at once, with selections written as
// products by 0 or 1 (exact, as every value is finite), so that the loops vectorise; the
// result is what wrapHue() and vl::Color::fromHSV() give one by one.
constexpr int kHueRun = 64;

ZENTHA_AVX2_CLONES void hueColours(const double* norm2, int particles, double hueRotation,
                                   Particle* out) {
  constexpr int kEntries = 3 * kHueRun;
  for (int first = 0; first < particles; first += kHueRun) {
    const int run = std::min(kHueRun, particles - first);
    double x[kEntries];
    std::fill(std::copy(norm2 + 3 * first, norm2 + 3 * (first + run), x), x + kEntries, 0.0);
    for (int j = 0; j < kEntries; ++j) x[j] = 10.0 * std::sqrt(x[j]) + hueRotation;
    int plain = 1;  // every hue finite and within the range of an int
    for (int j = 0; j < kEntries; ++j) plain &= std::abs(x[j]) < 2147483648.0;
    float hue[kEntries];
    if (plain) {
      for (int j = 0; j < kEntries; ++j) {
        const double whole = static_cast<double>(static_cast<int>(x[j]));
        const double above = x[j] > 1.0 ? 1.0 : 0.0, below = x[j] < 0.0 ? 1.0 : 0.0;
        hue[j] = static_cast<float>(above * (x[j] - whole) + below * (x[j] + 1.0 - whole) +
                                    (1.0 - above - below) * x[j]);
      }
    } else {
      for (int j = 0; j < kEntries; ++j) hue[j] = static_cast<float>(wrapHue(x[j]));
    }
    float r[kEntries], g[kEntries], b[kEntries];
    for (int j = 0; j < kEntries; ++j) {
      // hue is within [0, 1]; at 1 the last sector gives what the first gives at 0.
      const float sector = hue[j] * 6.f;
      const int whole = static_cast<int>(sector);
      const int k = whole > 5 ? 5 : whole;
      const float v = 0.7f, f = sector - static_cast<float>(k);
      const float q = v * (1.f - f), t = v * (1.f - (1.f - f));  // and p = 0
      const float m0 = k == 0 ? 1.f : 0.f, m1 = k == 1 ? 1.f : 0.f, m2 = k == 2 ? 1.f : 0.f;
      const float m3 = k == 3 ? 1.f : 0.f, m4 = k == 4 ? 1.f : 0.f, m5 = k == 5 ? 1.f : 0.f;
      r[j] = (m0 + m5) * v + m1 * q + m4 * t;
      g[j] = (m1 + m2) * v + m0 * t + m3 * q;
      b[j] = (m3 + m4) * v + m2 * t + m5 * q;
    }
    for (int q = 0; q < run; ++q) {
      float sr = 0.f, sg = 0.f, sb = 0.f;
      for (int k = 0; k < 3; ++k) {
        sr += r[3 * q + k];
        sg += g[3 * q + k];
        sb += b[3 * q + k];
      }
      out[first + q].colour = vl::Color(sr, sg, sb, 3.f);
    }
  }
}

}  // namespace

HydrogenAtom::HydrogenAtom() : snl::Array<Spinor>(kParticles), mParticles(kParticles) {
  // Any thread may fire the trigger; only the request is recorded here.
  mParams.forceReset.registerChangeCallback([this](bool) { mForceResetRequested.store(true); });
  readSettings();
}

void HydrogenAtom::readSettings() {
  AtomParameters& p = mParams;
  AtomSettings& s = mSettings;
  s.polyX = p.polyX.get();
  s.polyY = p.polyY.get();
  s.polyZ = p.polyZ.get();
  s.polyAlpha = p.polyAlpha.get();
  s.polyBeta = p.polyBeta.get();
  s.polyGamma = p.polyGamma.get();
  s.polyRadius = p.polyRadius.get();
  s.polyRigid = p.polyRigid.get();
  s.polySmooth = p.polySmooth.get();
  s.polyVel = p.polyVel.get();
  s.der = p.der.get();
  s.contour = p.contour.get();
  s.zoom = p.zoom.get();
  s.hueRotation = p.hueRotation.get();
  s.newColors = p.newColors.get() == 1.0f;
  s.simulationSpeed = p.simulationSpeed.get();
}

void HydrogenAtom::init() {
  mContour.resize(kContourSize);
  const float pi = std::numbers::pi_v<float>;
  for (int i = 0; i < kContourSize; ++i) {
    const float c = 4.f * std::cos(pi * float(i) / float(kContourSize));
    mContour[i] = std::exp(-(c * c));
  }
}

double HydrogenAtom::scale(double zoom) {
  return 10.0 * std::exp2(bounded(zoom, -99.0, 99.0, 0.0));
}

void HydrogenAtom::reset() {
  readSettings();
  const AtomSettings& settings = mSettings;
  const double s = scale();
  const vl::Vec3d centre = vl::Vec3d(settings.polyX, settings.polyY, settings.polyZ) / s;
  const double radius = settings.polyRadius / (s * 0.1);

  const float half = 0.5f * float(kTwoPi);
  const float a = half * float(settings.polyAlpha), b = half * float(settings.polyBeta),
              g = half * float(settings.polyGamma);
  const float c1 = std::cos(a), s1 = std::sin(a), c2 = std::cos(b), s2 = std::sin(b),
              c3 = std::cos(g), s3 = std::sin(g);
  const vl::Quatd q(c1 * c2 * c3 + s1 * s2 * s3, c1 * s2 * c3 + s1 * c2 * s3,
                    s1 * c2 * c3 - c1 * s2 * s3, c1 * c2 * s3 - s1 * s2 * c3);
  const double norm2 = q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z;
  const vl::Quatd c = q.conjugate();
  const vl::Quatd inverse(c.w / norm2, c.x / norm2, c.y / norm2, c.z / norm2);

  const double delta = kTwoPi / kParticles;
  const double stepRe = std::cos(delta), stepIm = std::sin(delta);
  double re = 1.0, im = 0.0;
  for (Particle& p : mParticles) {
    const vl::Quatd v = q * vl::Quatd(0.0, radius * re, radius * im, 0.0) * inverse;
    p.position = centre + vl::Vec3d(v.x, v.y, v.z);
    p.displacement = vl::Vec3d();
    const double nextRe = re * stepRe - im * stepIm;
    im = re * stepIm + im * stepRe;
    re = nextRe;
  }
}

void HydrogenAtom::step(double) {
  // The table is public as an array; whoever resized it gets its 512 entries back.
  if (size() != kParticles) resize(kParticles);
  applyForceReset();
  readSettings();
  const double s = scale();
  if (mResetPending) {
    mResetPending = false;
    reset();
  }
  const double speed = bounded(mSettings.simulationSpeed, 0.1, 4.0, 1.0);
  mLastSpeed = speed;
  mStepAccumulator += speed;
  while (mStepAccumulator >= 1.0 - kStepTolerance) {
    mStepAccumulator -= 1.0;
    simulationStep(s);
  }
}

void HydrogenAtom::simulationStep(double s) {
  applyForceReset();
  readSettings();
  const std::array<WaveFunctionParameters*, 3> groups = mParams.waveFunctions();
  for (int k = 0; k < 3; ++k) {
    WaveFunctionSettings w;
    if (groups[k]->takeChanges(w)) mWaves.configure(k, w.n, w.l, w.J, w.j, w.f, w.w);
  }
  mWaves.advancePhases();
  for (Particle& p : mParticles) p.displacement = p.displacementRate = vl::Vec3d();

  const AtomSettings& settings = mSettings;
  mVelocityGain = settings.polyVel;
  const double h = settings.der;
  mContourValue = settings.contour;
  mHueRotation = settings.hueRotation;
  mNewColors = settings.newColors;
  const double kappa = settings.polyRigid, mu = settings.polySmooth;

  // The springs and smoothing of a particle read only its neighbours' positions, and its
  // sample reads only its own; so the samples of particles 0 ... 510 can be taken in blocks
  // after their springs, with the same result as interleaving them. The last particle's
  // spring reaches particle 0, whose flow is already gathered, as it would be in order.
  for (int i = 0; i < kParticles - 1; ++i) springAndSmooth(i, kappa, mu);
  sampleAll(0, kParticles - 2, s, h);
  springAndSmooth(kParticles - 1, kappa, mu);
  sampleAll(kParticles - 1, kParticles - 1, s, h);

  for (Particle& p : mParticles) {
    p.displacement += p.displacementRate;
    p.position += p.displacement;
    // A flow that ran away leaves no non-finite position behind.
    if (!finite(p.position)) {
      p.fail();
      mResetPending = true;
    }
  }
}

void HydrogenAtom::springAndSmooth(int i, double kappa, double mu) {
  Particle& p = mParticles[i];
  Particle& next = mParticles[(i + 1) % kParticles];
  const Particle& prev = mParticles[(i + kParticles - 1) % kParticles];

  const vl::Vec3d d = next.position - p.position;
  const vl::Vec3d pull = d * ((d.magSqr() - kRestLengthSquared) * -kappa);
  p.displacement -= pull;
  next.displacement += pull;

  if (!finite(p.displacement)) {
    mResetPending = true;
    p.fail();
  }
  if (!finite(next.displacement)) {
    mResetPending = true;
    next.fail();
  }

  const vl::Vec3d mid = (prev.position + next.position) / 2.0;
  p.position += (mid - p.position) * mu;
}

void HydrogenAtom::sampleAll(int first, int last, double s, double h) {
  constexpr int kGroup = PointBlock::kGroupSize;
  vl::Vec3d centres[PointBlock::kGroups];
  Spinor sums[PointBlock::kMaxPoints], each[3 * PointBlock::kGroups];
  const vl::Vec3d offset(kSampleOffset, kSampleOffset, kSampleOffset);
  for (int i = first; i <= last; i += PointBlock::kGroups) {
    const int count = std::min(PointBlock::kGroups, last - i + 1);
    for (int q = 0; q < count; ++q) centres[q] = mParticles[i + q].position * s + offset;
    mWaves.evaluateStencils(centres, count, h, sums, each);
    for (int q = 0; q < count; ++q) {
      for (int k = 0; k < 3; ++k) mStateNorm2[3 * (i + q) + k] = normSquared(each[3 * q + k]);
      sample(i + q, sums + q * kGroup, h);
    }
  }
  // Colours do not feed back into the motion: all of the run at once.
  if (mNewColors)
    hueColours(mStateNorm2.data() + 3 * first, last - first + 1, mHueRotation, &mParticles[first]);
}

void HydrogenAtom::sample(int i, const Spinor* stencil, double h) {
  Particle& particle = mParticles[i];
  Spinor psi = stencil[0];
  // A magnitude is NaN exactly when its square is: a sum of squares is never negative.
  if (std::isnan(psi.a * psi.a + psi.b * psi.b)) {
    mResetPending = true;
    psi.a = psi.b = 0.0;
  }
  if (std::isnan(psi.c * psi.c + psi.d * psi.d)) {
    mResetPending = true;
    psi.c = psi.d = 0.0;
  }
  if (uint32_t(i) < size()) (*this)[i] = psi;  // an outside buffer may be shorter
  const double a = psi.a, b = psi.b, c = psi.c, d = psi.d;
  particle.spin =
      vl::Vec3d(2.0 * (a * c + b * d), 2.0 * (a * d - b * c), (a * a + b * b) - (c * c + d * d));
  if (!mNewColors) contourColour(particle, psi);

  // Probability-current velocity by central differences, with a regularised 1/rho. Without a
  // step there is no difference to take.
  if (h == 0.0) return;
  const double rho = (a * a + b * b) + (c * c + d * d);
  const double k = rho / (2.0 * h * (rho * rho + 1e-7));
  for (int e = 0; e < 3; ++e) {
    const Spinor delta = stencil[1 + 2 * e] - stencil[2 + 2 * e];
    particle.displacement[e] +=
        (a * delta.b - b * delta.a + c * delta.d - d * delta.c) * k * mVelocityGain;
  }
}

void HydrogenAtom::contourColour(Particle& particle, const Spinor& psi) const {
  vl::Color& colour = particle.colour;
  const double a = psi.a, b = psi.b, c = psi.c, d = psi.d;
  double theta = std::atan2(2.0 * (a * d - b * c), 2.0 * (a * c + b * d)) / kTwoPi;
  if (theta < 0.0) theta += 1.0;
  const vl::Color rgb = vl::Color::fromHSV(float(theta), 1.f, float(mContourValue));
  colour.r = rgb.r;
  colour.g = rgb.g;
  colour.b = rgb.b;
  double u = 8.0 * theta;
  u -= std::floor(u);
  const double x = u * mContourSize;
  const int i0 = std::clamp(int(x), 0, kContourSize - 1);
  const int i1 = i0 + 1 == kContourSize ? 0 : i0 + 1;
  const double t = x - i0;
  if (mContour.size() != kContourSize) return;  // not initialised: no contour lift
  const float level = float(0.8 * (mContour[i1] * t + mContour[i0] * (1.0 - t)));
  for (int ch = 0; ch < 4; ++ch) colour[ch] = (1.f - colour[ch]) * level + colour[ch];
}

void HydrogenAtom::trigger() {
  applyForceReset();
  zero();
  mStepAccumulator = 0.0;
  mResetPending = true;
}

void HydrogenAtom::presetLoaded(VoiceParameters& voice) {
  if (mParams.resetOnLoad.get() != 0.0f) mResetPending = true;
  takeResonances(voice);
}

void HydrogenAtom::forceReset() {
  mForceResetRequested.store(true);
  applyForceReset();
}

void HydrogenAtom::applyForceReset() {
  if (!mForceResetRequested.exchange(false)) return;
  mWaves.resetPhases();
  mResetPending = true;
}

void HydrogenAtom::takeResonances(VoiceParameters& voice) {
  applyForceReset();
  setPhases({std::complex<double>(voice.reson1R.get(), voice.reson1I.get()),
             std::complex<double>(voice.reson2R.get(), voice.reson2I.get()),
             std::complex<double>(voice.reson3R.get(), voice.reson3I.get())});
}

void HydrogenAtom::publishResonances(VoiceParameters& voice) const {
  const auto p = phases();
  voice.reson1R.set(float(p[0].real()));
  voice.reson1I.set(float(p[0].imag()));
  voice.reson2R.set(float(p[1].real()));
  voice.reson2I.set(float(p[1].imag()));
  voice.reson3R.set(float(p[2].real()));
  voice.reson3I.set(float(p[2].imag()));
}

void HydrogenAtom::setPhases(const std::array<std::complex<double>, 3>& resonances) {
  for (int k = 0; k < 3; ++k) mWaves.state(k).phase = resonances[k];
}

std::array<std::complex<double>, 3> HydrogenAtom::phases() const {
  return {mWaves.state(0).phase, mWaves.state(1).phase, mWaves.state(2).phase};
}
