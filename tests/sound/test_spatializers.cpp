// Spatialisers checked against the geometry of their speakers: where a source direction must
// land, with what power, and that the render path allocates nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <numbers>
#include <set>
#include <sstream>
#include <string>

#include "allocation_counter.hpp"
#include "sound/vl_Lbap.hpp"
#include "sound/vl_SpeakerLayout.hpp"
#include "sound/vl_StereoPanner.hpp"
#include "sound/vl_Vbap.hpp"

using namespace vl;
constexpr double kPi = std::numbers::pi;

namespace {

// A source direction in the listener's frame (x right, y up, -z forward) from an azimuth
// (positive to the right) and an elevation, in degrees.
Pose direction(double azDeg, double elDeg, double dist = 2.0) {
  const double az = azDeg * kPi / 180.0, el = elDeg * kPi / 180.0;
  return Pose(Vec3d(dist * std::cos(el) * std::sin(az), dist * std::sin(el),
                    -dist * std::cos(el) * std::cos(az)));
}

// Renders a constant 1 through the spatialiser and returns each output's gain.
std::vector<float> gains(Spatializer& sp, const Pose& pose, int outputs, int frames = 16) {
  AudioIOData io;
  io.framesPerBuffer(frames);
  io.channels(outputs, true);
  io.zeroOut();
  std::vector<float> ones(frames, 1.0f);
  sp.prepare(io);
  sp.renderBuffer(io, pose, ones.data(), frames);
  std::vector<float> g(outputs);
  for (int c = 0; c < outputs; ++c) {
    g[c] = io.out(c, 0);
    for (int f = 1; f < frames; ++f) EXPECT_EQ(io.out(c, f), g[c]) << "channel " << c;
  }
  return g;
}

double power(const std::vector<float>& g) {
  double p = 0;
  for (float v : g) p += double(v) * v;
  return p;
}

// Channels of the two speakers (of a ring) whose azimuth arc holds `az`.
std::set<unsigned> enclosingPair(const Speakers& ring, double az) {
  std::vector<Speaker> s(ring);
  std::sort(s.begin(), s.end(), [](auto& a, auto& b) { return a.azimuth < b.azimuth; });
  for (std::size_t i = 0; i < s.size(); ++i) {
    const Speaker& a = s[i];
    const Speaker& b = s[(i + 1) % s.size()];
    const double span = std::fmod(double(b.azimuth) - a.azimuth + 720.0, 360.0);
    const double rel = std::fmod(az - a.azimuth + 720.0, 360.0);
    if (rel <= span + 1e-9) return {a.deviceChannel, b.deviceChannel};
  }
  return {};
}

Speakers ringOf(const Speakers& sl, int group) {
  Speakers r;
  for (auto& s : sl)
    if (s.group == group) r.push_back(s);
  return r;
}

std::set<unsigned> sounding(const std::vector<float>& g) {
  std::set<unsigned> on;
  for (std::size_t c = 0; c < g.size(); ++c)
    if (std::abs(g[c]) > 1e-6f) on.insert(unsigned(c));
  return on;
}

bool within(const std::set<unsigned>& part, const std::set<unsigned>& whole) {
  return std::includes(whole.begin(), whole.end(), part.begin(), part.end());
}

}  // namespace

TEST(StereoPanner, PansByHorizontalAngleWithEqualPower) {
  StereoPanner sp(StereoSpeakerLayout());
  const float h = std::sqrt(0.5f);
  auto right = gains(sp, Pose(Vec3d(1, 0, 0)), 2);
  EXPECT_NEAR(right[0], 0.0f, 1e-6f);
  EXPECT_NEAR(right[1], 1.0f, 1e-6f);
  auto left = gains(sp, Pose(Vec3d(-3, 0, 0)), 2);
  EXPECT_NEAR(left[0], 1.0f, 1e-6f);
  EXPECT_NEAR(left[1], 0.0f, 1e-6f);
  for (Vec3d p : {Vec3d(0, 0, -1), Vec3d(0, 0, 2), Vec3d(0, 4, 0), Vec3d(0, 0, 0)}) {
    auto g = gains(sp, Pose(p), 2);
    EXPECT_NEAR(g[0], h, 1e-6f);
    EXPECT_NEAR(g[1], h, 1e-6f);
  }
  for (double az = -180; az <= 180; az += 7.5) {
    auto g = gains(sp, direction(az, 10), 2);
    EXPECT_NEAR(power(g), 1.0, 1e-6) << az;
    EXPECT_GE(g[0], 0.0f);
    EXPECT_GE(g[1], 0.0f);
    EXPECT_EQ(g[1] >= g[0], std::sin(az * kPi / 180) >= -1e-12) << az;  // right side louder right
  }
  // The pose's orientation turns the position: a quarter turn about up moves ahead to the left.
  Pose turned(Vec3d(0, 0, -1), Quatd::fromAxisAngle(kPi / 2, Vec3d(0, 1, 0)));
  auto t = gains(sp, turned, 2);
  EXPECT_NEAR(t[0], 1.0f, 1e-6f);
  EXPECT_NEAR(t[1], 0.0f, 1e-6f);
}

