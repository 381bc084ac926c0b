#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "dsp/Array.hpp"
#include "dsp/Domain.hpp"
#include "dsp/Interpolation.hpp"
#include "dsp/Phase.hpp"

namespace snl {

// Delay line over a power-of-two buffer with 32-bit fixed-point write and read phases, so that
// wrapping is free and the delay may be fractional. The buffer is allocated once the domain's
// rate is known; an outside buffer is used as given.
template <class T = float, class Ipl = ipl::Cubic>
class Delay : public ArrayPow2<T>, public DomainObserver {
  using Buffer = ArrayPow2<T>;

 public:
  explicit Delay(float maxDelay = 1.0f, float delaySeconds = 0.5f)
      : mMaxDelay(maxDelay), mDelay(delaySeconds) {
    onDomainChange(1.0);
  }
  // Delays through an outside buffer of n elements.
  Delay(T* buffer, uint32_t n, float delaySeconds) : mDelay(delaySeconds) {
    Buffer::source(buffer, n);
    onDomainChange(1.0);
  }
  // Copies get a buffer of their own (an outside buffer stays shared), so two lines never write
  // into one another.
  Delay(const Delay& other) : Buffer(), DomainObserver(other) { copyFrom(other); }
  Delay& operator=(const Delay& other) {
    if (this != &other) {
      DomainObserver::operator=(other);
      copyFrom(other);
    }
    return *this;
  }

  // Changes the longest delay the line can hold, reallocating once the rate is known.
  void maxDelay(float seconds) {
    mMaxDelay = seconds;
    onDomainChange(1.0);
  }
  float maxDelay() const { return mMaxDelay; }

  // Sets the delay in seconds; it is kept within what the buffer holds.
  void delay(float seconds) {
    mDelay = seconds;
    updateDelayPhase();
  }
  float delay() const { return mDelay; }
  uint32_t delayPhase() const { return mDelayPhase; }
  uint32_t writePhase() const { return mWritePhase; }

  // Interpolated value at the delay behind the write position.
  T read() const {
    if (this->empty()) return T();
    return Ipl::read(static_cast<const Buffer&>(*this), mWritePhase - mDelayPhase);
  }
  // Stores v at the write position and steps the write position one sample on.
  void write(const T& v) {
    if (this->empty()) return;
    (*this)[this->index(mWritePhase)] = v;
    mWritePhase += mPhaseStep;
  }
  // Reads the delayed value, then writes x.
  T operator()(const T& x) {
    const T d = read();
    write(x);
    return d;
  }

  void onResize() override {
    mPhaseStep = this->oneIndex();
    if (this->isSoleOwner()) this->zero();
    updateBufferRate();
    updateDelayPhase();
  }

  void onDomainChange(double) override {
    if (this->isExternal()) {
      mMaxDelay = float(this->size() / sampleRate());
    } else if (domainHasBeenSet()) {
      const double n = std::trunc(double(mMaxDelay) * sampleRate());
      this->resize(uint32_t(std::clamp(n, 0.0, 2147483648.0)));
      this->zero();
    }
    updateBufferRate();
    updateDelayPhase();
  }

 protected:
  void copyFrom(const Delay& o) {
    mMaxDelay = o.mMaxDelay;
    mDelay = o.mDelay;
    mWritePhase = o.mWritePhase;
    if (o.empty() || o.isExternal()) {
      Buffer::source(const_cast<T*>(o.elems()), o.size());
    } else {
      Buffer::resize(o.size());
      std::copy(o.begin(), o.end(), this->begin());
    }
    updateBufferRate();
    updateDelayPhase();
  }

  // Buffer rate and the longest usable delay change only with the buffer or the rate.
  void updateBufferRate() {
    const uint32_t n = this->size();
    mBufferRate = n ? sampleRate() / n : 0.0;
    // Cubic reads need one sample behind the read position, so the longest usable delay is two
    // samples short of the buffer.
    mLongest = n > 2 ? double(n - 2) / sampleRate() : 0.0;
  }

  void updateDelayPhase() {
    const double d = std::clamp(double(mDelay), 0.0, mLongest);
    mDelayPhase = toFixedPhase(d * mBufferRate * 4294967296.0);
  }

  float mMaxDelay = 1.0f;
  double mBufferRate = 0.0;
  double mLongest = 0.0;
  float mDelay = 0.5f;
  uint32_t mWritePhase = 0;
  uint32_t mPhaseStep = 0;
  uint32_t mDelayPhase = 0;
};

}  // namespace snl
