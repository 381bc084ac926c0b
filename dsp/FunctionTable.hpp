#pragma once

#include <cstdint>
#include <type_traits>

#include "dsp/Array.hpp"
#include "dsp/Interpolation.hpp"
#include "dsp/Wrap.hpp"

namespace snl {

// One cycle of a function in N entries, read at a phase in cycles: the phase wraps into [0, 1)
// and the value is interpolated linearly between neighbouring entries, the last entry leading
// back to the first.
template <class T, class Ipl = ipl::Linear, class Acc = acc::Wrap>
class FunctionTable : public Array<T> {
  static_assert(std::is_same_v<Ipl, ipl::Linear>, "tables read with linear interpolation");

 public:
  explicit FunctionTable(uint32_t n = 512, const T& fill = T()) : Array<T>(n, fill) {
    FunctionTable::onResize();
  }

  void onResize() override {
    mSize = double(this->size());
    mInvSize = this->size() ? 1.0 / mSize : 0.0;
  }

  T read(double phase) const {
    const uint32_t n = this->size();
    if (n == 0) return T();
    const double x = Acc::wrap(phase, 1.0, 0.0) * mSize;
    uint32_t i = x > 0.0 ? uint32_t(x) : 0u;
    // A phase just below 1 can round up to N after scaling.
    if (i >= n) i = n - 1;
    const double f = x - double(i);
    const uint32_t j = i + 1 == n ? 0u : i + 1;
    return T((*this)[i] * (1.0 - f) + (*this)[j] * f);
  }
  T operator()(double phase) const { return read(phase); }

  double sizeD() const { return mSize; }
  double invSize() const { return mInvSize; }

 private:
  double mSize = 0.0;
  double mInvSize = 0.0;
};

}  // namespace snl
