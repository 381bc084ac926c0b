#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace vl {

// A lock-free ring of voice ids between one writer and one reader: 256 bytes of 32-bit ids, one
// slot kept empty to tell full from empty, so it holds up to 63 ids. Neither side allocates or
// waits; a full ring refuses the write.
class VoiceIdRing {
 public:
  static constexpr uint32_t kSlots = 64;
  static constexpr uint32_t kCapacity = kSlots - 1;

  // Writer side. False (and nothing written) when the ring is full.
  bool push(int32_t id) {
    const uint32_t w = mWrite.load(std::memory_order_relaxed);
    const uint32_t next = (w + 1) & kMask;
    if (next == mRead.load(std::memory_order_acquire)) return false;
    mIds[w] = id;
    mWrite.store(next, std::memory_order_release);
    return true;
  }

  // Reader side: moves up to maxIds ids into out and returns how many.
  uint32_t pop(int32_t* out, uint32_t maxIds) {
    uint32_t r = mRead.load(std::memory_order_relaxed);
    const uint32_t w = mWrite.load(std::memory_order_acquire);
    uint32_t n = 0;
    while (r != w && n < maxIds) {
      out[n++] = mIds[r];
      r = (r + 1) & kMask;
    }
    mRead.store(r, std::memory_order_release);
    return n;
  }

  bool empty() const {
    return mRead.load(std::memory_order_acquire) == mWrite.load(std::memory_order_acquire);
  }

 private:
  static constexpr uint32_t kMask = kSlots - 1;

  std::array<int32_t, kSlots> mIds{};
  std::atomic<uint32_t> mWrite{0};
  std::atomic<uint32_t> mRead{0};
};

}  // namespace vl
