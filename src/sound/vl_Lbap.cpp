#include "sound/vl_Lbap.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

namespace vl {

Lbap::Lbap(const Speakers& sl) : Spatializer(sl) {}

bool Lbap::compile() {
  mRings.clear();
  std::map<int, Speakers> groups;
  for (const Speaker& s : mSpeakers) groups[s.group].push_back(s);
  bool ok = !groups.empty();
  for (auto& [group, speakers] : groups) {
    auto vbap = std::make_shared<Vbap>(speakers, false);
    ok = vbap->compile() && ok;
    double sum = 0.0;
    for (const Speaker& s : speakers) sum += s.elevation;
    mRings.push_back({vbap, static_cast<float>(sum / speakers.size())});
  }
  std::stable_sort(mRings.begin(), mRings.end(),
                   [](const Ring& a, const Ring& b) { return a.elevation > b.elevation; });
  return ok;
}

void Lbap::prepare(AudioIOData& io) {
  const auto frames = static_cast<unsigned int>(std::max(io.framesPerBuffer(), 0));
  // Blocks keep their length from one to the next, so this allocates only the first time.
  if (mBuffer.size() < 2u * frames) mBuffer.resize(2u * frames);
  mBufferFrames = frames;
}

const Lbap::Ring* Lbap::ringsFor(const Pose& pose, const Ring*& lower, double& fade) const {
  lower = nullptr;
  if (mRings.empty()) return nullptr;
  const Vec3d p = sourcePosition(pose);
  const double horizontal = std::sqrt(p.x() * p.x() + p.z() * p.z());
  // A source at the listener's own position has no direction; it is heard level.
  const double e = (horizontal == 0.0 && p.y() == 0.0)
                       ? 0.0
                       : std::atan(p.y() / horizontal) * 180.0 / std::numbers::pi;
  std::size_t i = 0;
  while (i < mRings.size() && mRings[i].elevation > e) ++i;
  if (i == mRings.size()) return &mRings.back();
  if (i == 0) return &mRings.front();
  const double e1 = mRings[i - 1].elevation, e0 = mRings[i].elevation;
  fade = (e - e0) / (e1 - e0) * std::numbers::pi / 2.0;
  lower = &mRings[i];
  return &mRings[i - 1];
}

void Lbap::renderBuffer(AudioIOData& io, const Pose& pose, const float* samples,
                        unsigned int numFrames) {
  const Ring* lower;
  double fade = 0.0;
  const Ring* upper = ringsFor(pose, lower, fade);
  if (!upper) return;
  const unsigned int n = std::min(framesIn(io, numFrames), mBufferFrames);
  if (!lower) {
    upper->vbap->renderBuffer(io, pose, samples, n);
    return;
  }
  float* up = mBuffer.data();
  float* down = up + mBufferFrames;
  const auto gu = static_cast<float>(std::sin(fade));
  const auto gd = static_cast<float>(std::cos(fade));
  for (unsigned int f = 0; f < n; ++f) {
    up[f] = gu * samples[f];
    down[f] = gd * samples[f];
  }
  upper->vbap->renderBuffer(io, pose, up, n);
  lower->vbap->renderBuffer(io, pose, down, n);
}

void Lbap::renderSample(AudioIOData& io, const Pose& pose, const float& sample,
                        unsigned int frameIndex) {
  const Ring* lower;
  double fade = 0.0;
  const Ring* upper = ringsFor(pose, lower, fade);
  if (!upper) return;
  if (!lower) {
    upper->vbap->renderSample(io, pose, sample, frameIndex);
    return;
  }
  upper->vbap->renderSample(io, pose, static_cast<float>(std::sin(fade)) * sample, frameIndex);
  lower->vbap->renderSample(io, pose, static_cast<float>(std::cos(fade)) * sample, frameIndex);
}

void Lbap::print(std::ostream& stream) {
  for (const Ring& ring : mRings) {
    stream << " ---- Ring at elevation:" << ring.elevation << "\n";
    ring.vbap->print(stream);
  }
  stream.flush();
}

}  // namespace vl
