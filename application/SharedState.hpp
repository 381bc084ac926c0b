#pragma once

// The record that the primary broadcasts to replicas every frame. Nothing gives its fields a
// meaning yet; its size and layout are fixed so that every instance agrees on the size check
// that a receiver applies. It is sent and received as raw bytes, so it stays trivially
// copyable and free of pointers.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// One slot per broadcast voice.
struct SharedStateSlot {
  static constexpr std::size_t kPayloadSize = 61440;

  // Zeroed too (not left indeterminate): the whole record goes out on the network, and stale
  // heap bytes must not travel with it.
  SharedStateSlot() : payload{} {}

  unsigned char payload[kPayloadSize];
  std::uint64_t value0 = 0;
  std::uint64_t value1 = 0;
  std::uint64_t value2 = 0;
  std::uint16_t value3 = 0;
  // 6 bytes of padding up to the 8-byte alignment; zeroed with the rest by the constructor
  // of SharedState.
};

struct SharedState {
  static constexpr std::size_t kSlotCount = 8;

  // Clears every byte, padding included.
  SharedState() { std::memset(static_cast<void*>(slots), 0, sizeof slots); }

  SharedStateSlot slots[kSlotCount];
};

static_assert(std::is_trivially_copyable_v<SharedStateSlot>);
static_assert(std::is_standard_layout_v<SharedStateSlot>);
static_assert(sizeof(SharedStateSlot) == 61472);
static_assert(offsetof(SharedStateSlot, payload) == 0);
static_assert(offsetof(SharedStateSlot, value0) == 61440);
static_assert(offsetof(SharedStateSlot, value1) == 61448);
static_assert(offsetof(SharedStateSlot, value2) == 61456);
static_assert(offsetof(SharedStateSlot, value3) == 61464);
static_assert(std::is_trivially_copyable_v<SharedState>);
static_assert(std::is_standard_layout_v<SharedState>);
static_assert(sizeof(SharedState) == 491776);
static_assert(sizeof(SharedState) == SharedState::kSlotCount * sizeof(SharedStateSlot));
