#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace snl {

template <class T>
struct Allocator {
  static T* allocate(uint32_t n) { return new T[n](); }
  static void deallocate(T* p, uint32_t n) {
    (void)n;
    delete[] p;
  }
};

// Reference counts of the buffers that arrays of element type T allocated themselves. A buffer
// handed in from outside is absent, which is how an array knows never to resize or free it.
template <class T>
class ArrayRefs {
 public:
  static void add(const T* p) {
    std::lock_guard lock(mutex());
    ++counts()[p];
  }
  // Returns the count left; the caller frees the buffer at zero.
  static int release(const T* p) {
    std::lock_guard lock(mutex());
    auto it = counts().find(p);
    if (it == counts().end()) return -1;
    int left = --it->second;
    if (left <= 0) counts().erase(it);
    return left;
  }
  static int count(const T* p) {
    std::lock_guard lock(mutex());
    auto it = counts().find(p);
    return it == counts().end() ? 0 : it->second;
  }

 private:
  // Never destroyed, so arrays with static storage can still release into it at exit.
  static std::mutex& mutex() {
    static std::mutex* m = new std::mutex;
    return *m;
  }
  static std::unordered_map<const T*, int>& counts() {
    static auto* c = new std::unordered_map<const T*, int>;
    return *c;
  }
};

// Size policy of a plain array: the exact element count.
class SizeArray {
 public:
  static uint32_t convert(uint32_t n) { return n; }
  uint32_t size() const { return mSize; }
  void set(uint32_t n) { mSize = n; }

 private:
  uint32_t mSize = 0;
};

// Size policy of a power-of-two array: log2 of the size (index bits) and 32 minus that
// (fraction bits), so that the top bits of a 32-bit phase index the array.
class SizeArrayPow2 {
 public:
  static uint32_t convert(uint32_t n) {
    n = std::clamp<uint32_t>(n, 2u, 1u << 31);
    return std::bit_ceil(n);
  }
  uint32_t size() const { return mBitsI ? (1u << mBitsI) : 0u; }
  void set(uint32_t n) {
    mBitsI = n ? uint32_t(std::countr_zero(n)) : 0u;
    mBitsF = 32u - mBitsI;
  }
  uint32_t indexBits() const { return mBitsI; }
  uint32_t fractionBits() const { return mBitsF; }

 private:
  uint32_t mBitsI = 0;
  uint32_t mBitsF = 32;
};

// A buffer of T with a size policy. Copies share the buffer and count references; the buffer is
// freed by its last owner.
template <class T, class S, class A = Allocator<T>>
class ArrayBase {
 public:
  using value_type = T;

  ArrayBase() = default;
  explicit ArrayBase(uint32_t n, const T& fill = T()) { resize(n, fill); }
  // Uses an outside buffer of n elements, which is never resized or freed here.
  ArrayBase(T* external, uint32_t n) { source(external, n); }
  ArrayBase(const ArrayBase& other) { share(other); }
  ArrayBase& operator=(const ArrayBase& other) {
    if (this != &other && mElems != other.mElems) {
      release();
      share(other);
      onResize();
    }
    return *this;
  }
  virtual ~ArrayBase() { release(); }

  // Runs after every change of buffer or size.
  virtual void onResize() {}

  uint32_t size() const { return mElems ? mPolicy.size() : 0u; }
  bool empty() const { return size() == 0; }
  T* elems() { return mElems; }
  const T* elems() const { return mElems; }
  T& operator[](uint32_t i) { return mElems[i]; }
  const T& operator[](uint32_t i) const { return mElems[i]; }
  T* begin() { return mElems; }
  T* end() { return mElems + size(); }
  const T* begin() const { return mElems; }
  const T* end() const { return mElems + size(); }

  // Number of arrays sharing this buffer; 0 for an outside buffer or none.
  int refCount() const { return mElems ? ArrayRefs<T>::count(mElems) : 0; }
  bool isSoleOwner() const { return refCount() == 1; }
  bool isExternal() const { return mElems && refCount() == 0; }

  void assign(const T& v) { std::fill(begin(), end(), v); }
  void zero() { assign(T()); }

  // Resizes to n elements (as the policy rounds it), keeping the common prefix and filling the
  // rest with fill. An outside buffer is left as it is.
  void resize(uint32_t n, const T& fill = T()) {
    if (isExternal()) return;
    const uint32_t m = S::convert(n);
    if (m != size()) {
      T* fresh = nullptr;
      if (m) {
        fresh = A::allocate(m);
        const uint32_t keep = std::min(m, size());
        std::copy(mElems, mElems + keep, fresh);
        std::fill(fresh + keep, fresh + m, fill);
        ArrayRefs<T>::add(fresh);
      }
      release();
      mElems = fresh;
      mPolicy.set(m);
    }
    onResize();
  }

  // Points at an outside buffer of n elements (a power-of-two array uses the largest power of
  // two that fits).
  void source(T* external, uint32_t n) {
    release();
    if (!external || n == 0) {
      mPolicy.set(0);
    } else {
      uint32_t m = S::convert(n);
      if (m > n) m = std::bit_floor(n);
      mElems = external;
      mPolicy.set(m);
    }
    onResize();
  }

 protected:
  S mPolicy;

 private:
  void share(const ArrayBase& other) {
    mElems = other.mElems;
    mPolicy = other.mPolicy;
    if (mElems && ArrayRefs<T>::count(mElems) > 0) ArrayRefs<T>::add(mElems);
  }
  void release() {
    if (mElems && ArrayRefs<T>::release(mElems) == 0) A::deallocate(mElems, mPolicy.size());
    mElems = nullptr;
    mPolicy.set(0);
  }

  T* mElems = nullptr;
};

template <class T, class A = Allocator<T>>
class Array : public ArrayBase<T, SizeArray, A> {
 public:
  using ArrayBase<T, SizeArray, A>::ArrayBase;
};

template <class T, class A = Allocator<T>>
class ArrayPow2 : public ArrayBase<T, SizeArrayPow2, A> {
  using Base = ArrayBase<T, SizeArrayPow2, A>;

 public:
  using Base::Base;

  uint32_t indexBits() const { return this->mPolicy.indexBits(); }
  uint32_t fractionBits() const { return this->mPolicy.fractionBits(); }
  // Phase step of one element.
  uint32_t oneIndex() const { return fractionBits() < 32 ? (1u << fractionBits()) : 0u; }
  // Element that a 32-bit phase points into.
  uint32_t index(uint32_t phase) const {
    return fractionBits() < 32 ? (phase >> fractionBits()) : 0u;
  }
  // Position of a phase between two elements, in [0, 1), from the bits below the index.
  float fraction(uint32_t phase) const {
    return std::bit_cast<float>(((phase << indexBits()) >> 9) | 0x3F800000u) - 1.0f;
  }
};

}  // namespace snl