TEST(StereoPanner, AddsIntoTheBlockAndCopesWithOddLayoutsAndBuffers) {
  StereoPanner sp(StereoSpeakerLayout(4));  // device channels are ignored: outputs 0 and 1
  AudioIOData io;
  io.framesPerBuffer(8);
  io.channels(2, true);
  io.zeroOut();
  float s[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  sp.renderBuffer(io, Pose(Vec3d(1, 0, 0)), s, 8);
  sp.renderBuffer(io, Pose(Vec3d(1, 0, 0)), s, 8);
  sp.renderSample(io, Pose(Vec3d(-1, 0, 0)), s[2], 2);
  for (int f = 0; f < 8; ++f) EXPECT_NEAR(io.out(1, f), 2 * s[f], 1e-5f);
  EXPECT_NEAR(io.out(0, 2), 3.0f, 1e-6f);
  EXPECT_NEAR(io.out(0, 3), 0.0f, 1e-6f);

  // More frames than the block holds are cut at the block's end; a mono block gets output 0.
  AudioIOData mono;
  mono.framesPerBuffer(4);
  mono.channels(1, true);
  mono.zeroOut();
  sp.renderBuffer(mono, Pose(Vec3d(-1, 0, 0)), s, 8);
  EXPECT_EQ(mono.out(0, 3), 4.0f);

  testing::internal::CaptureStdout();
  StereoPanner single({Speaker(0)});
  StereoPanner none({});
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Stereo Panner Requires exactly 2 speakers (1 used). First two will be used!\n"
            "Stereo Panner Requires exactly 2 speakers (0 used). First two will be used!\n");
  io.zeroOut();
  io.out(0, 0) = 9.0f;
  single.renderBuffer(io, Pose(Vec3d(1, 0, 0)), s, 8);  // copied, not added, to output 0
  none.renderBuffer(io, Pose(Vec3d(1, 0, 0)), s, 8);
  for (int f = 0; f < 8; ++f) {
    EXPECT_EQ(io.out(0, f), s[f]);
    EXPECT_EQ(io.out(1, f), 0.0f);
  }
}

TEST(Vbap, PairsNeighboursAndClosesTheRing) {
  Vbap vbap(EightSpeakerRingLayout());
  testing::internal::CaptureStdout();
  ASSERT_TRUE(vbap.compile());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Finding pairs\n");
  const auto& sets = vbap.speakerSets();
  ASSERT_EQ(sets.size(), 8u);
  // Azimuth order -90, -20, -10, 0, 10, 20, 30, 90 lives on channels 3, 2, 1, 0, 7, 6, 5, 4.
  const unsigned order[8] = {3, 2, 1, 0, 7, 6, 5, 4};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(sets[i].deviceChannels[0], order[i]);
    EXPECT_EQ(sets[i].deviceChannels[1], order[(i + 1) % 8]);
    EXPECT_EQ(sets[i].speakerIdx[2], -1);
  }
  // 90 and -90 lie on one line through the listener: that pair keeps its vectors.
  const SpeakerSet& closing = sets[7];
  for (int k = 0; k < 2; ++k)
    for (int i = 0; i < 2; ++i) EXPECT_EQ(closing.inverse[k][i], closing.vectors[k][i]);

  Vbap empty({});
  testing::internal::CaptureStdout();
  EXPECT_FALSE(empty.compile());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Finding pairs\nNo SpeakerSets found. Check mode setting or speaker layout.\n");
}

