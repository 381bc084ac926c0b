#include "sound/vl_Vbap.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <utility>

#include "core/vl_Console.hpp"

namespace vl {

Vbap::Vbap(const Speakers& sl, bool is3D) : Spatializer(sl), mIs3D(is3D) {}

bool Vbap::compile() {
  mSets.clear();
  const bool found = mIs3D ? compileTriplets() : compilePairs();
  if (!found) {
    vl::print("No SpeakerSets found. Check mode setting or speaker layout.\n");
    return false;
  }
  return true;
}

bool Vbap::compilePairs() {
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
  return !mSets.empty();
}

namespace {

using Triangle = std::array<int, 3>;

// Elevations closer than this (degrees) count as one ring.
constexpr double kSameElevation = 1e-3;
// Volume of the unit vectors over the sum of the sides (radians): below it a triangle is too
// flat to pan within, its speakers nearly on one great circle.
constexpr double kMinVolumePerSide = 0.01;

// The candidate triangles of a layout and the steps that prune them down to a tiling of the
// surface the speakers surround.
class TriangleSearch {
 public:
  explicit TriangleSearch(const Speakers& sl) : mSpeakers(sl), mCount(int(sl.size())) {
    for (const Speaker& s : sl) mDirs.push_back(s.vec().normalized());
    for (int i = 0; i < mCount; ++i)
      for (int j = i + 1; j < mCount; ++j)
        for (int k = j + 1; k < mCount; ++k) mTris.push_back({i, j, k});
  }

  int count() const { return int(mTris.size()); }
  const std::vector<Triangle>& triangles() const { return mTris; }

  // Three speakers of one ring: on the horizon they lie in a plane through the listener; off
  // it they span the ring's cap, which speakers further toward the pole cover better.
  int removeFlatRings() {
    return removeIf([&](const Triangle& t) {
      const double e = elevation(t[0]);
      if (!same(e, elevation(t[1])) || !same(e, elevation(t[2]))) return false;
      if (std::abs(e) < kSameElevation) return true;
      for (int s = 0; s < mCount; ++s)
        if (e > 0.0 ? elevation(s) > e + kSameElevation : elevation(s) < e - kSameElevation)
          return true;
      return false;
    });
  }

  // Two corners on one ring with a speaker of that ring between them, and the third corner
  // elsewhere: the ring's neighbours should be joined instead. (A cap keeps its chords.)
  int removeRingSkips() {
    return removeIf([&](const Triangle& t) {
      for (int k = 0; k < 3; ++k) {
        const int a = t[k], b = t[(k + 1) % 3], c = t[(k + 2) % 3];
        if (!same(elevation(c), elevation(a)) && skipsSpeaker(a, b)) return true;
      }
      return false;
    });
  }

  int removeNarrow() {
    return removeIf([&](const Triangle& t) {
      const Vec3d &a = mDirs[t[0]], &b = mDirs[t[1]], &c = mDirs[t[2]];
      const double volume = std::abs(a.dot(cross(b, c)));
      const double sides = angle(a, b) + angle(b, c) + angle(c, a);
      return !(sides > 0.0) || volume / sides < kMinVolumePerSide;
    });
  }

  // Where the edges of two triangles cross, the triangles overlap. Shorter edges are taken
  // first and an edge crossing one already taken is dropped, with every triangle on it.
  int removeCrossing() {
    std::vector<Edge> edges;
    for (const Triangle& t : mTris)
      for (int k = 0; k < 3; ++k) edges.push_back(edge(t[k], t[(k + 1) % 3]));
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::stable_sort(edges.begin(), edges.end(), [&](const Edge& x, const Edge& y) {
      return angle(mDirs[x.first], mDirs[x.second]) < angle(mDirs[y.first], mDirs[y.second]);
    });
    std::vector<Edge> kept, dropped;
    for (const Edge& e : edges) {
      const bool crosses =
          std::any_of(kept.begin(), kept.end(), [&](const Edge& f) { return arcsCross(e, f); });
      (crosses ? dropped : kept).push_back(e);
    }
    std::sort(dropped.begin(), dropped.end());
    return removeIf([&](const Triangle& t) {
      for (int k = 0; k < 3; ++k)
        if (std::binary_search(dropped.begin(), dropped.end(), edge(t[k], t[(k + 1) % 3])))
          return true;
      return false;
    });
  }

