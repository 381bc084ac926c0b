// Until the piece itself is assembled, ZENTHA opens a view of its spine: a lit mesh that
// turns on its own while the navigation keys move the camera around it.
#include <cstdio>

#include "app/vl_App.hpp"
#include "graphics/vl_Shapes.hpp"
#include "graphics/vl_VAOMesh.hpp"

class SpineDemo : public vl::App {
 public:
  void onCreate() override {
    vl::addTorus(mMesh, 0.35, 1.0, 64, 32);
    mMesh.update();
    nav().pos() = vl::Vec3d(0.0, 0.0, 6.0);
    nav().setHome();
    std::printf("ZENTHA spine demo: w/x/a/d/e/c move, arrows turn, control-q quits\n");
  }

  void onAnimate(double dt) override { mAngle += 40.0 * dt; }

  void onDraw(vl::Graphics& g) override {
    g.clear(0.08f, 0.08f, 0.12f);
    g.depthTesting(true);
    g.lighting(true);
    g.light(0).pos(2.f, 3.f, 4.f);
    g.pushMatrix();
    g.rotate(static_cast<float>(mAngle), 0.3f, 1.f, 0.1f);
    g.color(0.9f, 0.55f, 0.2f);
    g.draw(mMesh);
    g.popMatrix();
  }

 private:
  vl::VAOMesh mMesh;
  double mAngle = 0.0;
};

int main() {
  SpineDemo app;
  app.start();
  return 0;
}
