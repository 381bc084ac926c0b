#pragma once

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "graphics/vl_FBO.hpp"
#include "graphics/vl_Graphics.hpp"

// Every test runs in one hidden-window OpenGL 3.3 core context, created before the first
// test and destroyed after the last (see gl_context.cpp).

// A fixture drawing into a small FBO (colour texture + depth buffer), read back with pixel().
class GLTest : public ::testing::Test {
 protected:
  static constexpr int W = 32, H = 32;

  void SetUp() override;
  void TearDown() override;

  // RGBA of pixel (x, y) of the FBO, each channel in [0, 1].
  vl::Color pixel(int x, int y);
  // Centre of pixel (x, y) in normalised device coordinates.
  static float ndcX(int x) { return (static_cast<float>(x) + 0.5f) / W * 2.f - 1.f; }
  static float ndcY(int y) { return (static_cast<float>(y) + 0.5f) / H * 2.f - 1.f; }

  vl::Texture colorTex;
  vl::RBO depth;
  vl::FBO fbo;
  vl::Graphics g;
};

// Compares colours channel by channel within tol.
::testing::AssertionResult colorNear(const vl::Color& actual, const vl::Color& expected,
                                     float tol = 2.5f / 255.f, bool checkAlpha = true);