TEST(Vbap, EightRingPutsEveryDirectionOnTheEnclosingPairWithUnitPower) {
  const Speakers ring = EightSpeakerRingLayout();
  Vbap vbap(ring);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(vbap.compile());
  testing::internal::GetCapturedStdout();

  // A source exactly at a speaker: that speaker alone.
  for (const Speaker& s : ring) {
    auto g = gains(vbap, direction(s.azimuth, 0), 8);
    for (unsigned c = 0; c < 8; ++c)
      EXPECT_NEAR(g[c], c == s.deviceChannel ? 1.0f : 0.0f, 1e-5f) << s.azimuth << " ch " << c;
  }
  for (double az = -179.5; az < 180; az += 2.5) {
    for (double el : {-60.0, 0.0, 35.0}) {
      auto g = gains(vbap, direction(az, el), 8);
      EXPECT_NEAR(power(g), 1.0, 1e-5) << az << "/" << el;
      for (float v : g) EXPECT_GE(v, 0.0f) << az;
      EXPECT_TRUE(within(sounding(g), enclosingPair(ring, az))) << az << "/" << el;
    }
  }
  // Straight overhead there is no horizontal direction: the first pair's first speaker (-90).
  auto up = gains(vbap, Pose(Vec3d(0, 3, 0)), 8);
  EXPECT_NEAR(up[3], 1.0f, 1e-6f);
  EXPECT_NEAR(power(up), 1.0, 1e-6);
  // Directly behind lies halfway round the arc from 90 to -90, whose speakers face each other.
  auto back = gains(vbap, Pose(Vec3d(0, 0, 2)), 8);
  EXPECT_NEAR(back[4], std::sqrt(0.5f), 1e-6f);
  EXPECT_NEAR(back[3], std::sqrt(0.5f), 1e-6f);
}

namespace {

// A dome: eight speakers on the horizon, four at 45 degrees (farther out) and one overhead.
Speakers hemisphereLayout() {
  Speakers sl;
  for (int k = 0; k < 8; ++k) sl.emplace_back(k, -135.0f + 45.0f * k, 0.0f, 0, 2.0f);
  for (int k = 0; k < 4; ++k) sl.emplace_back(8 + k, -135.0f + 90.0f * k, 45.0f, 0, 3.0f);
  sl.emplace_back(12, 0.0f, 90.0f, 0, 2.5f);
  return sl;
}

// The gain-weighted sum of the sounding speakers' direction vectors, as a unit vector in the
// listener's frame (x right, y up, -z forward).
Vec3d pannedDirection(const Speakers& sl, const std::vector<float>& g) {
  Vec3d sum;
  for (const Speaker& s : sl) sum += s.vec() * double(g[s.deviceChannel]);
  return Vec3d(sum[1], sum[2], -sum[0]).normalized();
}

std::unique_ptr<Vbap> compiledTriplets(const Speakers& sl, std::string* log = nullptr) {
  auto vbap = std::make_unique<Vbap>(sl, true);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(vbap->compile());
  const std::string out = testing::internal::GetCapturedStdout();
  if (log) *log = out;
  return vbap;
}

}  // namespace

// Triangles that tile what the speakers surround: every direction there sounds on at most three
// speakers, with non-negative gains of unit power whose weighted directions point at the source.
TEST(Vbap, TripletsPanEveryDirectionWithinTheirTriangle) {
  const Speakers dome = hemisphereLayout(), sphere = ThreeRingSpeakerLayout();
  std::string log;
  auto domeVbap = compiledTriplets(dome, &log);
  EXPECT_EQ(log.rfind("Finding triplets\nSpeaker-count=13, Initial triplet-count=286\n", 0), 0u)
      << log;
  for (const char* line :
       {"Tris removed because equal elev ", "Tris removed because equal elev with spk btw ",
        "Triangles removed because too narrow ", "Triangles removed because of crossing ",
        "Tris removed because spk inside triangle "})
    EXPECT_NE(log.find(line), std::string::npos) << line;
  for (const SpeakerSet& set : domeVbap->speakerSets()) EXPECT_GE(set.speakerIdx[2], 0);
  auto sphereVbap = compiledTriplets(sphere);

  struct Case {
    Vbap* vbap;
    const Speakers* layout;
    double lowest;
  } cases[] = {{domeVbap.get(), &dome, 0.0}, {sphereVbap.get(), &sphere, -90.0}};
  for (const Case& c : cases) {
    const int outputs = c.layout == &dome ? 13 : 60;
    for (const Speaker& s : *c.layout) {
      auto g = gains(*c.vbap, direction(s.azimuth, s.elevation), outputs);
      EXPECT_NEAR(g[s.deviceChannel], 1.0f, 1e-5f) << s.azimuth << "/" << s.elevation;
    }
    for (double az = -180; az < 180; az += 7.3) {
      for (double el = c.lowest; el <= 90.0; el += 4.7) {
        const Pose source = direction(az, el);
        auto g = gains(*c.vbap, source, outputs);
        EXPECT_LE(sounding(g).size(), 3u) << az << "/" << el;
        for (float v : g) ASSERT_GE(v, 0.0f) << az << "/" << el;
        EXPECT_NEAR(power(g), 1.0, 1e-5) << az << "/" << el;
        const double miss = (pannedDirection(*c.layout, g) - source.pos().normalized()).mag();
        EXPECT_LT(miss, 1e-5) << az << "/" << el << " with " << outputs << " outputs";
      }
    }
  }

  // Below the dome no triangle holds the source: it sounds at the nearest point of the dome,
  // the horizon straight above it, between the horizon speakers at 0 and 45 degrees.
  auto below = gains(*domeVbap, direction(20, -40), 13);
  EXPECT_EQ(sounding(below), (std::set<unsigned>{3, 4}));
  EXPECT_NEAR(power(below), 1.0, 1e-5);
  EXPECT_LT((pannedDirection(dome, below) - direction(20, 0).pos().normalized()).mag(), 1e-5);
  auto down = gains(*domeVbap, Pose(Vec3d(0, -2, 0)), 13);
  EXPECT_NEAR(power(down), 1.0, 1e-5);
  EXPECT_LE(sounding(down).size(), 2u);

  // renderSample lands where renderBuffer does.
  AudioIOData io;
  io.framesPerBuffer(4);
  io.channels(13, true);
  io.zeroOut();
  domeVbap->renderSample(io, direction(-60, 30), 1.0f, 1);
  auto g = gains(*domeVbap, direction(-60, 30), 13);
  for (int ch = 0; ch < 13; ++ch) EXPECT_NEAR(io.out(ch, 1), g[ch], 1e-6f);

  // Fewer than three speakers make no triangle.
  Vbap pair(StereoSpeakerLayout(), true);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(pair.compile());
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "No SpeakerSets found. Check mode setting or speaker layout.\n"),
            std::string::npos);
}

