#include "AtomPicture.hpp"

#include <epoxy/gl.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>

#include "HydrogenVoice.hpp"
#include "graphics/vl_FBO.hpp"
#include "graphics/vl_Graphics.hpp"
#include "graphics/vl_Texture.hpp"
#include "graphics/vl_Viewpoint.hpp"
#include "sound/vl_DynamicScene.hpp"

namespace {

bool lit(const std::vector<unsigned char>& rgba, size_t i) {
  return std::max({rgba[i], rgba[i + 1], rgba[i + 2]}) > 12;
}

}  // namespace

double AtomPicture::coverage() const {
  if (rgba.empty()) return 0.0;
  size_t count = 0;
  for (size_t i = 0; i < rgba.size(); i += 4) count += lit(rgba, i);
  return double(count) / double(rgba.size() / 4);
}

double AtomPicture::litWidth() const {
  int first = width, last = -1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (lit(rgba, 4 * (size_t(y) * size_t(width) + size_t(x)))) {
        first = std::min(first, x), last = std::max(last, x);
      }
    }
  }
  return last < first ? 0.0 : double(last - first + 1) / width;
}

double AtomPicture::litHeight() const {
  int first = height, last = -1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (lit(rgba, 4 * (size_t(y) * size_t(width) + size_t(x)))) {
        first = std::min(first, y), last = std::max(last, y);
      }
    }
  }
  return last < first ? 0.0 : double(last - first + 1) / height;
}

std::vector<double> AtomPicture::downscaled(int cells) const {
  std::vector<double> out(size_t(cells * cells), 0.0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t i = 4 * (size_t(y) * size_t(width) + size_t(x));
      const double grey = (rgba[i] + rgba[i + 1] + rgba[i + 2]) / (3.0 * 255.0);
      out[size_t(y * cells / height * cells + x * cells / width)] += grey;
    }
  }
  const double perCell = double(width) * height / (cells * cells);
  for (double& v : out) v /= perCell;
  return out;
}

bool AtomPicture::writePng(const std::string& path) const {
  // PNG rows run from the top.
  return stbi_write_png(path.c_str(), width, height, 4,
                        rgba.data() + size_t(width) * 4 * size_t(height - 1), -width * 4) != 0;
}

namespace {

// Draws into an offscreen framebuffer from the eye, with the world transform of the program's
// view, and reads the picture back.
template <typename Draw>
AtomPicture drawOffscreen(int width, int height, const vl::Pose& eye, Draw draw) {
  AtomPicture picture;
  picture.width = width, picture.height = height;
  vl::Texture colour;
  colour.create2D(width, height);
  vl::RBO depth;
  depth.resize(width, height);
  vl::FBO fbo;
  fbo.attachTexture2D(colour).attachRBO(depth);
  vl::Graphics g;
  g.init();
  g.framebuffer(fbo);
  g.viewport(0, 0, width, height);
  g.resetMatrixStack();
  g.camera(vl::Viewpoint(eye));
  g.clear(0, 0, 0, 1);
  g.pushMatrix();
  g.translate(0.0f, 0.0f, 0.65f);
  g.scale(0.5f);
  draw(g);
  g.popMatrix();
  glFinish();
  picture.rgba.resize(size_t(width) * size_t(height) * 4);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, picture.rgba.data());
  vl::FBO::unbind();
  return picture;
}

}  // namespace

AtomPicture drawPreset(const std::string& preset, int frames, int width, int height) {
  auto voice = std::make_unique<HydrogenVoice>();
  voice->init();
  voice->parameters().presetToLoad.set(preset);
  voice->onTriggerOn();
  // The envelope's level is the ribbon's opacity; the attack is over within the frames.
  for (int f = 0; f < frames; ++f) {
    voice->update(1.0 / 60.0);
    voice->parameters().env.set(1.0f);
    voice->visual().level = 1.0f;
  }
  voice->visual().step();
  const vl::Pose eye(vl::Vec3d(0.0, 0.0, 1.5));
  AtomPicture picture = drawOffscreen(width, height, eye, [&](vl::Graphics& g) {
    g.rotate(180.0f, 0.0f, 1.0f, 0.0f);
    voice->onProcessGraphics(g);
  });
  voice->releaseGraphics();
  return picture;
}

AtomPicture drawScene(vl::DynamicScene& scene, int width, int height) {
  // Above and behind the centre, looking down on the ring of voices round it.
  constexpr double kHeight = 3.6, kBack = 5.6;
  const vl::Pose eye(
      vl::Vec3d(0.0, kHeight, kBack),
      vl::Quatd::fromAxisAngle(-std::atan2(kHeight, kBack - 0.65), vl::Vec3d(1, 0, 0)));
  return drawOffscreen(width, height, eye, [&](vl::Graphics& g) { scene.render(g); });
}
