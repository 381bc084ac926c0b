// The renderer window of a renderer node: with omnidirectional rendering off it draws exactly
// like a window domain; with it on, coloured cubes placed around the viewer land at the places
// of the equirectangular panorama that their directions give, whatever way the viewer faces.
// Pixels are read back from the window under a virtual display.
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/vl_OmniRendererDomain.hpp"
#include "app/vl_OpenGLGraphicsDomain.hpp"
#include "graphics/vl_Shapes.hpp"

using namespace vl;

namespace {

constexpr int W = 720, H = 360;  // two pixels per degree
constexpr double kPi = 3.14159265358979323846;

struct Marker {
  double azimuth, elevation;  // degrees; azimuth positive to the viewer's right
  Color color;
};

// Straight ahead, behind, above, below, right, left, one on the edge between two faces, and
// one off the centre of each face (a face drawn mirrored or turned moves those).
const std::vector<Marker> kMarkers = {
    {0, 0, {1, 0, 0, 1}},
    {180, 0, {0, 1, 0, 1}},
    {0, 90, {0, 0, 1, 1}},
    {0, -90, {0, 1, 1, 1}},
    {90, 0, {1, 1, 0, 1}},
    {-90, 0, {1, 0, 1, 1}},
    {45, 30, {1, 1, 1, 1}},
    {20, 25, {0.6f, 0.2f, 1, 1}},
    {110, -20, {0.2f, 0.6f, 1, 1}},
    {-160, 15, {1, 0.6f, 0.2f, 1}},
    {-70, 30, {0.6f, 1, 0.2f, 1}},
    {30, 60, {0.2f, 1, 0.6f, 1}},
    {-120, -62, {1, 0.2f, 0.6f, 1}},
};

// The direction of (azimuth, elevation) in the world, for a viewer at the origin looking
// down -z with +y up.
Vec3f direction(double azimuth, double elevation) {
  const double a = azimuth * kPi / 180, e = elevation * kPi / 180;
  return Vec3f(static_cast<float>(std::sin(a) * std::cos(e)), static_cast<float>(std::sin(e)),
               static_cast<float>(-std::cos(a) * std::cos(e)));
}

// The panorama pixel (column, row from the bottom) that looks along (azimuth, elevation).
std::pair<int, int> panoramaPixel(double azimuth, double elevation) {
  double u = 0.5 + azimuth / 360.0;
  u -= std::floor(u);
  const int x = std::min(W - 1, static_cast<int>(u * W));
  const int y = std::clamp(static_cast<int>((0.5 + elevation / 180.0) * H), 0, H - 1);
  return {x, y};
}

struct Frame {
  std::vector<unsigned char> rgba = std::vector<unsigned char>(W * H * 4);
  std::vector<int> at(int x, int y) const {
    const unsigned char* p = &rgba[static_cast<size_t>((y * W + x) * 4)];
    return {p[0], p[1], p[2]};
  }
};

std::vector<int> rgb(const Color& c) {
  auto byte = [](float v) { return static_cast<int>(std::lround(v * 255)); };
  return {byte(c.r), byte(c.g), byte(c.b)};
}

// One window domain on the graphics domain, drawing the markers as cubes 5 units away and
// reading its back buffer before the swap.
class RendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    graphics.init();
    graphics.nextWindowProperties.width = W;
    graphics.nextWindowProperties.height = H;
  }
  void TearDown() override {
    for (auto& w : windows) graphics.closeWindow(w);
    graphics.cleanup();
  }

  void attach(const std::shared_ptr<GLFWOpenGLWindowDomain>& wd, Frame& frame) {
    graphics.addWindow(wd);
    windows.push_back(wd);
    // The new size reaches the framebuffer with the events of the first frame.
    ASSERT_TRUE(wd->tick());
    ASSERT_EQ(wd->window().fbWidth(), W);
    ASSERT_EQ(wd->window().fbHeight(), H);
    wd->onDraw = [](Graphics& g) {
      g.clear(0, 0, 0);
      g.depthTesting(true);
      Mesh cube;
      addCube(cube, 0.8f);
      for (const Marker& m : kMarkers) {
        g.pushMatrix();
        g.translate(direction(m.azimuth, m.elevation) * 5.f);
        g.color(m.color);
        g.draw(cube);
        g.popMatrix();
      }
    };
    wd->postOnDraw = [&frame] {
      glReadBuffer(GL_BACK);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
    };
  }

  OpenGLGraphicsDomain graphics;
  std::vector<std::shared_ptr<GLFWOpenGLWindowDomain>> windows;
};

}  // namespace

TEST_F(RendererTest, WithTheFlagOffItDrawsExactlyLikeAWindowDomain) {
  Frame plain, renderer;
  auto window = std::make_shared<GLFWOpenGLWindowDomain>();
  auto omni = std::make_shared<OmniRendererDomain>();
  attach(window, plain);
  attach(omni, renderer);
  ASSERT_TRUE(window->tick());
  ASSERT_TRUE(omni->tick());
  EXPECT_EQ(plain.at(W / 2, H / 2), rgb(kMarkers[0].color));
  EXPECT_TRUE(plain.rgba == renderer.rgba);
}

TEST_F(RendererTest, TheSphereAroundTheViewerLandsWhereTheEquirectangularMapPutsIt) {
  Frame frame;
  auto omni = std::make_shared<OmniRendererDomain>();
  attach(omni, frame);
  omni->omniRendering(true);

  // Facing the other way round a quarter turn at a time, and then looking up: a marker at
  // (a, e) in the world is seen at (a - turn) when the viewer has turned right by turn.
  struct View {
    double turnRight, pitchUp;
  };
  for (View v : {View{0, 0}, View{90, 0}, View{-90, 0}, View{180, 0}}) {
    SCOPED_TRACE("turned right by " + std::to_string(v.turnRight));
    Pose pose;
    pose.orientation = Quatd::fromAxisAngle(-v.turnRight * kPi / 180, Vec3d(0, 1, 0));
    omni->nav().set(pose);
    ASSERT_TRUE(omni->tick());
    for (const Marker& m : kMarkers) {
      double seen = m.azimuth - v.turnRight;
      if (std::abs(m.elevation) == 90) seen = 0;  // every column of the top or bottom row
      auto [x, y] = panoramaPixel(seen, m.elevation);
      EXPECT_EQ(frame.at(x, y), rgb(m.color))
          << "azimuth " << m.azimuth << " elevation " << m.elevation << " at " << x << "," << y;
    }
    // Between the markers is the background, and nothing else is drawn twice.
    EXPECT_EQ(frame.at(panoramaPixel(135 - v.turnRight, 0).first, H / 2),
              (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(frame.at(panoramaPixel(-45, -45).first, panoramaPixel(-45, -45).second),
              (std::vector<int>{0, 0, 0}));
  }
  // Both edges of the panorama look straight behind.
  omni->nav().set(Pose());
  ASSERT_TRUE(omni->tick());
  EXPECT_EQ(frame.at(0, H / 2), rgb(kMarkers[1].color));
  EXPECT_EQ(frame.at(W - 1, H / 2), rgb(kMarkers[1].color));
  EXPECT_EQ(frame.at(W / 2, H - 1), rgb(kMarkers[2].color));
  EXPECT_EQ(frame.at(W / 7, H - 1), rgb(kMarkers[2].color));
  EXPECT_EQ(frame.at(W / 3, 0), rgb(kMarkers[3].color));
}
