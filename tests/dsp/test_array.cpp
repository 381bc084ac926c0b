#include <gtest/gtest.h>

#include "dsp/Array.hpp"
#include "dsp/Spinor.hpp"

using namespace snl;

TEST(ArrayPow2, SizesRoundUpToPowersOfTwoWithAMinimumOfTwo) {
  ArrayPow2<float> a;
  EXPECT_EQ(a.size(), 0u);
  EXPECT_EQ(a.indexBits(), 0u);
  EXPECT_EQ(a.fractionBits(), 32u);
  const uint32_t asked[] = {0, 1, 2, 3, 512, 513, 16383};
  const uint32_t got[] = {2, 2, 2, 4, 512, 1024, 16384};
  for (int k = 0; k < 7; ++k) {
    a.resize(asked[k]);
    EXPECT_EQ(a.size(), got[k]) << asked[k];
  }
  // The top index bits of a phase pick the element; the rest is the fraction.
  a.resize(8);
  EXPECT_EQ(a.index(0xE0000000u), 7u);
  EXPECT_EQ(a.index(a.oneIndex()), 1u);
  EXPECT_FLOAT_EQ(a.fraction(a.oneIndex() / 2), 0.5f);
  EXPECT_FLOAT_EQ(a.fraction(3 * a.oneIndex() + a.oneIndex() / 4), 0.25f);
}

TEST(Array, ResizeKeepsTheCommonPrefixAndFillsTheRest) {
  Array<float> a(3, 7.0f);
  EXPECT_EQ(a.size(), 3u);
  a[0] = 1.0f;
  a.resize(5, -2.0f);
  ASSERT_EQ(a.size(), 5u);
  EXPECT_EQ(a[0], 1.0f);
  EXPECT_EQ(a[2], 7.0f);
  EXPECT_EQ(a[3], -2.0f);
  EXPECT_EQ(a[4], -2.0f);
  a.resize(2);
  EXPECT_EQ(a.size(), 2u);
  EXPECT_EQ(a[1], 7.0f);
  a.resize(0);
  EXPECT_EQ(a.size(), 0u);
  EXPECT_EQ(a.elems(), nullptr);

  Array<Spinor<double>> s(512);
  EXPECT_EQ(s[511], Spinor<double>());
}

TEST(Array, CopiesShareTheBufferAndTheLastOwnerFreesIt) {
  ArrayPow2<float> a(4, 1.0f);
  EXPECT_EQ(a.refCount(), 1);
  EXPECT_TRUE(a.isSoleOwner());
  {
    ArrayPow2<float> b(a);
    EXPECT_EQ(b.elems(), a.elems());
    EXPECT_EQ(a.refCount(), 2);
    b[0] = 5.0f;
    EXPECT_EQ(a[0], 5.0f);
    // Resizing one copy gives it a new buffer and leaves the other alone.
    b.resize(16, 9.0f);
    EXPECT_NE(b.elems(), a.elems());
    EXPECT_EQ(a.refCount(), 1);
    EXPECT_EQ(b[0], 5.0f);
    EXPECT_EQ(b[15], 9.0f);
    EXPECT_EQ(a.size(), 4u);
    b = a;
    EXPECT_EQ(a.refCount(), 2);
  }
  EXPECT_EQ(a.refCount(), 1);
  EXPECT_EQ(a[3], 1.0f);
}

TEST(Array, OutsideBuffersAreNeverCountedResizedOrFreed) {
  float outside[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  {
    ArrayPow2<float> a(outside, 8);
    EXPECT_TRUE(a.isExternal());
    EXPECT_EQ(a.refCount(), 0);
    a.resize(64);
    EXPECT_EQ(a.elems(), outside);
    EXPECT_EQ(a.size(), 8u);
    ArrayPow2<float> b(a);
    EXPECT_EQ(b.elems(), outside);
    // A power-of-two view of an odd-sized buffer uses the largest power of two inside it.
    ArrayPow2<float> c(outside, 7);
    EXPECT_EQ(c.size(), 4u);
  }
  EXPECT_EQ(outside[7], 8.0f);  // still there to read after the arrays are gone
}