  // Another speaker within the triangle (or on its edge): the smaller triangles around that
  // speaker are the ones to pan with.
  int removeHolding() {
    return removeIf([&](const Triangle& t) {
      const Vec3d &a = mDirs[t[0]], &b = mDirs[t[1]], &c = mDirs[t[2]];
      const Vec3d basis[3] = {cross(b, c), cross(c, a), cross(a, b)};
      const double det = a.dot(basis[0]);
      for (int s = 0; s < mCount; ++s) {
        if (s == t[0] || s == t[1] || s == t[2]) continue;
        bool within = true;
        for (int k = 0; k < 3 && within; ++k) within = mDirs[s].dot(basis[k]) / det >= -1e-9;
        if (within) return true;
      }
      return false;
    });
  }

 private:
  using Edge = std::pair<int, int>;

  static Edge edge(int a, int b) { return a < b ? Edge(a, b) : Edge(b, a); }
  static bool same(double a, double b) { return std::abs(a - b) < kSameElevation; }
  static double angle(const Vec3d& a, const Vec3d& b) {
    return std::atan2(cross(a, b).mag(), a.dot(b));
  }
  double elevation(int i) const { return mSpeakers[i].elevation; }

  template <class Pred>
  int removeIf(Pred pred) {
    const auto end = std::remove_if(mTris.begin(), mTris.end(), pred);
    const int removed = int(mTris.end() - end);
    mTris.erase(end, mTris.end());
    return removed;
  }

  // Whether the shorter way round the ring from a to b passes another speaker of the ring.
  bool skipsSpeaker(int a, int b) const {
    const double e = elevation(a);
    if (!same(e, elevation(b)) || std::abs(e) > 90.0 - kSameElevation) return false;
    double from = mSpeakers[a].azimuth;
    double span = std::fmod(double(mSpeakers[b].azimuth) - from + 720.0, 360.0);
    if (span > 180.0) {
      from = mSpeakers[b].azimuth;
      span = 360.0 - span;
    }
    for (int c = 0; c < mCount; ++c) {
      if (c == a || c == b || !same(elevation(c), e)) continue;
      const double rel = std::fmod(double(mSpeakers[c].azimuth) - from + 720.0, 360.0);
      if (rel > kSameElevation && rel < span - kSameElevation) return true;
    }
    return false;
  }

  // x strictly inside the arc from a to b, x on the arc's great circle (normal n = a x b).
  static bool onArc(const Vec3d& x, const Vec3d& a, const Vec3d& b, const Vec3d& n) {
    const double eps = 1e-9 * n.mag();
    return cross(a, x).dot(n) > eps && cross(x, b).dot(n) > eps;
  }

  bool arcsCross(const Edge& e, const Edge& f) const {
    if (e.first == f.first || e.first == f.second || e.second == f.first || e.second == f.second)
      return false;
    const Vec3d &a = mDirs[e.first], &b = mDirs[e.second];
    const Vec3d &c = mDirs[f.first], &d = mDirs[f.second];
    const Vec3d n1 = cross(a, b), n2 = cross(c, d);
    if (n1.magSqr() == 0.0 || n2.magSqr() == 0.0) return false;
    const Vec3d meet = cross(n1, n2);
    if (meet.mag() <= 1e-12 * n1.mag() * n2.mag()) {
      // One great circle: the arcs overlap when an end of one lies within the other.
      return onArc(c, a, b, n1) || onArc(d, a, b, n1) || onArc(a, c, d, n2) || onArc(b, c, d, n2);
    }
    const Vec3d t = meet.normalized();
    return (onArc(t, a, b, n1) && onArc(t, c, d, n2)) ||
           (onArc(-t, a, b, n1) && onArc(-t, c, d, n2));
  }

