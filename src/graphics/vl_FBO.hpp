#pragma once

#include "graphics/vl_GPUObject.hpp"
#include "graphics/vl_Texture.hpp"

namespace vl {

// A render buffer, typically the depth attachment of an FBO.
class RBO : public GPUObject {
 public:
  explicit RBO(unsigned format = 0x81A6 /* GL_DEPTH_COMPONENT24 */) : mFormat(format) {}
  RBO(RBO&&) noexcept = default;
  ~RBO() override { destroy(); }

  // Creates the buffer if needed and allocates its storage.
  void resize(int width, int height);
  void bind();
  static void unbind();
  unsigned format() const { return mFormat; }
  int width() const { return mWidth; }
  int height() const { return mHeight; }

 protected:
  void onCreate() override;
  void onDestroy() override;

 private:
  unsigned mFormat;
  int mWidth = 0, mHeight = 0;
};

// A framebuffer object. Attachments are made with the FBO bound (the attach calls bind it).
class FBO : public GPUObject {
 public:
  FBO() = default;
  FBO(FBO&&) noexcept = default;
  ~FBO() override { destroy(); }

  void bind();
  // Binds the default framebuffer.
  static void unbind();

  FBO& attachRBO(RBO& rbo, unsigned attachment = 0x8D00 /* GL_DEPTH_ATTACHMENT */);
  FBO& attachTexture2D(Texture& tex, unsigned attachment = 0x8CE0 /* GL_COLOR_ATTACHMENT0 */,
                       int level = 0);
  FBO& detach(unsigned attachment);
  // The completeness status (GL_FRAMEBUFFER_COMPLETE when usable) and its name.
  unsigned status();
  static const char* statusString(unsigned status);

 protected:
  void onCreate() override;
  void onDestroy() override;
};

}  // namespace vl
