#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

namespace snl {

// Sets the calling thread's floating-point unit to flush subnormal results to zero and to read
// subnormal operands as zero, and restores the previous mode when it goes out of scope. Meant
// for the top of an audio callback: decaying feedback paths otherwise fall into the subnormal
// range, where many CPUs take a slow path on every operation. Does nothing on architectures
// without such a mode.
class ScopedFlushDenormals {
 public:
  ScopedFlushDenormals();
  ~ScopedFlushDenormals();
  ScopedFlushDenormals(const ScopedFlushDenormals&) = delete;
  ScopedFlushDenormals& operator=(const ScopedFlushDenormals&) = delete;

  // Whether the calling thread currently flushes subnormals.
  static bool active();

 private:
  uint64_t mSaved = 0;
};

// Threshold under which feedback state is set to exactly zero. Far below audibility, far above
// the subnormal range, so that products of flushed state with the units' coefficients stay normal.
template <class T>
inline constexpr T kFlushThreshold = T(1e-20);

// Keeps recursive state out of the subnormal range whatever the thread's mode. For element types
// that are not floating point (vectors, spinors) it returns the value unchanged. Building with
// SNL_NO_FEEDBACK_GUARD turns the guard off; a benchmark uses that to show what it prevents.
template <class T>
inline T flushDenormal(T x) {
#ifdef SNL_NO_FEEDBACK_GUARD
  constexpr bool guarded = false;
#else
  constexpr bool guarded = true;
#endif
  if constexpr (guarded && std::is_floating_point_v<T>) {
    return std::fabs(x) < kFlushThreshold<T> ? T(0) : x;
  } else {
    return x;
  }
}

}  // namespace snl
