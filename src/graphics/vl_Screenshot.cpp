#include "graphics/vl_Screenshot.hpp"

#include <epoxy/gl.h>
#include <stb_image_write.h>

#include <ctime>
#include <vector>

#include "core/vl_File.hpp"

namespace vl {

ScreenshotResult saveScreenshot(const std::string& path, int width, int height) {
  if (width <= 0 || height <= 0) return ScreenshotResult::READ_FAILED;
  const std::size_t row = std::size_t(width) * 3;
  std::vector<unsigned char> pixels(row * std::size_t(height));
  GLint readBuffer = 0, framebuffer = 0;
  glGetIntegerv(GL_READ_BUFFER, &readBuffer);
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &framebuffer);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  while (glGetError() != GL_NO_ERROR) {
  }
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  const bool read = glGetError() == GL_NO_ERROR;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(framebuffer));
  if (framebuffer == 0) glReadBuffer(GLenum(readBuffer));
  if (!read) return ScreenshotResult::READ_FAILED;
  // OpenGL's rows run bottom up; the file's run top down.
  std::vector<unsigned char> flipped(pixels.size());
  for (int y = 0; y < height; ++y) {
    const unsigned char* src = &pixels[std::size_t(height - 1 - y) * row];
    std::copy(src, src + row, &flipped[std::size_t(y) * row]);
  }
  std::string png;
  auto append = [](void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), std::size_t(size));
  };
  if (!stbi_write_png_to_func(append, &png, width, height, 3, flipped.data(), int(row))) {
    return ScreenshotResult::WRITE_FAILED;
  }
  return File::writeReplacing(path, png) == File::WriteResult::OK ? ScreenshotResult::OK
                                                                  : ScreenshotResult::WRITE_FAILED;
}

std::string screenshotName(const std::string& prefix) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  return prefix + "-" + stamp + ".png";
}

}  // namespace vl
