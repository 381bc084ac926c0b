// Layout and construction of the record broadcast to replicas: every instance must agree on
// its size, and no stale memory may go out with it.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "application/SharedState.hpp"

TEST(SharedState, SizeAndFieldOffsets) {
  EXPECT_EQ(sizeof(SharedState), 491776u);
  EXPECT_EQ(sizeof(SharedStateSlot), 61472u);
  EXPECT_EQ(SharedState::kSlotCount, 8u);
  EXPECT_EQ(offsetof(SharedStateSlot, value0), 61440u);
  EXPECT_EQ(offsetof(SharedStateSlot, value1), 61448u);
  EXPECT_EQ(offsetof(SharedStateSlot, value2), 61456u);
  EXPECT_EQ(offsetof(SharedStateSlot, value3), 61464u);
  EXPECT_EQ(sizeof(SharedStateSlot::value3), 2u);

  SharedState s;
  const auto* base = reinterpret_cast<const unsigned char*>(&s);
  for (std::size_t i = 0; i < SharedState::kSlotCount; ++i) {
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&s.slots[i]) - base,
              static_cast<std::ptrdiff_t>(i * 61472));
  }
}

// Built over memory full of old bytes, as a heap block may be: every byte, padding included,
// reads zero afterwards.
TEST(SharedState, ConstructionClearsEveryByte) {
  auto raw = std::make_unique<unsigned char[]>(sizeof(SharedState) + alignof(SharedState));
  void* place = raw.get();
  std::size_t space = sizeof(SharedState) + alignof(SharedState);
  ASSERT_NE(std::align(alignof(SharedState), sizeof(SharedState), place, space), nullptr);
  std::memset(place, 0xAB, sizeof(SharedState));

  auto* state = new (place) SharedState;
  const auto* bytes = static_cast<const unsigned char*>(place);
  std::size_t nonZero = 0;
  for (std::size_t i = 0; i < sizeof(SharedState); ++i) nonZero += bytes[i] != 0;
  EXPECT_EQ(nonZero, 0u);
  state->~SharedState();
}
