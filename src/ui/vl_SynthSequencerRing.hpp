#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace vl {

// A lock-free ring between one writer and one reader, of fixed capacity (one slot kept empty
// to tell full from empty). Neither side allocates or waits; a full ring refuses the write.
// The reader may look at the oldest entry before taking it.
template <class T, std::size_t Slots>
class SynthSequencerRing {
 public:
  static_assert((Slots & (Slots - 1)) == 0, "a power of two");

  bool push(const T& value) {
    const std::size_t w = mWrite.load(std::memory_order_relaxed);
    const std::size_t next = (w + 1) & (Slots - 1);
    if (next == mRead.load(std::memory_order_acquire)) return false;
    mItems[w] = value;
    mWrite.store(next, std::memory_order_release);
    return true;
  }
  bool full() const {
    return ((mWrite.load(std::memory_order_relaxed) + 1) & (Slots - 1)) ==
           mRead.load(std::memory_order_acquire);
  }

  // Reader side: the oldest entry, left in place; false when empty.
  bool peek(T& value) const {
    const std::size_t r = mRead.load(std::memory_order_relaxed);
    if (r == mWrite.load(std::memory_order_acquire)) return false;
    value = mItems[r];
    return true;
  }
  void pop() { mRead.store((mRead.load(std::memory_order_relaxed) + 1) & (Slots - 1)); }
  bool empty() const {
    return mRead.load(std::memory_order_acquire) == mWrite.load(std::memory_order_acquire);
  }
  // Only while neither side is in use.
  void clear() {
    mRead.store(0);
    mWrite.store(0);
  }

 private:
  std::array<T, Slots> mItems{};
  std::atomic<std::size_t> mWrite{0};
  std::atomic<std::size_t> mRead{0};
};

}  // namespace vl
