#include "gl_context.hpp"

#define GLFW_INCLUDE_NONE  // OpenGL comes from epoxy
#include <GLFW/glfw3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

class GLEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!glfwInit()) {
      std::fprintf(stderr, "cannot initialise GLFW\n");
      std::abort();
    }
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    mWindow = glfwCreateWindow(64, 64, "graphics tests", nullptr, nullptr);
    if (!mWindow) {
      std::fprintf(stderr, "cannot create an OpenGL 3.3 core window\n");
      std::abort();
    }
    glfwMakeContextCurrent(mWindow);
  }
  void TearDown() override {
    glfwDestroyWindow(mWindow);
    glfwTerminate();
  }

 private:
  GLFWwindow* mWindow = nullptr;
};

const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new GLEnvironment);

}  // namespace

void GLTest::SetUp() {
  colorTex.create2D(W, H);
  colorTex.filter(GL_NEAREST);
  depth.resize(W, H);
  fbo.attachTexture2D(colorTex).attachRBO(depth);
  ASSERT_EQ(fbo.status(), static_cast<unsigned>(GL_FRAMEBUFFER_COMPLETE))
      << vl::FBO::statusString(fbo.status());
  g.init();
  g.framebuffer(fbo);
  g.viewport(0, 0, W, H);
  g.resetMatrixStack();
  g.clear(0, 0, 0, 0);
}

void GLTest::TearDown() {
  vl::FBO::unbind();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

vl::Color GLTest::pixel(int x, int y) {
  fbo.bind();
  glFinish();
  unsigned char p[4] = {0, 0, 0, 0};
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  return {p[0] / 255.f, p[1] / 255.f, p[2] / 255.f, p[3] / 255.f};
}

::testing::AssertionResult colorNear(const vl::Color& actual, const vl::Color& expected, float tol,
                                     bool checkAlpha) {
  for (int i = 0; i < (checkAlpha ? 4 : 3); ++i) {
    // Pixels are stored as bytes, so the expected value saturates the same way.
    float e = std::fmin(std::fmax(expected[i], 0.f), 1.f);
    if (std::fabs(actual[i] - e) > tol)
      return ::testing::AssertionFailure() << "got " << actual << ", expected " << expected;
  }
  return ::testing::AssertionSuccess();
}
