#include "graphics/vl_Texture.hpp"

#include <epoxy/gl.h>

#include "core/vl_Warn.hpp"

namespace vl {

void Texture::create1D(int width, unsigned internalFormat, unsigned format, unsigned type) {
  mTarget = GL_TEXTURE_1D;
  mWidth = width;
  mHeight = mDepth = 1;
  mInternalFormat = internalFormat;
  mFormat = format;
  mType = type;
  create();
}

void Texture::create2D(int width, int height, unsigned internalFormat, unsigned format,
                       unsigned type) {
  mTarget = GL_TEXTURE_2D;
  mWidth = width;
  mHeight = height;
  mDepth = 1;
  mInternalFormat = internalFormat;
  mFormat = format;
  mType = type;
  create();
}

void Texture::create3D(int width, int height, int depth, unsigned internalFormat, unsigned format,
                       unsigned type) {
  mTarget = GL_TEXTURE_3D;
  mWidth = width;
  mHeight = height;
  mDepth = depth;
  mInternalFormat = internalFormat;
  mFormat = format;
  mType = type;
  create();
}

void Texture::onCreate() {
  GLuint id = 0;
  glGenTextures(1, &id);
  mID = id;
  glBindTexture(mTarget, mID);
  GLint ifmt = static_cast<GLint>(mInternalFormat);
  switch (mTarget) {
    case GL_TEXTURE_1D:
      glTexImage1D(mTarget, 0, ifmt, mWidth, 0, mFormat, mType, nullptr);
      break;
    case GL_TEXTURE_2D:
      glTexImage2D(mTarget, 0, ifmt, mWidth, mHeight, 0, mFormat, mType, nullptr);
      break;
    case GL_TEXTURE_3D:
    case GL_TEXTURE_2D_ARRAY:
      glTexImage3D(mTarget, 0, ifmt, mWidth, mHeight, mDepth, 0, mFormat, mType, nullptr);
      break;
    default:
      break;  // storage of other targets is the caller's business
  }
  mParamsChanged = true;
  applyParams();
  glBindTexture(mTarget, 0);
}

void Texture::onDestroy() {
  GLuint id = mID;
  glDeleteTextures(1, &id);
}

Texture& Texture::filterMin(unsigned f) {
  mParamsChanged |= f != mFilterMin;
  mFilterMin = f;
  return *this;
}
Texture& Texture::filterMag(unsigned f) {
  mParamsChanged |= f != mFilterMag;
  mFilterMag = f;
  return *this;
}
Texture& Texture::wrapS(unsigned w) {
  mParamsChanged |= w != mWrapS;
  mWrapS = w;
  return *this;
}
Texture& Texture::wrapT(unsigned w) {
  mParamsChanged |= w != mWrapT;
  mWrapT = w;
  return *this;
}
Texture& Texture::wrapR(unsigned w) {
  mParamsChanged |= w != mWrapR;
  mWrapR = w;
  return *this;
}
Texture& Texture::mipmap(bool on) {
  mParamsChanged |= on != mMipmap;
  mMipmap = on;
  return *this;
}

// Expects the texture bound to its target.
void Texture::applyParams() {
  if (!mParamsChanged) return;
  glTexParameteri(mTarget, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(mFilterMag));
  glTexParameteri(mTarget, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(mFilterMin));
  glTexParameteri(mTarget, GL_TEXTURE_WRAP_S, static_cast<GLint>(mWrapS));
  glTexParameteri(mTarget, GL_TEXTURE_WRAP_T, static_cast<GLint>(mWrapT));
  glTexParameteri(mTarget, GL_TEXTURE_WRAP_R, static_cast<GLint>(mWrapR));
  glTexParameteri(mTarget, GL_TEXTURE_MAX_LEVEL, mMipmap ? 1000 : 0);
  mParamsChanged = false;
}

void Texture::submit(const void* pixels) {
  validate();
  glBindTexture(mTarget, mID);
  // Rows are tightly packed; OpenGL would otherwise pad each to four bytes, which shears
  // one-byte images whose width is not a multiple of four.
  GLint alignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  switch (mTarget) {
    case GL_TEXTURE_1D:
      glTexSubImage1D(mTarget, 0, 0, mWidth, mFormat, mType, pixels);
      break;
    case GL_TEXTURE_2D:
      glTexSubImage2D(mTarget, 0, 0, 0, mWidth, mHeight, mFormat, mType, pixels);
      break;
    case GL_TEXTURE_3D:
    case GL_TEXTURE_2D_ARRAY:
      glTexSubImage3D(mTarget, 0, 0, 0, 0, mWidth, mHeight, mDepth, mFormat, mType, pixels);
      break;
    default:
      VL_WARN("invalid texture target %d\n", static_cast<int>(mTarget));
      glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
      glBindTexture(mTarget, 0);
      return;
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  applyParams();
  if (mMipmap) glGenerateMipmap(mTarget);
  glBindTexture(mTarget, 0);
}

void Texture::bind(int unit) {
  validate();
  glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
  glBindTexture(mTarget, mID);
  applyParams();
}

void Texture::unbind(int unit) const {
  glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
  glBindTexture(mTarget, 0);
}

}  // namespace vl
