// The title panel's button, clicked for real (xdotool) where it is drawn in a window on a
// virtual display.
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "../io/XdoTool.hpp"
#include "PickableButton.hpp"
#include "graphics/vl_FontPath.hpp"
#include "graphics/vl_Viewpoint.hpp"
#include "io/vl_PickableManager.hpp"
#include "io/vl_Window.hpp"

using namespace vl;

namespace {

// A button drawn every frame in a real window, the window's mouse callbacks sending pick
// events along the pointer's ray, as the application's mouse hooks do.
class ClickedButton : public testing::Test {
 protected:
  void SetUp() override {
    initializeWindowManager();
    win.title("vl-button");
    win.dimensions(640, 480);
    ASSERT_TRUE(win.create(false));
    win.makeCurrent();
    g.init();
    ASSERT_TRUE(font.load(defaultFontPath(), 128, 1024));
    manager << button;
    button.onPress([this] { ++presses; });
    proj = Lens().projection(float(win.width()) / float(win.height()));
    view = viewMatrix(eye);
    auto ray = [this](const Mouse& mo) {
      return PickableManager::pickRay(mo.x(), mo.y(), win.width(), win.height(), proj, view);
    };
    win.onMouseMove = [=, this](const Mouse& mo) { return manager.point(ray(mo)), true; };
    win.onMouseDown = [=, this](const Mouse& mo) { return manager.pick(ray(mo)), true; };
    win.onMouseUp = [=, this](const Mouse& mo) { return manager.unpick(ray(mo)), true; };
    id = xdo::findWindow("vl-button");
    ASSERT_NE(id, "");
  }
  // Where a world point shows in the window, in pixels from the top left.
  std::pair<int, int> toWindow(float x, float y, float z) const {
    const glm::vec4 c = proj * view * glm::vec4(x, y, z, 1.f);
    return {int((c.x / c.w + 1.f) / 2.f * win.width()),
            int((1.f - c.y / c.w) / 2.f * win.height())};
  }
  // Draws a frame and reads the grey level at a window pixel before the frame is shown.
  float greyAt(std::pair<int, int> p) {
    g.defaultFramebuffer();
    g.viewport(0, 0, win.fbWidth(), win.fbHeight());
    g.resetMatrixStack();
    g.viewMatrix(view);
    g.projMatrix(proj);
    g.clear(0, 0, 0);
    button.draw(g, font);
    unsigned char px[4] = {};
    glFinish();
    glReadPixels(p.first, win.height() - 1 - p.second, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    win.refresh();
    return px[1] / 255.f;
  }
  bool clickAt(std::pair<int, int> p) {
    const std::string x = std::to_string(p.first), y = std::to_string(p.second);
    return xdo::run(
               {"windowfocus", "--sync", id, "mousemove", "--window", id, x, y, "click", "1"}) == 0;
  }

  Window win;  // first in, last out: the GL objects below go while its context lives
  Graphics g;
  Font font;
  PickableButton button{"start", 0.2f, 0.05f, 0.6f, 0.07f};
  PickableManager manager;
  Pose eye{Vec3d{0.5, 0.3, 0.0}};
  Mat4f proj, view;
  std::string id;
  int presses = 0;
};

}  // namespace

TEST_F(ClickedButton, RealClickRunsTheCallbacksOnce) {
  // Inside the box, clear of the centred text.
  const auto onButton = toWindow(0.25f, 0.05f + button.height() / 2, -2.f);
  const auto offButton = toWindow(-0.2f, 0.5f, -2.f);
  EXPECT_NEAR(greyAt(onButton), 0.5f, 0.02f);  // drawn where the ray will find it
  ASSERT_TRUE(clickAt(onButton));
  ASSERT_TRUE(xdo::pumpUntil([&] { return presses > 0 && button.selected.get() == 1.f; }, 5.0));
  xdo::pumpFor(0.3);
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(button.selected.get(), 1.f);  // the release did not clear it
  EXPECT_NEAR(greyAt(onButton), 1.f, 0.02f);

  ASSERT_TRUE(clickAt(offButton));  // a press that misses clears it
  ASSERT_TRUE(xdo::pumpUntil([&] { return button.selected.get() == 0.f; }, 5.0));
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(button.hover.get(), 0.f);
  EXPECT_NEAR(greyAt(onButton), 0.5f, 0.02f);
}