  const Speakers& mSpeakers;
  int mCount;
  std::vector<Vec3d> mDirs;
  std::vector<Triangle> mTris;
};

}  // namespace

bool Vbap::compileTriplets() {
  vl::print("Finding triplets\n");
  const int n = static_cast<int>(mSpeakers.size());
  TriangleSearch search(mSpeakers);
  vl::print("Speaker-count=%d, Initial triplet-count=%d\n", n, search.count());
  vl::print("Tris removed because equal elev %i\n", search.removeFlatRings());
  vl::print("Tris removed because equal elev with spk btw %i\n", search.removeRingSkips());
  vl::print("Triangles removed because too narrow %i\n", search.removeNarrow());
  vl::print("Triangles removed because of crossing %i\n", search.removeCrossing());
  vl::print("Tris removed because spk inside triangle %i\n", search.removeHolding());

  for (const Triangle& t : search.triangles()) {
    SpeakerSet set;
    for (int k = 0; k < 3; ++k) {
      set.speakerIdx[k] = t[k];
      set.vectors[k] = mSpeakers[t[k]].vec();
      set.deviceChannels[k] = mSpeakers[t[k]].deviceChannel;
      for (int i = 0; i < 3; ++i) set.mat[k][i] = set.vectors[k][i];
    }
    // The gains g solve sum_k g_k v_k = p: g is the inverse of the transposed matrix times p.
    const Vec3d* v = set.vectors;
    const Vec3d c0 = cross(v[1], v[2]), c1 = cross(v[2], v[0]), c2 = cross(v[0], v[1]);
    const double det = v[0].dot(c0);
    for (int i = 0; i < 3; ++i) {
      set.inverse[0][i] = c0[i] / det;
      set.inverse[1][i] = c1[i] / det;
      set.inverse[2][i] = c2[i] / det;
    }
    mSets.push_back(set);
  }
  return !mSets.empty();
}

const SpeakerSet* Vbap::gainsFor(const Pose& pose, double g[3]) const {
  const Vec3d s = sourcePosition(pose);
  // The listener's forward axis (-z) is the speakers' x, its right (x) their y, up their z.
  const double p[3] = {-s.z(), s.x(), s.y()};
  g[2] = 0.0;
  return mIs3D ? tripletGains(p, g) : pairGains(p, g);
}

const SpeakerSet* Vbap::pairGains(const double p[2], double g[3]) const {
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

namespace {

void applyInverse(const SpeakerSet& set, const double p[3], double g[3]) {
  for (int k = 0; k < 3; ++k)
    g[k] = set.inverse[k][0] * p[0] + set.inverse[k][1] * p[1] + set.inverse[k][2] * p[2];
}

// Gains that are non-negative up to rounding, made exactly so and scaled to unit power.
void equalPower(double g[3]) {
  for (int k = 0; k < 3; ++k) g[k] = std::max(g[k], 0.0);
  const double len = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
  if (len < 1e-20) {
    g[0] = 1.0;
    g[1] = g[2] = 0.0;
    return;
  }
  for (int k = 0; k < 3; ++k) g[k] /= len;
}

// The point of the spherical triangle nearest to the unit direction p (which lies outside
// it): on one of its edges or at a corner.
Vec3d nearestOnTriangle(const SpeakerSet& set, const Vec3d& p) {
  Vec3d u[3];
  for (int k = 0; k < 3; ++k) u[k] = set.vectors[k].normalized();
  Vec3d best = u[0];
  double bestCos = p.dot(u[0]);
  for (int k = 0; k < 3; ++k) {
    if (p.dot(u[k]) > bestCos) {
      bestCos = p.dot(u[k]);
      best = u[k];
    }
    const Vec3d& a = u[k];
    const Vec3d& b = u[(k + 1) % 3];
    const Vec3d normal = cross(a, b).normalized();
    const Vec3d q = (p - normal * p.dot(normal)).normalized();
    if (q.magSqr() == 0.0) continue;
    if (cross(a, q).dot(normal) < 0.0 || cross(q, b).dot(normal) < 0.0) continue;
    if (p.dot(q) > bestCos) {
      bestCos = p.dot(q);
      best = q;
    }
  }
  return best;
}

}  // namespace

const SpeakerSet* Vbap::tripletGains(const double p[3], double g[3]) const {
  for (const SpeakerSet& set : mSets) {
    applyInverse(set, p, g);
    const double largest = std::max({std::abs(g[0]), std::abs(g[1]), std::abs(g[2])});
    // A source on an edge may come out a rounding error below zero on both sides of it.
    const double floor = -1e-9 * largest;
    if (g[0] >= floor && g[1] >= floor && g[2] >= floor) {
      equalPower(g);
      return &set;
    }
  }
  // Outside every triangle (below a dome, in a gap of the layout): the source moves to the
  // nearest point of the covered surface and sounds there.
  const Vec3d dir = Vec3d(p[0], p[1], p[2]).normalized();
  const SpeakerSet* nearest = nullptr;
  Vec3d target;
  double bestCos = -2.0;
  for (const SpeakerSet& set : mSets) {
    const Vec3d q = nearestOnTriangle(set, dir);
    if (dir.dot(q) > bestCos) {
      bestCos = dir.dot(q);
      target = q;
      nearest = &set;
    }
  }
  if (!nearest) return nullptr;
  const double t[3] = {target[0], target[1], target[2]};
  applyInverse(*nearest, t, g);
  equalPower(g);
  return nearest;
}

void Vbap::renderBuffer(AudioIOData& io, const Pose& pose, const float* samples,
                        unsigned int numFrames) {
  double g[3];
  const SpeakerSet* set = gainsFor(pose, g);
  if (!set) return;
  const unsigned int n = framesIn(io, numFrames);
  for (int k = 0; k < 3; ++k) {
    const unsigned int ch = set->deviceChannels[k];
    if (set->speakerIdx[k] < 0 || g[k] == 0.0 || ch >= static_cast<unsigned int>(io.channelsOut()))
      continue;
    const float gain = static_cast<float>(g[k]);
    float* out = io.outBuffer(static_cast<int>(ch));
    for (unsigned int f = 0; f < n; ++f) out[f] += gain * samples[f];
  }
}

void Vbap::renderSample(AudioIOData& io, const Pose& pose, const float& sample,
                        unsigned int frameIndex) {
  double g[3];
  const SpeakerSet* set = gainsFor(pose, g);
  if (!set || frameIndex >= static_cast<unsigned int>(io.framesPerBuffer())) return;
  for (int k = 0; k < 3; ++k) {
    const unsigned int ch = set->deviceChannels[k];
    if (set->speakerIdx[k] < 0 || ch >= static_cast<unsigned int>(io.channelsOut())) continue;
    io.out(static_cast<int>(ch), static_cast<int>(frameIndex)) += static_cast<float>(g[k]) * sample;
  }
}

void Vbap::print(std::ostream& stream) {
  stream << "Number of Groups: " << mSets.size() << "\n";
  const int corners = mIs3D ? 3 : 2;
  for (std::size_t i = 0; i < mSets.size(); ++i) {
    const SpeakerSet& set = mSets[i];
    stream << "Group #" << i << ": speakers";
    for (int k = 0; k < corners; ++k) stream << " " << set.speakerIdx[k];
    stream << ", channels";
    for (int k = 0; k < corners; ++k) stream << " " << set.deviceChannels[k];
    stream << ", azimuths";
    for (int k = 0; k < corners; ++k) stream << " " << mSpeakers[set.speakerIdx[k]].azimuth;
    if (mIs3D) {
      stream << ", elevations";
      for (int k = 0; k < corners; ++k) stream << " " << mSpeakers[set.speakerIdx[k]].elevation;
    }
    stream << "\n";
  }
  stream.flush();
}

}  // namespace vl
