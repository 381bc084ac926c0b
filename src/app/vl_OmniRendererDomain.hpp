#pragma once

#include <atomic>

#include "graphics/vl_Shader.hpp"
#include "io/vl_GLFWOpenGLWindowDomain.hpp"

namespace vl {

// The window of a renderer node. Without omnidirectional rendering it draws exactly like a
// window domain. With it, every frame draws the world six times around the viewpoint (the
// navigator's transformed pose), one cube face each through a 90-degree square lens, and shows
// the whole sphere in the window as an equirectangular panorama: straight ahead in the middle,
// right of it at three quarters of the width, behind at the left and right edges, up at the
// top. The panorama is what dome projection and 360-degree video take as input.
//
// For each face the frame runs the pre-draw callback and then points the graphics at the face:
// its framebuffer, viewport, view and projection. The draw callback then draws as it would in
// a window. The post-draw callback runs once, over the panorama.
class OmniRendererDomain : public GLFWOpenGLWindowDomain {
 public:
  OmniRendererDomain();
  ~OmniRendererDomain() override;

  bool tick() override;

  void omniRendering(bool on) { mOmni = on; }
  bool omniRendering() const { return mOmni; }

  // Edge of a cube face in pixels; 0 (the default) takes a quarter of the framebuffer width,
  // which keeps the panorama's pixels about as fine as the faces' at the middle of a face.
  // The driver's largest cube map caps it.
  void cubeResolution(int pixels) { mRequestedResolution = pixels; }
  int cubeResolution() const { return mRequestedResolution; }

 protected:
  void releaseContextObjects() override;

 private:
  bool prepareTargets(int resolution);
  void renderFaces(int resolution);
  void showPanorama();
  void releaseTargets();

  std::atomic<bool> mOmni{false};  // switched from the network too
  int mRequestedResolution = 0;
  int mRequestedSize = 0;  // the edge asked for when the cube map was made
  int mResolution = 0;     // the edge of the cube map that exists, 0 for none
  unsigned mCube = 0, mDepth = 0, mFramebuffer = 0, mVertexArray = 0;
  ShaderProgram mPanorama;
  bool mFailed = false;  // targets that could not be made are reported once
};

}  // namespace vl