TEST(Lbap, ThreeRingsShareASourceByElevation) {
  const Speakers sl = ThreeRingSpeakerLayout();
  ASSERT_EQ(sl.size(), 54u);
  Lbap lbap(sl);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(lbap.compile());
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(lbap.rings().size(), 3u);
  EXPECT_FLOAT_EQ(lbap.rings()[0].elevation, 41.0f);
  EXPECT_FLOAT_EQ(lbap.rings()[1].elevation, 0.0f);
  EXPECT_FLOAT_EQ(lbap.rings()[2].elevation, -32.5f);

  const Speakers top = ringOf(sl, 1), mid = ringOf(sl, 0), low = ringOf(sl, 2);
  auto ringPower = [](const std::vector<float>& g, const Speakers& ring) {
    double p = 0;
    for (auto& s : ring) p += double(g[s.deviceChannel]) * g[s.deviceChannel];
    return p;
  };
  // At 20 degrees: sin and cos of 20/41 of a quarter turn between the top and middle rings.
  const double x = 20.0 / 41.0 * kPi / 2;
  auto g20 = gains(lbap, direction(33, 20), 60);
  EXPECT_NEAR(ringPower(g20, top), std::sin(x) * std::sin(x), 1e-5);
  EXPECT_NEAR(ringPower(g20, mid), std::cos(x) * std::cos(x), 1e-5);

  for (double az = -180; az < 180; az += 5.5) {
    for (double el = -85; el <= 85; el += 8.5) {
      auto g = gains(lbap, direction(az, el), 60);
      ASSERT_NEAR(power(g), 1.0, 1e-5) << az << "/" << el;
      for (float v : g) ASSERT_GE(v, 0.0f);
      std::set<unsigned> allowed;
      const Speakers* rings[3] = {&top, &mid, &low};
      const double elev[3] = {41.0, 0.0, -32.5};
      for (int r = 0; r < 3; ++r) {
        const bool above = r == 0 || el < elev[r - 1];
        const bool below = r == 2 || el > elev[r + 1];
        if (above && below) {
          for (unsigned c : enclosingPair(*rings[r], az)) allowed.insert(c);
        }
      }
      EXPECT_TRUE(within(sounding(g), allowed)) << az << "/" << el;
      if (el >= 41.0) {
        EXPECT_NEAR(ringPower(g, top), 1.0, 1e-5);
      }
      if (el <= -32.5) {
        EXPECT_NEAR(ringPower(g, low), 1.0, 1e-5);
      }
    }
  }
  // renderSample lands where renderBuffer does.
  AudioIOData io;
  io.framesPerBuffer(4);
  io.channels(60, true);
  io.zeroOut();
  lbap.prepare(io);
  lbap.renderSample(io, direction(-120, -10), 1.0f, 2);
  auto g = gains(lbap, direction(-120, -10), 60);
  for (int c = 0; c < 60; ++c) EXPECT_NEAR(io.out(c, 2), g[c], 1e-6f);
}

