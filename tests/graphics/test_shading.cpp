// Pixels drawn by every colouring mode against colours computed on the CPU.
#include <cmath>
#include <vector>

#include "gl_context.hpp"
#include "graphics/vl_Shapes.hpp"

using namespace vl;
using Mode = Graphics::ColoringMode;

namespace {

VAOMesh fullRect() {
  VAOMesh m;
  addRect(m, -1.f, -1.f, 2.f, 2.f);
  return m;
}

glm::vec3 rgb(const Color& c) {
  return {c.r, c.g, c.b};
}

// The lighting of the default lit fragment shaders, evaluated on the CPU for one fragment.
struct Surface {
  glm::vec3 ambient, diffuse, specular;
  float shininess;
};

struct EyeLight {
  Light light;
  glm::vec4 eyePos;  // view × position
  bool enabled;
};

Color shade(const Surface& s, glm::vec3 normalEye, glm::vec3 vertEye,
            const std::vector<EyeLight>& lights, const Color& tint) {
  glm::vec3 n = glm::normalize(normalEye), e = glm::normalize(-vertEye), lit(0.f);
  for (const EyeLight& l : lights) {
    glm::vec3 d = glm::normalize(glm::vec3(l.eyePos) - vertEye * l.eyePos.w);
    glm::vec3 r = -glm::reflect(d, n);
    float nd = std::max(glm::dot(n, d), 0.f), er = std::max(glm::dot(e, r), 0.f);
    glm::vec3 term = s.ambient * rgb(l.light.ambient) + s.diffuse * rgb(l.light.diffuse) * nd +
                     s.specular * rgb(l.light.specular) * std::pow(er, s.shininess);
    if (l.enabled) lit += term;
  }
  lit += s.ambient * rgb(Graphics::globalAmbient());
  return {tint.r * lit.x, tint.g * lit.y, tint.b * lit.z, tint.a};
}

Surface plain(const Color& c) {
  glm::vec3 v = rgb(c) * c.a;
  return {v, v, v, 5.f};
}

// A lit scene: the full-screen rect turned away from the viewer and seen through a rotated
// view, with identity projection so that eye space is clip space.
class LitTest : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    view = glm::rotate(Mat4f(1.f), glm::radians(25.f), glm::vec3(0, 0, 1));
    model = glm::rotate(glm::translate(Mat4f(1.f), glm::vec3(0, 0, -0.5f)), glm::radians(20.f),
                        glm::vec3(0, 1, 0));
  }

  void place() {
    g.viewMatrix(view);
    g.projMatrix(Mat4f(1.f));
    g.modelMatrix(model);
  }

  // Eye-space point and normal of the rect under pixel (x, y); false off the rect's inner part.
  bool surfaceAt(int x, int y, glm::vec3& p, glm::vec3& n) const {
    Mat4f mv = view * model;
    n = glm::normalize(glm::mat3(glm::transpose(glm::inverse(mv))) * glm::vec3(0, 0, 1));
    glm::vec3 p0(mv * glm::vec4(0, 0, 0, 1));
    float px = ndcX(x), py = ndcY(y);
    p = {px, py, p0.z - (n.x * (px - p0.x) + n.y * (py - p0.y)) / n.z};
    glm::vec4 local = glm::inverse(mv) * glm::vec4(p, 1.f);
    return std::fabs(local.x) < 0.9f && std::fabs(local.y) < 0.9f;
  }

  std::vector<EyeLight> eyeLights(int count) const {
    std::vector<EyeLight> out;
    for (int i = 0; i < count; ++i) {
      const Light& l = lights[static_cast<std::size_t>(i)];
      glm::vec4 p(l.position[0], l.position[1], l.position[2], l.position[3]);
      out.push_back({l, view * p, enabled[static_cast<std::size_t>(i)]});
    }
    return out;
  }

  // Every sampled pixel on the rect matches the CPU lighting; returns how many were checked.
  int expectLit(const Surface& s, const Color& tint, int count) {
    int checked = 0;
    for (int y = 1; y < H; y += 3)
      for (int x = 1; x < W; x += 3) {
        glm::vec3 p, n;
        if (!surfaceAt(x, y, p, n)) continue;
        ++checked;
        EXPECT_TRUE(colorNear(pixel(x, y), shade(s, n, p, eyeLights(count), tint)))
            << "pixel " << x << ", " << y;
      }
    return checked;
  }

  Mat4f view{1.f}, model{1.f};
  std::array<Light, 8> lights{};
  std::array<bool, 8> enabled{true, true, true, true, true, true, true, true};
};

}  // namespace

