// Dirty flags of the wave-function groups, the hand-over of their values, and the clamping
// that readers of "n" and "l" rely on.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "application/AtomParameters.hpp"

namespace {

// Hands out whatever is pending so that the next check starts clean.
void drain(AtomParameters& atom) {
  WaveFunctionSettings s;
  for (WaveFunctionParameters* g : atom.waveFunctions()) g->takeChanges(s);
}

}  // namespace

TEST(WaveFunctionGroups, StartDirtyAndHandOutTheirRawValuesOnce) {
  AtomParameters atom;
  for (WaveFunctionParameters* g : atom.waveFunctions()) EXPECT_TRUE(g->dirty());

  WaveFunctionSettings s;
  s.n = 42.0f;
  ASSERT_TRUE(atom.wfs1.takeChanges(s));
  EXPECT_EQ(s.n, 0.0f);  // the construction default, below the minimum
  EXPECT_TRUE(s.empty());
  EXPECT_FALSE(atom.wfs1.dirty());
  EXPECT_FALSE(atom.wfs1.takeChanges(s));
  EXPECT_TRUE(atom.wfs2.dirty());
}

TEST(WaveFunctionGroups, EachOfTheSixMarksOnlyItsOwnGroup) {
  AtomParameters atom;
  std::array<WaveFunctionParameters*, 3> groups = atom.waveFunctions();
  for (std::size_t g = 0; g < groups.size(); ++g) {
    std::vector<vl::ParameterMeta*> six = groups[g]->parameters();
    ASSERT_EQ(six.size(), 6u);
    for (std::size_t k = 0; k < six.size(); ++k) {
      drain(atom);
      six[k]->setFromFloat(0.5f + float(k));
      for (std::size_t other = 0; other < groups.size(); ++other) {
        EXPECT_EQ(groups[other]->dirty(), other == g)
            << groups[g]->name() << "/" << six[k]->getName() << " marked " << groups[other]->name();
      }
    }
  }
}

TEST(WaveFunctionGroups, SettingTheSameValueAgainStillMarksDirty) {
  AtomParameters atom;
  atom.wfs3.w.set(0.25f);
  drain(atom);
  atom.wfs3.w.set(0.25f);
  WaveFunctionSettings s;
  EXPECT_TRUE(atom.wfs3.takeChanges(s));
  EXPECT_EQ(s.w, 0.25f);
}

TEST(WaveFunctionGroups, AQuietSetIsPickedUpByValue) {
  AtomParameters atom;
  drain(atom);
  atom.wfs2.f.setQuiet(0.125f);  // runs no callbacks
  EXPECT_FALSE(atom.wfs2.dirty());
  WaveFunctionSettings s;
  ASSERT_TRUE(atom.wfs2.takeChanges(s));
  EXPECT_EQ(s.f, 0.125f);
  EXPECT_FALSE(atom.wfs2.takeChanges(s));
}

// A reader that takes the flag after the callback ran but before the value was stored reads
// the old value; the new one must still reach it.
TEST(WaveFunctionGroups, AValueStoredAfterTheFlagWasTakenIsNotLost) {
  AtomParameters atom;
  drain(atom);
  WaveFunctionSettings duringSet;
  bool tookDuringSet = false;
  atom.wfs1.l.registerChangeCallback([&](float) {
    tookDuringSet = atom.wfs1.takeChanges(duringSet);  // the flag is already raised
  });
  atom.wfs1.l.set(3.0f);
  ASSERT_TRUE(tookDuringSet);
  EXPECT_EQ(duringSet.l, 0.0f);  // not stored yet

  WaveFunctionSettings after;
  ASSERT_TRUE(atom.wfs1.takeChanges(after));
  EXPECT_EQ(after.l, 3.0f);
  EXPECT_FALSE(atom.wfs1.takeChanges(after));
}

TEST(WaveFunctionGroups, ANaNThatGotInIsHandedOutOnceNotEveryFrame) {
  AtomParameters atom;
  drain(atom);
  atom.wfs1.J.set(std::numeric_limits<float>::quiet_NaN());  // clamping lets NaN through
  WaveFunctionSettings s;
  ASSERT_TRUE(atom.wfs1.takeChanges(s));
  EXPECT_TRUE(std::isnan(s.J));
  EXPECT_FALSE(atom.wfs1.takeChanges(s));

  atom.wfs1.n.set(std::numeric_limits<float>::quiet_NaN());
  ASSERT_TRUE(atom.wfs1.takeChanges(s));
  EXPECT_TRUE(s.empty());  // no eigenstate for an undefined n
  atom.wfs1.n.set(2.0f);
  ASSERT_TRUE(atom.wfs1.takeChanges(s));
  EXPECT_FALSE(s.empty());
}

// Readers rely on these bounds: "n" never below 1 once set (0 only as the untouched default),
// "l" never negative, "J" and "j" within ±9.5.
TEST(WaveFunctionGroups, SetsClampToTheTableBounds) {
  AtomParameters atom;
  WaveFunctionParameters& g = atom.wfs1;
  EXPECT_EQ(g.n.get(), 0.0f);
  g.n.set(0.0f);
  EXPECT_EQ(g.n.get(), 1.0f);
  g.n.set(-5.0f);
  EXPECT_EQ(g.n.get(), 1.0f);
  g.n.set(250.0f);
  EXPECT_EQ(g.n.get(), 99.0f);
  g.n.reset();  // the default 0 clamps too
  EXPECT_EQ(g.n.get(), 1.0f);
  g.n.setQuiet(0.2f);
  EXPECT_EQ(g.n.get(), 1.0f);
  g.n.setFromFloat(3.7f);
  EXPECT_EQ(g.n.get(), 3.7f);  // truncation is the reader's

  g.l.set(-1.0f);
  EXPECT_EQ(g.l.get(), 0.0f);
  g.J.set(12.0f);
  EXPECT_EQ(g.J.get(), 9.5f);
  g.j.set(-12.0f);
  EXPECT_EQ(g.j.get(), -9.5f);

  std::vector<float> seen;
  g.n.registerChangeCallback([&](float v) { seen.push_back(v); });
  g.n.set(-2.0f);
  EXPECT_EQ(seen, std::vector<float>{1.0f});  // callbacks see the clamped value

  WaveFunctionSettings s;
  g.takeChanges(s);
  EXPECT_FALSE(s.empty());
}

// A network thread keeps changing "l" while the stepping thread takes changes each frame: once
// the writes stop, the value the stepping thread last took is the last one written.
TEST(WaveFunctionGroups, TheLastWriteFromAnotherThreadAlwaysArrives) {
  for (int round = 0; round < 20; ++round) {
    AtomParameters atom;
    std::atomic<bool> done{false};
    std::thread writer([&] {
      for (int v = 1; v <= 2000; ++v) atom.wfs2.l.set(static_cast<float>(v % 97) + 0.5f);
      done = true;
    });
    WaveFunctionSettings taken, s;
    while (!done) {
      if (atom.wfs2.takeChanges(s)) taken = s;
    }
    writer.join();
    if (atom.wfs2.takeChanges(s)) taken = s;
    ASSERT_EQ(taken.l, static_cast<float>(2000 % 97) + 0.5f) << "round " << round;
  }
}
