#include "app/vl_OmniRendererDomain.hpp"

#include <epoxy/gl.h>

#include <algorithm>

#include "core/vl_Console.hpp"
#include "graphics/vl_FBO.hpp"

namespace vl {

namespace {

// One triangle that covers the window; its texture coordinates run 0 to 1 over the window.
const char* const kPanoramaVertex = R"(#version 330 core
out vec2 vUV;
void main() {
  vec2 p = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
  vUV = p * 0.5 + 0.5;
  gl_Position = vec4(p, 0.0, 1.0);
}
)";

// Longitude runs from behind (left edge) through straight ahead (middle) to behind again,
// latitude from straight down (bottom) to straight up (top). Directions are in the viewer's
// frame: x right, y up, forward -z, as the cube faces were drawn.
const char* const kPanoramaFragment = R"(#version 330 core
uniform samplerCube cube;
in vec2 vUV;
out vec4 fragColor;
void main() {
  const float PI = 3.14159265358979;
  float lon = (vUV.x - 0.5) * 2.0 * PI;
  float lat = (vUV.y - 0.5) * PI;
  vec3 d = vec3(sin(lon) * cos(lat), sin(lat), -cos(lon) * cos(lat));
  fragColor = texture(cube, d);
}
)";

// Views of the six faces in OpenGL's cube map order (+x, -x, +y, -y, +z, -z), each with the
// up vector under which a rendered face lands in the map the way the sampler reads it back.
const glm::vec3 kFaceDirection[6] = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},
                                     {0, -1, 0}, {0, 0, 1},  {0, 0, -1}};
const glm::vec3 kFaceUp[6] = {{0, -1, 0}, {0, -1, 0}, {0, 0, 1},
                              {0, 0, -1}, {0, -1, 0}, {0, -1, 0}};

}  // namespace

OmniRendererDomain::OmniRendererDomain() = default;

OmniRendererDomain::~OmniRendererDomain() {
  // While this class's releaseContextObjects is still the one the window reaches.
  cleanup(nullptr);
}

bool OmniRendererDomain::tick() {
  if (!mOmni) return GLFWOpenGLWindowDomain::tick();
  Window& w = window();
  if (w.shouldClose()) return false;
  preOnFrame();
  w.makeCurrent();
  const int resolution =
      mRequestedResolution > 0 ? mRequestedResolution : std::max(16, w.fbWidth() / 4);
  if (prepareTargets(resolution)) {
    renderFaces(mResolution);
    showPanorama();
  } else {
    // Without a cube map the world is still shown, through the window's own lens.
    preOnDraw();
    onDraw(graphics());
  }
  postOnDraw();
  w.refresh();
  return true;
}

void OmniRendererDomain::releaseContextObjects() {
  releaseTargets();
  mFailed = false;
  GLFWOpenGLWindowDomain::releaseContextObjects();
}

bool OmniRendererDomain::prepareTargets(int resolution) {
  if (mCube && mRequestedSize == resolution) return true;
  if (mFailed && mRequestedSize == resolution) return false;
  releaseTargets();
  mRequestedSize = resolution;

  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_CUBE_MAP_TEXTURE_SIZE, &maxSize);
  const int size = std::min(resolution, static_cast<int>(maxSize));

  GLint previousTexture = 0;
  glActiveTexture(GL_TEXTURE0);
  glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &previousTexture);
  glGenTextures(1, &mCube);
  glBindTexture(GL_TEXTURE_CUBE_MAP, mCube);
  for (int face = 0; face < 6; ++face) {
    glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGBA8, size, size, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
  }
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
  glBindTexture(GL_TEXTURE_CUBE_MAP, static_cast<GLuint>(previousTexture));

  glGenRenderbuffers(1, &mDepth);
  glBindRenderbuffer(GL_RENDERBUFFER, mDepth);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size, size);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);

  glGenFramebuffers(1, &mFramebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_CUBE_MAP_POSITIVE_X,
                         mCube, 0);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, mDepth);
  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);

  glGenVertexArrays(1, &mVertexArray);
  const bool compiled = mPanorama.compile(kPanoramaVertex, kPanoramaFragment);

  if (status != GL_FRAMEBUFFER_COMPLETE || !compiled || size <= 0) {
    printError("ERROR: omnidirectional renderer could not make its %dx%d cube map (%s)\n", size,
               size, compiled ? FBO::statusString(status) : "panorama program");
    releaseTargets();
    mRequestedSize = resolution;
    mFailed = true;
    return false;
  }
  // Samples near a face's edge blend with the neighbouring face, so no seams show.
  glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
  mResolution = size;
  return true;
}

void OmniRendererDomain::renderFaces(int resolution) {
  Graphics& g = graphics();
  const Lens& lens = view().lens();
  const Mat4f projection = glm::perspective(
      glm::half_pi<float>(), 1.f, static_cast<float>(lens.near), static_cast<float>(lens.far));
  const Mat4f viewerView = view().viewMatrix();
  for (int face = 0; face < 6; ++face) {
    preOnDraw();
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                           GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, mCube, 0);
    g.viewport(0, 0, resolution, resolution);
    g.viewMatrix(glm::lookAt(glm::vec3(0.f), kFaceDirection[face], kFaceUp[face]) * viewerView);
    g.projMatrix(projection);
    onDraw(g);
  }
  g.defaultFramebuffer();
}

void OmniRendererDomain::showPanorama() {
  Graphics& g = graphics();
  Window& w = window();
  g.defaultFramebuffer();
  g.viewport(0, 0, w.fbWidth(), w.fbHeight());
  g.pushState();
  g.depthTesting(false);
  g.blending(false);
  const bool culling = glIsEnabled(GL_CULL_FACE);
  glDisable(GL_CULL_FACE);

  g.shader(mPanorama);
  glActiveTexture(GL_TEXTURE0);
  GLint previousTexture = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &previousTexture);
  glBindTexture(GL_TEXTURE_CUBE_MAP, mCube);
  mPanorama.uniform("cube", 0);
  glBindVertexArray(mVertexArray);
  glDrawArrays(GL_TRIANGLES, 0, 3);
  glBindVertexArray(0);
  glBindTexture(GL_TEXTURE_CUBE_MAP, static_cast<GLuint>(previousTexture));

  if (culling) glEnable(GL_CULL_FACE);
  g.popState();
}

void OmniRendererDomain::releaseTargets() {
  if (mFramebuffer) glDeleteFramebuffers(1, &mFramebuffer);
  if (mDepth) glDeleteRenderbuffers(1, &mDepth);
  if (mCube) glDeleteTextures(1, &mCube);
  if (mVertexArray) glDeleteVertexArrays(1, &mVertexArray);
  mFramebuffer = mDepth = mCube = mVertexArray = 0;
  mPanorama.destroy();
  mResolution = 0;
  mRequestedSize = 0;
}

}  // namespace vl
