#include "graphics/vl_BufferObject.hpp"

#include <epoxy/gl.h>

namespace vl {

void BufferObject::onCreate() {
  GLuint id = 0;
  glGenBuffers(1, &id);
  mID = id;
  mSize = 0;
}

void BufferObject::onDestroy() {
  GLuint id = mID;
  glDeleteBuffers(1, &id);
  mSize = 0;
}

void BufferObject::bind() {
  validate();
  glBindBuffer(mTarget, mID);
}

void BufferObject::unbind() const {
  glBindBuffer(mTarget, 0);
}

void BufferObject::data(std::size_t bytes, const void* src) {
  bind();
  glBufferData(mTarget, static_cast<GLsizeiptr>(bytes), src, mUsage);
  mSize = bytes;
}

void BufferObject::subData(std::size_t offset, std::size_t bytes, const void* src) {
  bind();
  if (offset + bytes > mSize) return;
  glBufferSubData(mTarget, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(bytes), src);
}

}  // namespace vl