TEST_F(GLTest, UnlitModesColourAndTint) {
  VAOMesh rect = fullRect();
  // Uniform colour, tinted; alpha passes through multiplied.
  g.color(0.2f, 0.4f, 0.6f, 0.8f);
  g.tint(0.5f, 1.f, 1.f, 0.5f);
  g.draw(rect);
  EXPECT_TRUE(colorNear(pixel(3, 20), {0.1f, 0.4f, 0.6f, 0.4f}));

  // Per-vertex colours interpolate: red on the left edge, blue on the right.
  VAOMesh mesh = fullRect();
  for (Color c : {Color(1, 0, 0), Color(0, 0, 1), Color(0, 0, 1), Color(1, 0, 0)}) mesh.color(c);
  g.tint(1.f);
  g.meshColor();
  g.clear(0, 0, 0);
  g.draw(mesh);
  for (int x : {0, 7, 16, 31}) {
    float u = (static_cast<float>(x) + 0.5f) / W;
    EXPECT_TRUE(colorNear(pixel(x, 9), {1.f - u, 0.f, u, 1.f})) << x;
  }

  // Texture: a 2×2 image sampled with the rect's coordinates, nearest filtering.
  Texture tex;
  tex.create2D(2, 2);
  tex.filter(GL_NEAREST);
  const unsigned char texels[16] = {255, 0, 0,   255, 0,   255, 0,   255,
                                    0,   0, 255, 255, 255, 255, 255, 255};
  tex.submit(texels);
  g.texture(tex);
  g.tint(1.f, 1.f, 1.f, 0.5f);
  g.clear(0, 0, 0);
  g.draw(rect);
  EXPECT_TRUE(colorNear(pixel(4, 4), {1, 0, 0, 0.5f}));
  EXPECT_TRUE(colorNear(pixel(28, 4), {0, 1, 0, 0.5f}));
  EXPECT_TRUE(colorNear(pixel(4, 28), {0, 0, 1, 0.5f}));
  EXPECT_TRUE(colorNear(pixel(28, 28), {1, 1, 1, 0.5f}));

  // A plain Mesh is uploaded on the fly; without colours it reads white in mesh mode.
  Mesh plainRect;
  addRect(plainRect, -1.f, -1.f, 1.f, 2.f);
  g.tint(1.f);
  g.meshColor();
  g.clear(0, 0, 0);
  g.draw(plainRect);
  EXPECT_TRUE(colorNear(pixel(5, 5), {1, 1, 1, 1}));
  EXPECT_TRUE(colorNear(pixel(25, 5), {0, 0, 0, 1}));
}

