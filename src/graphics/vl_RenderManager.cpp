#include "graphics/vl_RenderManager.hpp"

#include <epoxy/gl.h>

#include <glm/gtc/type_ptr.hpp>

#include "core/vl_Warn.hpp"

namespace vl {

bool MatrixStack::pop() {
  if (mStack.size() <= 1) return false;
  mStack.pop_back();
  mChanged = true;
  return true;
}

void MatrixStack::reset() {
  mStack.assign(1, Mat4f(1.f));
  mChanged = true;
}

void RenderManager::shader(ShaderProgram& program) {
  mShader = &program;
  program.use();
  auto [it, inserted] = mLocationCache.try_emplace(program.serial());
  if (inserted && program.created()) {
    // Programs that do not draw through the matrices are legal; no warning for them.
    it->second.modelView = glGetUniformLocation(program.id(), "vl_ModelViewMatrix");
    it->second.projection = glGetUniformLocation(program.id(), "vl_ProjectionMatrix");
  }
  mLocations = it->second;
  mModel.changed(true);
  mProj.changed(true);
}

void RenderManager::camera(const Viewpoint& v) {
  mView.top(v.viewMatrix());
  mProj.top(v.projMatrix(viewportAspect()));
}

void RenderManager::viewport(int x, int y, int w, int h) {
  mViewport[0] = x;
  mViewport[1] = y;
  mViewport[2] = w;
  mViewport[3] = h;
  glViewport(x, y, w, h);
}

float RenderManager::viewportAspect() const {
  if (mViewport[2] == 0 || mViewport[3] == 0) return 1.f;
  return static_cast<float>(mViewport[2]) / static_cast<float>(mViewport[3]);
}

void RenderManager::update() {
  if (!mShader) return;
  if (modelViewChanged()) {
    Mat4f mv = mView.top() * mModel.top();
    glUniformMatrix4fv(mLocations.modelView, 1, GL_FALSE, glm::value_ptr(mv));
  }
  if (mProj.changed())
    glUniformMatrix4fv(mLocations.projection, 1, GL_FALSE, glm::value_ptr(mProj.top()));
  mModel.changed(false);
  mView.changed(false);
  mProj.changed(false);
}

void RenderManager::rotate(float degrees, float x, float y, float z) {
  mModel.mult(glm::rotate(Mat4f(1.f), glm::radians(degrees), glm::vec3(x, y, z)));
}

void RenderManager::popMatrix() {
  if (!mModel.pop()) VL_WARN_ONCE("popMatrix without a matching pushMatrix\n");
}
void RenderManager::popViewMatrix() {
  if (!mView.pop()) VL_WARN_ONCE("popViewMatrix without a matching pushViewMatrix\n");
}
void RenderManager::popProjMatrix() {
  if (!mProj.pop()) VL_WARN_ONCE("popProjMatrix without a matching pushProjMatrix\n");
}

void RenderManager::resetMatrixStack() {
  mModel.reset();
  mView.reset();
  mProj.reset();
}

}  // namespace vl
