#pragma once

#include "graphics/vl_GPUObject.hpp"

namespace vl {

// An OpenGL texture: its storage is allocated when created, pixels are written with
// submit(). Filter and wrap changes are applied at the next submit or bind. Enum values are
// OpenGL's (GL_TEXTURE_2D, GL_RGBA8, GL_LINEAR...).
class Texture : public GPUObject {
 public:
  Texture() = default;
  Texture(Texture&&) noexcept = default;
  ~Texture() override { destroy(); }

  // Defines the texture and creates it (current context) with uninitialised storage.
  void create1D(int width, unsigned internalFormat = 0x8058 /* GL_RGBA8 */,
                unsigned format = 0x1908 /* GL_RGBA */,
                unsigned type = 0x1401 /* GL_UNSIGNED_BYTE */);
  void create2D(int width, int height, unsigned internalFormat = 0x8058, unsigned format = 0x1908,
                unsigned type = 0x1401);
  void create3D(int width, int height, int depth, unsigned internalFormat = 0x8058,
                unsigned format = 0x1908, unsigned type = 0x1401);

  // Writes a whole image of the texture's format and type (rows tightly packed).
  void submit(const void* pixels);

  void bind(int unit = 0);
  void unbind(int unit = 0) const;

  Texture& filter(unsigned minMag) { return filterMin(minMag).filterMag(minMag); }
  Texture& filterMin(unsigned f);
  Texture& filterMag(unsigned f);
  Texture& wrap(unsigned all) { return wrapS(all).wrapT(all).wrapR(all); }
  Texture& wrapS(unsigned w);
  Texture& wrapT(unsigned w);
  Texture& wrapR(unsigned w);
  // With mipmapping, submit generates the mipmaps.
  Texture& mipmap(bool on);
  // Any target is accepted here; uploading supports 1D, 2D, 3D and 2D arrays.
  Texture& target(unsigned t) {
    mTarget = t;
    return *this;
  }

  unsigned target() const { return mTarget; }
  int width() const { return mWidth; }
  int height() const { return mHeight; }
  int depth() const { return mDepth; }
  unsigned internalFormat() const { return mInternalFormat; }

 protected:
  void onCreate() override;
  void onDestroy() override;

 private:
  void applyParams();

  unsigned mTarget = 0x0DE1;  // GL_TEXTURE_2D
  unsigned mInternalFormat = 0x8058, mFormat = 0x1908, mType = 0x1401;
  int mWidth = 0, mHeight = 0, mDepth = 0;
  unsigned mFilterMin = 0x2601, mFilterMag = 0x2601;           // GL_LINEAR
  unsigned mWrapS = 0x812F, mWrapT = 0x812F, mWrapR = 0x812F;  // GL_CLAMP_TO_EDGE
  bool mMipmap = false;
  bool mParamsChanged = true;
};

}  // namespace vl