TEST_F(GLTest, BlendEquationsCombineAsNamed) {
  VAOMesh rect = fullRect();
  using E = Graphics::BlendEquation;
  g.pushState();
  g.blendAdd();  // source alpha, one
  // Over a background of 0.5: the source of 0.2 added, taken away either way, the smaller,
  // the larger.
  for (auto [e, expected] : {std::pair{E::ADD, 0.7f},
                             {E::SUBTRACT, 0.f},
                             {E::REVERSE_SUBTRACT, 0.3f},
                             {E::MIN, 0.2f},
                             {E::MAX, 0.5f}}) {
    g.clear(0.5f, 0.5f, 0.5f, 1.f);
    g.blendEquation(e);
    g.color(0.2f, 0.2f, 0.2f, 1.f);
    g.draw(rect);
    EXPECT_NEAR(pixel(8, 8).g, expected, 2.5f / 255) << int(e);
  }
  g.popState();
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(GLTest, MaterialWithoutLightingDrawsTheUniformColour) {
  VAOMesh rect = fullRect();
  g.color(0.3f, 0.6f, 0.9f);
  Material m;
  m.ambient = {1.f, 0.f, 0.f, 1.f};
  m.diffuse = {0.f, 1.f, 0.f, 1.f};
  g.material(m);
  g.lighting(false);
  g.draw(rect);
  EXPECT_TRUE(colorNear(pixel(10, 10), {0.3f, 0.6f, 0.9f, 1.f}));
  EXPECT_EQ(g.shader(), &g.defaultShader(0));
}

TEST_F(LitTest, OneLightInEveryColouringModeMatchesTheCpu) {
  lights[0].ambient = {0.1f, 0.1f, 0.1f, 1.f};
  lights[0].diffuse = {0.5f, 0.4f, 0.3f, 1.f};
  lights[0].specular = {0.3f, 0.3f, 0.3f, 1.f};
  lights[0].dir(0.3f, 0.2f, 1.f);
  const Color base{0.6f, 0.5f, 0.4f, 0.8f};
  const Color tint{1.f, 0.9f, 0.8f, 1.f};

  VAOMesh rect = fullRect();
  VAOMesh colored = fullRect();
  for (int i = 0; i < 4; ++i) colored.color(base);
  Texture tex;
  tex.create2D(1, 1);
  const unsigned char texel[4] = {153, 128, 102, 204};  // base, as bytes
  tex.submit(texel);
  const Color texBase{153 / 255.f, 128 / 255.f, 102 / 255.f, 204 / 255.f};
  Material mat;
  mat.ambient = {0.3f, 0.2f, 0.1f, 1.f};
  mat.diffuse = {0.4f, 0.5f, 0.6f, 0.5f};
  mat.specular = {0.5f, 0.5f, 0.2f, 1.f};
  mat.shininess = 12.f;

  g.lighting(true);
  g.numLight(1);
  g.light(lights[0], 0);
  g.tint(tint);
  for (Mode mode : {Mode::UNIFORM, Mode::MESH, Mode::TEXTURE, Mode::MATERIAL}) {
    SCOPED_TRACE(static_cast<int>(mode));
    g.clear(0, 0, 0, 0);
    place();
    Surface s = plain(base);
    VAOMesh* mesh = &rect;
    switch (mode) {
      case Mode::UNIFORM:
        g.color(base);
        break;
      case Mode::MESH:
        g.meshColor();
        mesh = &colored;
        break;
      case Mode::TEXTURE:
        g.texture(tex);
        s = plain(texBase);
        break;
      default:
        g.material(mat);
        s = {rgb(mat.ambient) * mat.ambient.a, rgb(mat.diffuse) * mat.diffuse.a,
             rgb(mat.specular) * mat.specular.a, mat.shininess};
        break;
    }
    g.draw(*mesh);
    EXPECT_EQ(g.shader(), &g.defaultShader(Graphics::defaultShaderIndex(mode, true, false, 1)));
    EXPECT_GT(expectLit(s, tint, 1), 40);
  }
}

TEST_F(LitTest, EightLightsSumWithDisabledOnesLeftOut) {
  for (int i = 0; i < 8; ++i) {
    Light& l = lights[static_cast<std::size_t>(i)];
    Color hue = Color::fromHSV(static_cast<float>(i) / 8.f, 0.7f, 1.f);
    l.ambient = {0.02f, 0.02f, 0.03f, 1.f};
    l.diffuse = {hue.r * 0.09f, hue.g * 0.09f, hue.b * 0.09f, 1.f};
    l.specular = {0.03f, 0.03f, 0.03f, 1.f};
    float a = static_cast<float>(i) * 0.8f;
    if (i % 2)
      l.pos(0.6f * std::cos(a), 0.6f * std::sin(a), 0.4f);
    else
      l.dir(std::cos(a), std::sin(a), 1.5f);
  }
  enabled[5] = false;
  enabled[2] = false;

  g.lighting(true);
  g.numLight(8);
  for (int i = 0; i < 8; ++i) {
    g.light(lights[static_cast<std::size_t>(i)], i);
    g.lightEnabled(i, enabled[static_cast<std::size_t>(i)]);
  }
  const Color base{0.9f, 0.8f, 0.7f, 1.f};
  g.color(base);
  place();
  VAOMesh rect = fullRect();
  g.draw(rect);
  EXPECT_EQ(g.shader(),
            &g.defaultShader(Graphics::defaultShaderIndex(Mode::UNIFORM, true, false, 8)));
  EXPECT_GT(expectLit(plain(base), {1, 1, 1, 1}, 8), 40);

  // Fewer lights in use ignore the rest.
  g.numLight(3);
  g.clear(0, 0, 0, 0);
  g.draw(rect);
  EXPECT_GT(expectLit(plain(base), {1, 1, 1, 1}, 3), 40);
}

TEST_F(LitTest, DirectionalAndPositionalLights) {
  // Facing the viewer, half a unit away, no specular: a directional light along the view
  // axis lights every pixel alike, a point light at the eye falls off towards the corners.
  view = Mat4f(1.f);
  model = glm::translate(Mat4f(1.f), glm::vec3(0, 0, -0.5f));
  lights[0].ambient = {0.f, 0.f, 0.f, 1.f};
  lights[0].diffuse = {0.7f, 0.7f, 0.7f, 1.f};
  lights[0].specular = {0.f, 0.f, 0.f, 1.f};
  const Color base{1.f, 1.f, 1.f, 1.f};
  VAOMesh rect = fullRect();
  g.lighting(true);
  g.color(base);

  lights[0].dir(0.f, 0.f, 1.f);
  g.light(lights[0], 0);
  place();
  g.draw(rect);
  EXPECT_GT(expectLit(plain(base), {1, 1, 1, 1}, 1), 40);
  EXPECT_TRUE(colorNear(pixel(16, 16), pixel(1, 1), 1.f / 255.f));

  lights[0].pos(0.f, 0.f, 0.f);
  g.light(lights[0], 0);
  g.clear(0, 0, 0, 0);
  g.draw(rect);
  EXPECT_GT(expectLit(plain(base), {1, 1, 1, 1}, 1), 40);
  EXPECT_GT(pixel(16, 16).r - pixel(1, 1).r, 0.2f);
}

TEST_F(LitTest, NormalsAndLightsFollowMatricesChangedAfterTheUniforms) {
  lights[0].diffuse = {0.6f, 0.6f, 0.6f, 1.f};
  lights[0].specular = {0.2f, 0.2f, 0.2f, 1.f};
  lights[0].pos(0.5f, 0.5f, 0.5f);
  VAOMesh rect = fullRect();
  g.lighting(true);
  g.light(lights[0], 0);
  g.color(0.7f, 0.7f, 0.7f);
  place();
  g.draw(rect);
  EXPECT_GT(expectLit(plain({0.7f, 0.7f, 0.7f}), {1, 1, 1, 1}, 1), 40);

  // Only the model changes: the normal matrix must follow.
  model = glm::rotate(glm::translate(Mat4f(1.f), glm::vec3(0, 0, -0.5f)), glm::radians(-15.f),
                      glm::vec3(1, 0, 0));
  g.modelMatrix(model);
  g.clear(0, 0, 0, 0);
  g.draw(rect);
  EXPECT_GT(expectLit(plain({0.7f, 0.7f, 0.7f}), {1, 1, 1, 1}, 1), 40);

  // Only the view changes: the light's eye position must follow.
  view = glm::rotate(Mat4f(1.f), glm::radians(-40.f), glm::vec3(0, 0, 1));
  g.viewMatrix(view);
  g.clear(0, 0, 0, 0);
  g.draw(rect);
  EXPECT_GT(expectLit(plain({0.7f, 0.7f, 0.7f}), {1, 1, 1, 1}, 1), 40);
}

TEST_F(LitTest, GlobalAmbientChangeReachesTheNextDraw) {
  lights[0].diffuse = {0.f, 0.f, 0.f, 1.f};
  lights[0].specular = {0.f, 0.f, 0.f, 1.f};
  VAOMesh rect = fullRect();
  g.lighting(true);
  g.light(lights[0], 0);
  g.color(1.f, 1.f, 1.f);
  place();
  g.draw(rect);
  EXPECT_TRUE(colorNear(pixel(16, 16), {0.2f, 0.2f, 0.2f, 1.f}));
  Graphics::globalAmbient({0.5f, 0.25f, 0.f, 1.f});
  g.clear(0, 0, 0, 0);
  g.draw(rect);
  Color seen = pixel(16, 16);
  Graphics::globalAmbient({0.2f, 0.2f, 0.2f, 1.f});
  EXPECT_TRUE(colorNear(seen, {0.5f, 0.25f, 0.f, 1.f}));
}
