// The atom's visual drawn into a framebuffer and read back.
#include <algorithm>
#include <cmath>
#include <vector>

#include "HydrogenAtom.hpp"
#include "HydrogenVisual.hpp"
#include "gl_context.hpp"

namespace {

constexpr int kN = HydrogenVisual::kParticles;

// A flat ring of radius 0.6 facing the viewer, with radial needles from 0.54 to 0.84 (at
// "thick" 1/32) and one head colour.
std::vector<Particle> flatRing(const vl::Color& colour) {
  std::vector<Particle> ps(kN);
  for (int k = 0; k < kN; ++k) {
    const double a = 2.0 * M_PI * k / kN;
    const vl::Vec3d out(std::cos(a), std::sin(a), 0.0);
    ps[k].position = out * 0.6;
    ps[k].spin = out * 0.24;
    ps[k].colour = colour;
  }
  return ps;
}

class VisualDraw : public GLTest {
 protected:
  // Every pixel of the framebuffer as bytes.
  std::vector<unsigned char> frame() {
    fbo.bind();
    glFinish();
    std::vector<unsigned char> p(W * H * 4);
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return p;
  }
  static int covered(const std::vector<unsigned char>& p) {
    int n = 0;
    for (int i = 0; i < W * H; ++i) n += (p[4 * i] | p[4 * i + 1] | p[4 * i + 2]) != 0;
    return n;
  }
  void drawOnce(HydrogenVisual& visual) {
    g.clear(0, 0, 0, 0);
    visual.step();
    visual.draw(g);
  }
};

}  // namespace

TEST_F(VisualDraw, RibbonCoversTheBandInItsHeadColourFadingToTheTails) {
  const std::vector<Particle> ps = flatRing(vl::Color(1.f, 0.5f, 0.f, 1.f));
  HydrogenVisual visual(ps);
  visual.init();
  visual.parameters().thick.set(1.f / 32);
  visual.parameters().howTranslucent.set(1.f);
  drawOnce(visual);
  // Near the heads (radius 0.78) the band is nearly the head colour; at the centre and in the
  // corners nothing is drawn.
  for (const auto& [x, y] : {std::pair{28, 16}, {3, 15}, {15, 28}, {16, 3}}) {
    const vl::Color c = pixel(x, y);
    EXPECT_GT(c.r, 0.6f) << x << "," << y << " " << c;
    EXPECT_NEAR(c.g, c.r * 0.5f, 0.06f) << x << "," << y << " " << c;
    EXPECT_LT(c.b, 0.03f) << x << "," << y << " " << c;
  }
  // Towards the tails (radius 0.56) it darkens.
  EXPECT_LT(pixel(24, 16).r, pixel(28, 16).r);
  EXPECT_TRUE(colorNear(pixel(16, 16), vl::Color(0, 0, 0, 0)));
  EXPECT_TRUE(colorNear(pixel(0, 0), vl::Color(0, 0, 0, 0)));
  // The band has no holes: a whole circle of radius 0.7 is covered.
  for (int step = 0; step < 64; ++step) {
    const double a = 2.0 * M_PI * step / 64;
    const int x = int((0.7 * std::cos(a) + 1.0) * W / 2),
              y = int((0.7 * std::sin(a) + 1.0) * H / 2);
    EXPECT_GT(pixel(x, y).r, 0.1f) << x << "," << y;
  }
  // Blending: the ribbon's translucency lets the background through.
  visual.parameters().howTranslucent.set(0.5f);
  g.clear(0, 0, 1, 1);
  visual.step();
  visual.draw(g);
  const vl::Color c = pixel(28, 16);
  EXPECT_GT(c.b, 0.4f) << c;
  EXPECT_LT(c.b, 0.6f) << c;
  EXPECT_GT(c.r, 0.3f) << c;
}

