#pragma once

// Counts the heap allocations of the test binary that includes this header (in one source file
// only: it replaces the global operator new). Counting is on while gCounting is set, on every
// thread that has not set tExempt (threads standing in for the GUI or the network).

#include <atomic>
#include <cstdlib>
#include <new>

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace alloctest {
inline std::atomic<bool> gCounting{false};
inline std::atomic<long> gAllocations{0};
inline thread_local bool tExempt = false;
// With gOnlyMarked set, only threads that set tMarked count (the audio thread, when the code
// under test runs threads of its own that may allocate).
inline std::atomic<bool> gOnlyMarked{false};
inline thread_local bool tMarked = false;

inline bool counted() {
  return gCounting.load(std::memory_order_relaxed) && !tExempt &&
         (tMarked || !gOnlyMarked.load(std::memory_order_relaxed));
}
}  // namespace alloctest

// Kept out of line so that the compiler does not pair the malloc and free across them.
__attribute__((noinline)) void* operator new(std::size_t n) {
  if (alloctest::counted()) alloctest::gAllocations.fetch_add(1);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
__attribute__((noinline)) void* operator new[](std::size_t n) {
  return ::operator new(n);
}
__attribute__((noinline)) void operator delete(void* p) noexcept {
  std::free(p);
}
__attribute__((noinline)) void operator delete[](void* p) noexcept {
  std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
__attribute__((noinline)) void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
