#include "sound/vl_Vbap.hpp"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "core/vl_Console.hpp"

namespace vl {

Vbap::Vbap(const Speakers& sl, bool is3D) : Spatializer(sl), mIs3D(is3D) {}

bool Vbap::compile() {
  mSets.clear();
  if (mIs3D) {
    vl::print("Vbap: only the pair mode is available\n");
    return false;
  }
  vl::print("Finding pairs\n");
  const int n = static_cast<int>(mSpeakers.size());
  // Stable insertion sort of the speaker indices by azimuth.
  std::vector<int> order;
  for (int i = 0; i < n; ++i) {
    auto at = order.end();
    while (at != order.begin() && mSpeakers[*(at - 1)].azimuth > mSpeakers[i].azimuth) --at;
    order.insert(at, i);
  }
  auto addPair = [&](int a, int b) {
    SpeakerSet set;
    const int idx[2] = {a, b};
    for (int k = 0; k < 2; ++k) {
      set.speakerIdx[k] = idx[k];
      set.vectors[k] = mSpeakers[idx[k]].vec();
      set.deviceChannels[k] = mSpeakers[idx[k]].deviceChannel;
      for (int i = 0; i < 3; ++i) set.mat[k][i] = set.vectors[k][i];
    }
    const double x1 = set.vectors[0][0], y1 = set.vectors[0][1];
    const double x2 = set.vectors[1][0], y2 = set.vectors[1][1];
    const double d = y2 * x1 - y1 * x2;
    // Speakers on one line through the listener give a determinant of rounding noise
    // (cos 90 degrees is not 0 in floating point); that is no basis to invert.
    const double scale = std::hypot(x1, y1) * std::hypot(x2, y2);
    if (std::abs(d) > 1e-9 * scale) {
      set.inverse[0][0] = y2 / d;
      set.inverse[0][1] = -x2 / d;
      set.inverse[1][0] = -y1 / d;
      set.inverse[1][1] = x1 / d;
    } else {
      for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 2; ++i) set.inverse[k][i] = set.vectors[k][i];
    }
    set.arcStart = mSpeakers[a].azimuth;
    set.arcSpan = std::fmod(double(mSpeakers[b].azimuth) - mSpeakers[a].azimuth + 720.0, 360.0);
    mSets.push_back(set);
  };
  for (int i = 0; i + 1 < n; ++i) addPair(order[i], order[i + 1]);
  if (n >= 2) addPair(order[n - 1], order[0]);
  if (mSets.empty()) {
    vl::print("No SpeakerSets found. Check mode setting or speaker layout.\n");
    return false;
  }
  return true;
}

const SpeakerSet* Vbap::gainsFor(const Pose& pose, double g[2]) const {
  const Vec3d s = sourcePosition(pose);
  // The listener's forward axis (-z) is the speakers' x, its right (x) their y.
  const double p[2] = {-s.z(), s.x()};
  for (const SpeakerSet& set : mSets) {
    g[0] = set.inverse[0][0] * p[0] + set.inverse[0][1] * p[1];
    g[1] = set.inverse[1][0] * p[0] + set.inverse[1][1] * p[1];
    if (g[0] >= 0.0 && g[1] >= 0.0) {
      const double len = std::sqrt(g[0] * g[0] + g[1] * g[1]);
      if (len < 1e-20) {
        g[0] = 1.0;
        g[1] = 0.0;
      } else {
        g[0] /= len;
        g[1] /= len;
      }
      return &set;
    }
  }
  // No pair spans the direction: this happens behind a ring whose closing pair lies on one
  // line through the listener (or faces away). Pan by angle over the arc that holds the
  // source, so that every direction still lands on the two speakers around it.
  const double az = std::atan2(p[1], p[0]) * 180.0 / std::numbers::pi;
  for (const SpeakerSet& set : mSets) {
    if (set.arcSpan <= 0.0) continue;
    const double rel = std::fmod(az - set.arcStart + 720.0, 360.0);
    if (rel <= set.arcSpan) {
      const double x = rel / set.arcSpan * std::numbers::pi / 2.0;
      g[0] = std::cos(x);
      g[1] = std::sin(x);
      return &set;
    }
  }
  return nullptr;
}

void Vbap::renderBuffer(AudioIOData& io, const Pose& pose, const float* samples,
                        unsigned int numFrames) {
  double g[2];
  const SpeakerSet* set = gainsFor(pose, g);
  if (!set) return;
  const unsigned int n = framesIn(io, numFrames);
  for (int k = 0; k < 2; ++k) {
    const unsigned int ch = set->deviceChannels[k];
    if (g[k] == 0.0 || ch >= static_cast<unsigned int>(io.channelsOut())) continue;
    const float gain = static_cast<float>(g[k]);
    float* out = io.outBuffer(static_cast<int>(ch));
    for (unsigned int f = 0; f < n; ++f) out[f] += gain * samples[f];
  }
}

void Vbap::renderSample(AudioIOData& io, const Pose& pose, const float& sample,
                        unsigned int frameIndex) {
  double g[2];
  const SpeakerSet* set = gainsFor(pose, g);
  if (!set || frameIndex >= static_cast<unsigned int>(io.framesPerBuffer())) return;
  for (int k = 0; k < 2; ++k) {
    const unsigned int ch = set->deviceChannels[k];
    if (ch >= static_cast<unsigned int>(io.channelsOut())) continue;
    io.out(static_cast<int>(ch), static_cast<int>(frameIndex)) += static_cast<float>(g[k]) * sample;
  }
}

void Vbap::print(std::ostream& stream) {
  stream << "Number of Groups: " << mSets.size() << "\n";
  for (std::size_t i = 0; i < mSets.size(); ++i) {
    const SpeakerSet& set = mSets[i];
    stream << "Group #" << i << ": speakers " << set.speakerIdx[0] << " " << set.speakerIdx[1]
           << ", channels " << set.deviceChannels[0] << " " << set.deviceChannels[1]
           << ", azimuths " << mSpeakers[set.speakerIdx[0]].azimuth << " "
           << mSpeakers[set.speakerIdx[1]].azimuth << "\n";
  }
  stream.flush();
}

}  // namespace vl