TEST_F(VisualDraw, LineStylesDrawTheSamePictureAndIgnoreTranslucency) {
  const std::vector<Particle> ps = flatRing(vl::Color(0.f, 1.f, 0.f, 1.f));
  HydrogenVisual visual(ps);
  visual.init();
  visual.parameters().thick.set(1.f / 32);
  visual.parameters().howTranslucent.set(0.f);
  visual.level = 0.f;

  visual.parameters().drawType.set(0);
  drawOnce(visual);
  EXPECT_EQ(covered(frame()), 0);  // a fully transparent ribbon

  visual.parameters().drawType.set(1);
  drawOnce(visual);
  const std::vector<unsigned char> particles = frame();
  visual.parameters().drawType.set(2);
  drawOnce(visual);
  const std::vector<unsigned char> markers = frame();
  EXPECT_GT(covered(particles), 40);
  EXPECT_EQ(particles, markers);
  // Line pixels are green, darker towards the tails, never another hue.
  for (int i = 0; i < W * H; ++i) {
    EXPECT_EQ(particles[4 * i], 0) << i;
    EXPECT_EQ(particles[4 * i + 2], 0) << i;
  }
}

TEST_F(VisualDraw, SteppedAtomIsDrawnInItsParticlesColours) {
  HydrogenAtom atom;
  atom.init();
  AtomParameters& p = atom.parameters();
  for (auto [group, n, l, J, j, f, w] : {std::tuple{&p.wfs1, 3.f, 2.f, 2.5f, 0.5f, 0.002f, 1.f},
                                         std::tuple{&p.wfs2, 4.f, 1.f, 1.5f, -0.5f, -0.001f, 0.8f},
                                         std::tuple{&p.wfs3, 2.f, 1.f, 0.5f, 0.5f, 0.003f, 0.6f}}) {
    group->n.set(n);
    group->l.set(l);
    group->J.set(J);
    group->j.set(j);
    group->f.set(f);
    group->w.set(w);
  }
  p.newColors.set(0.f);  // phase colours: each head within [0, 1]
  for (int frame = 0; frame < 10; ++frame) atom.step(1.0 / 60);
  HydrogenVisual visual(atom.particles());
  visual.init();
  visual.parameters().howTranslucent.set(1.f);
  g.scale(8.f);  // the ring's radius is 0.08
  drawOnce(visual);
  const std::vector<unsigned char> px = frame();
  EXPECT_GT(covered(px), W * H / 20);
  // Blending black tails with the heads over black never exceeds the brightest head.
  float top[3] = {0, 0, 0};
  for (const Particle& q : atom.particles())
    for (int c = 0; c < 3; ++c) top[c] = std::max(top[c], std::min(q.colour[c], 1.f));
  for (int i = 0; i < W * H; ++i)
    for (int c = 0; c < 3; ++c) ASSERT_LE(px[4 * i + c] / 255.f, top[c] + 2.f / 255) << i;
  EXPECT_GT(*std::max_element(px.begin(), px.end()), 100);
}

TEST_F(VisualDraw, DrawingLeavesDepthAndBlendingAsItFoundThem) {
  const std::vector<Particle> ps = flatRing(vl::Color(1.f, 1.f, 1.f, 1.f));
  HydrogenVisual visual(ps);
  visual.init();
  visual.parameters().thick.set(1.f / 32);
  auto square = [&](float half, float z, const vl::Color& c) {
    vl::Mesh m(vl::Mesh::TRIANGLE_STRIP);
    m.vertex(-half, -half, z).vertex(half, -half, z).vertex(-half, half, z).vertex(half, half, z);
    g.color(c);
    g.draw(m);
  };
  // Blending is off, so the odd factors and equation must not show in the picture.
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glBlendEquation(GL_MAX);
  square(0.3f, -0.5f, vl::Color(1, 0, 0));  // near, in the middle
  visual.step();
  visual.draw(g);

  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLint src = 0, dst = 0, equation = 0;
  glGetIntegerv(GL_BLEND_SRC_RGB, &src);
  glGetIntegerv(GL_BLEND_DST_ALPHA, &dst);
  glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &equation);
  EXPECT_EQ(src, GL_ONE);
  EXPECT_EQ(dst, GL_ONE);
  EXPECT_EQ(equation, GL_MAX);
  // A far square over the whole frame, drawn after the atom, stays behind the near one.
  square(1.f, 0.5f, vl::Color(0, 0, 1));
  EXPECT_TRUE(colorNear(pixel(16, 16), vl::Color(1, 0, 0)));
  EXPECT_TRUE(colorNear(pixel(1, 1), vl::Color(0, 0, 1)));

  glDisable(GL_DEPTH_TEST);
  glBlendFunc(GL_ONE, GL_ZERO);
  glBlendEquation(GL_FUNC_ADD);
}
