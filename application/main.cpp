// Until the piece itself is assembled, ZENTHA shows one atom: a fixed superposition of three
// hydrogen eigenstates drawn as a translucent ribbon of spin needles. Dragging with the mouse
// turns it; the navigation keys move the camera around it.
#include "HydrogenAtom.hpp"
#include "HydrogenVisual.hpp"
#include "app/vl_App.hpp"
#include "core/vl_Console.hpp"

class AtomDemo : public vl::App {
 public:
  void onCreate() override {
    AtomParameters& p = mAtom.parameters();
    // Low states keep the spin needles long enough to see at the ring's distance.
    setState(p.wfs1, 2, 1, 1.5f, 0.5f, 0.002f, 1.0f);
    setState(p.wfs2, 1, 0, 0.5f, 0.5f, -0.003f, 0.9f);
    setState(p.wfs3, 2, 1, 0.5f, -0.5f, 0.001f, 0.8f);
    p.polyBeta.set(0.15f);
    p.polyVel.set(0.002f);  // a slow drift keeps the ring in view
    mAtom.init();
    mVisual.init();
    mVisual.parameters().thick.set(0.1f);
    mVisual.parameters().howTranslucent.set(0.6f);
    nav().pos() = vl::Vec3d(0.0, 0.0, 5.0);
    nav().setHome();
    vl::print(
        "ZENTHA atom: drag with the mouse to turn it; w/x/a/d/e/c move, arrows turn, "
        "control-q quits\n");
  }

  void onAnimate(double dt) override {
    mAtom.step(dt);
    mVisual.step();
  }

  void onDraw(vl::Graphics& g) override {
    g.clear(0.f, 0.f, 0.f);
    g.pushMatrix();
    g.translate(0.f, 0.25f, 0.f);  // the needles hang mostly below the ring
    g.rotate(mTurnX, 1.f, 0.f, 0.f);
    g.rotate(mTurnY, 0.f, 1.f, 0.f);
    // The ring's radius is 0.08 simulation units; show it about a unit across.
    g.scale(kScale);
    mVisual.draw(g);
    g.popMatrix();
  }

  bool onMouseDrag(const vl::Mouse& m) override {
    mTurnY += 0.4f * float(m.dx());
    mTurnX += 0.4f * float(m.dy());
    return true;
  }

 private:
  static constexpr float kScale = 5.0f;

  static void setState(WaveFunctionParameters& g, float n, float l, float J, float j, float f,
                       float w) {
    g.n.set(n);
    g.l.set(l);
    g.J.set(J);
    g.j.set(j);
    g.f.set(f);
    g.w.set(w);
  }

  HydrogenAtom mAtom;
  HydrogenVisual mVisual{mAtom.particles()};
  float mTurnX = 20.f, mTurnY = 0.f;
};

int main() {
  AtomDemo app;
  app.start();
  return 0;
}
