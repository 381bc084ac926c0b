#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "graphics/vl_Shader.hpp"
#include "graphics/vl_Viewpoint.hpp"
#include "math/vl_Mat4.hpp"

namespace vl {

// A stack of 4x4 matrices that remembers whether its top changed since the last upload.
// The bottom entry is never popped.
class MatrixStack {
 public:
  MatrixStack() : mStack{Mat4f(1.f)} {}

  const Mat4f& top() const { return mStack.back(); }
  void top(const Mat4f& m) {
    mStack.back() = m;
    mChanged = true;
  }
  void push() { mStack.push_back(mStack.back()); }
  // Popping the last entry would leave no matrix; it is refused (returns false).
  bool pop();
  void mult(const Mat4f& m) {
    mStack.back() = mStack.back() * m;
    mChanged = true;
  }
  void setIdentity() { top(Mat4f(1.f)); }
  // One identity entry.
  void reset();
  std::size_t depth() const { return mStack.size(); }

  bool changed() const { return mChanged; }
  void changed(bool c) { mChanged = c; }

 private:
  std::vector<Mat4f> mStack;
  bool mChanged = true;
};

// Model, view and projection stacks and the current program; uploads "vl_ModelViewMatrix"
// and "vl_ProjectionMatrix" before each draw when a stack changed since the last upload.
class RenderManager {
 public:
  virtual ~RenderManager() = default;

  // Makes the program current and in use and marks both matrices for upload.
  virtual void shader(ShaderProgram& program);
  ShaderProgram* shader() const { return mShader; }

  // View and projection from a viewpoint; the aspect ratio is the current viewport's.
  virtual void camera(const Viewpoint& v);

  // Sets the OpenGL viewport and remembers it for the camera's aspect ratio.
  void viewport(int x, int y, int w, int h);
  int viewportWidth() const { return mViewport[2]; }
  int viewportHeight() const { return mViewport[3]; }
  float viewportAspect() const;

  // Uploads changed matrices to the current program.
  void update();

  // Model stack. Angles are in degrees.
  void pushMatrix() { mModel.push(); }
  void popMatrix();
  void loadIdentity() { mModel.setIdentity(); }
  void translate(float x, float y, float z = 0.f) {
    mModel.mult(glm::translate(Mat4f(1.f), {x, y, z}));
  }
  void translate(const Vec3f& v) { translate(v[0], v[1], v[2]); }
  void rotate(float degrees, float x, float y, float z);
  void rotate(const Quatd& q) { mModel.mult(Mat4f(rotationMatrix(q))); }
  void scale(float s) { scale(s, s, s); }
  void scale(float x, float y, float z = 1.f) { mModel.mult(glm::scale(Mat4f(1.f), {x, y, z})); }
  void multModelMatrix(const Mat4f& m) { mModel.mult(m); }
  void modelMatrix(const Mat4f& m) { mModel.top(m); }
  const Mat4f& modelMatrix() const { return mModel.top(); }

  // View and projection stacks.
  void pushViewMatrix() { mView.push(); }
  void popViewMatrix();
  void viewMatrix(const Mat4f& m) { mView.top(m); }
  const Mat4f& viewMatrix() const { return mView.top(); }
  void pushProjMatrix() { mProj.push(); }
  void popProjMatrix();
  void projMatrix(const Mat4f& m) { mProj.top(m); }
  const Mat4f& projMatrix() const { return mProj.top(); }

  // All three stacks back to one identity matrix each.
  void resetMatrixStack();

 protected:
  bool modelViewChanged() const { return mModel.changed() || mView.changed(); }

  MatrixStack mModel, mView, mProj;
  ShaderProgram* mShader = nullptr;
  int mViewport[4] = {0, 0, 0, 0};

 private:
  struct MatrixLocations {
    int modelView = -1, projection = -1;
  };
  std::unordered_map<std::uint64_t, MatrixLocations> mLocationCache;
  MatrixLocations mLocations;
};

}  // namespace vl
