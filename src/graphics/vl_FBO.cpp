#include "graphics/vl_FBO.hpp"

#include <epoxy/gl.h>

namespace vl {

void RBO::onCreate() {
  GLuint id = 0;
  glGenRenderbuffers(1, &id);
  mID = id;
}

void RBO::onDestroy() {
  GLuint id = mID;
  glDeleteRenderbuffers(1, &id);
}

void RBO::bind() {
  validate();
  glBindRenderbuffer(GL_RENDERBUFFER, mID);
}

void RBO::unbind() {
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
}

void RBO::resize(int width, int height) {
  bind();
  glRenderbufferStorage(GL_RENDERBUFFER, mFormat, width, height);
  mWidth = width;
  mHeight = height;
  unbind();
}

void FBO::onCreate() {
  GLuint id = 0;
  glGenFramebuffers(1, &id);
  mID = id;
}

void FBO::onDestroy() {
  GLuint id = mID;
  glDeleteFramebuffers(1, &id);
}

void FBO::bind() {
  validate();
  glBindFramebuffer(GL_FRAMEBUFFER, mID);
}

void FBO::unbind() {
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

FBO& FBO::attachRBO(RBO& rbo, unsigned attachment) {
  bind();
  rbo.validate();
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, rbo.id());
  return *this;
}

FBO& FBO::attachTexture2D(Texture& tex, unsigned attachment, int level) {
  bind();
  tex.validate();
  glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, GL_TEXTURE_2D, tex.id(), level);
  return *this;
}

FBO& FBO::detach(unsigned attachment) {
  bind();
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, 0);
  return *this;
}

unsigned FBO::status() {
  bind();
  return glCheckFramebufferStatus(GL_FRAMEBUFFER);
}

const char* FBO::statusString(unsigned status) {
  switch (status) {
    case GL_FRAMEBUFFER_COMPLETE:
      return "GL_FRAMEBUFFER_COMPLETE";
    case GL_FRAMEBUFFER_UNDEFINED:
      return "GL_FRAMEBUFFER_UNDEFINED";
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT:
      return "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT:
      return "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER:
      return "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER:
      return "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER";
    case GL_FRAMEBUFFER_UNSUPPORTED:
      return "GL_FRAMEBUFFER_UNSUPPORTED";
    case GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE:
      return "GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE";
    default:
      return "unknown framebuffer status";
  }
}

}  // namespace vl
