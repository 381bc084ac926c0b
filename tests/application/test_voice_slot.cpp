// A drawn voice carried in a slot of the state record: the replica's mesh is the primary's, and
// a slot that the network mangled is refused without touching what the replica shows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "HydrogenVisual.hpp"
#include "SharedState.hpp"
#include "VoiceSlot.hpp"

namespace {

std::vector<Particle> swirl(double phase) {
  std::vector<Particle> ps(HydrogenVisual::kParticles);
  for (size_t k = 0; k < ps.size(); ++k) {
    const double a = 2.0 * M_PI * double(k) / double(ps.size()) + phase;
    ps[k].position = vl::Vec3d(std::cos(a), std::sin(3.0 * a), 0.3 * std::sin(a + phase));
    ps[k].spin = vl::Vec3d(std::sin(a), 0.2, std::cos(2.0 * a)) * 0.004;
    ps[k].colour = vl::Color(float(k % 5) / 5.f, 0.3f, float(k % 11) / 11.f, 0.7f);
  }
  return ps;
}

void expectSameMesh(const HydrogenVisual& a, const HydrogenVisual& b) {
  ASSERT_EQ(a.primitive(), b.primitive());
  const auto& va = a.mesh().vertices();
  const auto& vb = b.mesh().vertices();
  const auto& ca = a.mesh().colors();
  const auto& cb = b.mesh().colors();
  ASSERT_EQ(va.size(), vb.size());
  for (size_t i = 0; i < va.size(); ++i) {
    for (int c = 0; c < 3; ++c) ASSERT_NEAR(va[i][c], vb[i][c], 2e-6) << i;
    for (int c = 0; c < 4; ++c) ASSERT_EQ(ca[i][c], cb[i][c]) << i;
  }
}

}  // namespace

// The primary's visual, faded, in each style; the replica's own particles lie elsewhere. After
// the slot the replica's mesh is the primary's, until its own next step.
TEST(VoiceSlot, TheReplicaDrawsThePrimarysMeshInEveryStyle) {
  const std::vector<Particle> primaryParticles = swirl(0.0), replicaParticles = swirl(1.0);
  for (int style : {0, 1, 2}) {
    SCOPED_TRACE(style);
    HydrogenVisual primary(primaryParticles), replica(replicaParticles);
    primary.init(), replica.init();
    primary.parameters().drawType.set(style);
    primary.parameters().howTranslucent.set(0.4f);
    primary.level = 0.5f;
    primary.step();
    replica.step();

    auto record = std::make_unique<SharedState>();
    VoiceSlot::write(record->slots[3], 17, 1234, primary);
    SharedState received;  // what the network delivers is a byte copy
    std::memcpy(static_cast<void*>(&received), record.get(), sizeof(SharedState));
    ASSERT_TRUE(VoiceSlot::occupied(received.slots[3]));
    EXPECT_FALSE(VoiceSlot::occupied(received.slots[2]));
    EXPECT_EQ(VoiceSlot::voiceId(received.slots[3]), 17u);
    EXPECT_EQ(VoiceSlot::frame(received.slots[3]), 1234u);
    ASSERT_TRUE(VoiceSlot::show(received.slots[3], replica));
    expectSameMesh(primary, replica);

    replica.step();  // back to its own particles
    EXPECT_GT(std::fabs(replica.mesh().vertices()[0][0] - primary.mesh().vertices()[0][0]) +
                  std::fabs(replica.mesh().vertices()[0][1] - primary.mesh().vertices()[0][1]),
              1e-3);
  }
}

TEST(VoiceSlot, AMangledSlotIsRefusedAndTheVisualKeepsItsMesh) {
  const std::vector<Particle> ps = swirl(0.0), other = swirl(2.0);
  HydrogenVisual primary(ps), replica(other), untouched(other);
  primary.init(), replica.init(), untouched.init();
  primary.step(), replica.step(), untouched.step();
  SharedStateSlot good;
  VoiceSlot::write(good, 5, 1, primary);

  auto mangled = [&](auto change) {
    auto slot = std::make_unique<SharedStateSlot>(good);
    change(*slot);
    return slot;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::unique_ptr<SharedStateSlot> bad[] = {
      mangled([](SharedStateSlot& s) { VoiceSlot::clear(s); }),
      mangled([](SharedStateSlot& s) { s.value3 = 511; }),
      mangled([](SharedStateSlot& s) { s.value2 = 3; }),
      mangled([](SharedStateSlot& s) { s.value2 = ~uint64_t(0); }),
      mangled([&](SharedStateSlot& s) { std::memcpy(s.payload + 4 * 100, &nan, 4); }),
      mangled([&](SharedStateSlot& s) {  // the last colour's alpha
        std::memcpy(s.payload + 4 * (3 * 1024 + 4 * 1024 - 1), &inf, 4);
      }),
  };
  for (const auto& slot : bad) {
    EXPECT_FALSE(VoiceSlot::show(*slot, replica));
    expectSameMesh(replica, untouched);
  }
  EXPECT_TRUE(VoiceSlot::show(good, replica));
}