TEST(Lbap, EightRingAndOutputsBeyondTheDevice) {
  Lbap lbap(EightSpeakerRingLayout());
  testing::internal::CaptureStdout();
  ASSERT_TRUE(lbap.compile());
  testing::internal::GetCapturedStdout();
  // One ring takes every elevation.
  for (double el : {-70.0, 0.0, 70.0}) {
    auto g = gains(lbap, direction(15, el), 8);
    EXPECT_NEAR(g[7] * g[7] + g[6] * g[6], 1.0, 1e-5) << el;  // between 10 and 20 degrees
  }
  // The 54-speaker array on a 16-output device: speakers past the last output stay silent.
  Lbap big(ThreeRingSpeakerLayout());
  testing::internal::CaptureStdout();
  big.compile();
  testing::internal::GetCapturedStdout();
  auto g = gains(big, direction(0, 0), 16);
  EXPECT_EQ(power(g), 0.0);
  g = gains(big, direction(0, 60), 16);
  EXPECT_NEAR(power(g), 1.0, 1e-5);
}

TEST(SpeakerLayout, OutputCountChoosesTheSpatializerAndPrintsIt) {
  testing::internal::CaptureStdout();
  auto two = spatializerForOutputs(2);
  auto six = spatializerForOutputs(6);
  auto eight = spatializerForOutputs(8);
  auto twelve = spatializerForOutputs(12);
  auto many = spatializerForOutputs(13);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(dynamic_cast<StereoPanner*>(two.get()), nullptr);
  EXPECT_NE(dynamic_cast<StereoPanner*>(six.get()), nullptr);
  EXPECT_EQ(two->speakerLayout().size(), 2u);
  EXPECT_FLOAT_EQ(two->speakerLayout()[0].azimuth, 30.0f);
  EXPECT_FLOAT_EQ(two->speakerLayout()[1].azimuth, -30.0f);
  EXPECT_NE(dynamic_cast<Lbap*>(eight.get()), nullptr);
  EXPECT_EQ(eight->speakerLayout().size(), 8u);
  EXPECT_EQ(twelve->speakerLayout().size(), 8u);
  ASSERT_NE(dynamic_cast<Lbap*>(many.get()), nullptr);
  EXPECT_EQ(many->speakerLayout().size(), 54u);

  std::ostringstream text;
  many->print(text);
  const std::string s = text.str();
  const auto r41 = s.find(" ---- Ring at elevation:41\nNumber of Groups: 12\nGroup #0");
  const auto r0 = s.find(" ---- Ring at elevation:0\nNumber of Groups: 30\nGroup #0");
  const auto rLow = s.find(" ---- Ring at elevation:-32.5\nNumber of Groups: 12\nGroup #0");
  EXPECT_NE(r41, std::string::npos) << s;
  EXPECT_NE(r0, std::string::npos);
  EXPECT_NE(rLow, std::string::npos);
  EXPECT_LT(r41, r0);
  EXPECT_LT(r0, rLow);
  EXPECT_NE(s.find("Group #29"), std::string::npos);
}

// The audio thread's path: prepare each block, then one render per source, with sources
// moving so that every branch (pairs, fallback arcs, ring cross-fades, triangles and the
// nearest triangle below a dome) is taken.
TEST(Spatializers, RenderPathDoesNotAllocate) {
  testing::internal::CaptureStdout();
  std::shared_ptr<Spatializer> kinds[4] = {spatializerForOutputs(2), spatializerForOutputs(8),
                                           spatializerForOutputs(64),
                                           std::make_shared<Vbap>(hemisphereLayout(), true)};
  kinds[3]->compile();
  testing::internal::GetCapturedStdout();
  AudioIOData io;
  io.framesPerBuffer(512);
  io.channels(60, true);
  std::vector<float> voice(512, 0.25f);
  for (auto& sp : kinds) sp->prepare(io);  // the first block may size scratch space

  alloctest::gAllocations = 0;
  alloctest::gCounting = true;
  for (int block = 0; block < 1000; ++block) {
    io.zeroOut();
    for (auto& sp : kinds) {
      sp->prepare(io);
      for (int v = 0; v < 32; ++v) {
        const Pose p =
            direction(block * 3.7 + v * 11.0, std::fmod(block * 1.3 + v * 7.0, 180.0) - 90.0);
        sp->renderBuffer(io, p, voice.data(), 512);
        sp->renderSample(io, p, voice[0], v);
      }
      sp->finalize(io);
    }
  }
  alloctest::gCounting = false;
  EXPECT_EQ(alloctest::gAllocations.load(), 0);
  EXPECT_TRUE(std::isfinite(io.out(0, 0)));
}
