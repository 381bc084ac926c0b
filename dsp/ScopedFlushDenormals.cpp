#include "dsp/ScopedFlushDenormals.hpp"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace snl {

namespace {
#if defined(__SSE__) || defined(__x86_64__)
// MXCSR: flush-to-zero (bit 15) and denormals-are-zero (bit 6).
constexpr uint64_t kFlushBits = 0x8040;
uint64_t readMode() {
  return _mm_getcsr();
}
void writeMode(uint64_t m) {
  _mm_setcsr(static_cast<unsigned>(m));
}
#elif defined(__aarch64__)
// FPCR: flush-to-zero (bit 24).
constexpr uint64_t kFlushBits = uint64_t(1) << 24;
uint64_t readMode() {
  uint64_t m;
  asm volatile("mrs %0, fpcr" : "=r"(m));
  return m;
}
void writeMode(uint64_t m) {
  asm volatile("msr fpcr, %0" : : "r"(m));
}
#else
constexpr uint64_t kFlushBits = 0;
uint64_t readMode() {
  return 0;
}
void writeMode(uint64_t) {}
#endif
}  // namespace

ScopedFlushDenormals::ScopedFlushDenormals() : mSaved(readMode()) {
  writeMode(mSaved | kFlushBits);
}

ScopedFlushDenormals::~ScopedFlushDenormals() {
  writeMode(mSaved);
}

bool ScopedFlushDenormals::active() {
  return kFlushBits != 0 && (readMode() & kFlushBits) == kFlushBits;
}

}  // namespace snl
