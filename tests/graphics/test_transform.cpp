// Where the default vertex shaders put vertices, and when matrices reach the program.
#include <cmath>
#include <vector>

#include "gl_context.hpp"
#include "graphics/vl_Shapes.hpp"

using namespace vl;
using Mode = Graphics::ColoringMode;

namespace {

// The stereo displacements, written out on the CPU from their definition.
glm::vec4 planarDisplace(glm::vec4 v, float e, float f) {
  float l = std::sqrt((v.x - e) * (v.x - e) + v.y * v.y + v.z * v.z);
  float z = std::fabs(v.z);
  float t = f * (v.x - e) / z;
  v.x = z * (e + t) / f;
  glm::vec3 d = glm::normalize(glm::vec3(v)) * l;
  return {d, v.w};
}

glm::vec4 sphericalDisplace(glm::vec4 v, float e, float r) {
  glm::vec3 oe = glm::normalize(glm::vec3(-v.z, 0.f, v.x)) * e;
  glm::vec3 ev = glm::vec3(v) - oe;
  float len = glm::length(ev);
  ev /= len;
  float b = -glm::dot(oe, ev);
  float cc = e * e - r * r;
  float t = -b + std::sqrt(b * b - cc);
  glm::vec3 d = glm::normalize(oe + t * ev) * len;
  return {d, v.w};
}

class TransformTest : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    pose = Pose({1.0, 2.0, 8.0}, Quatd::fromAxisAngle(0.2, {0.3, 1.0, 0.1}));
    viewpoint.pose(pose);
    viewpoint.lens().fovy = 40.0;
    points.primitive(Mesh::POINTS);
    const float coords[][3] = {{0, 0, 0},  {1, 1, 1},    {-2, 0.5f, 1},  {0.3f, -1.2f, 2.5f},
                               {3, 2, -4}, {-1, -1, -2}, {0.1f, 4, 0.7f}};
    for (const auto& c : coords)
      points.vertex(c[0], c[1], c[2]).color(1, 0, 0).texCoord(0.5f, 0.5f).normal(0, 1, 0);
  }

  void placeScene() {
    g.resetMatrixStack();
    g.camera(viewpoint);
    g.translate(0.3f, -0.2f, 0.1f);
    g.rotate(30.f, 1.f, 1.f, 0.f);
    g.scale(1.5f);
  }

  Mat4f modelView() const { return g.viewMatrix() * g.modelMatrix(); }

  // Runs the points through the vertex stage of `source` (recompiled to record gl_Position)
  // with the current matrices and the given displacement uniforms.
  std::vector<glm::vec4> capture(const ShaderProgram& source, float eyeSep, float focLen) {
    ShaderProgram tf;
    tf.captureVaryings({"gl_Position"});
    EXPECT_TRUE(tf.compile(source.vertSource(), source.fragSource()));
    g.shader(tf);
    tf.uniform("eye_sep", eyeSep);
    tf.uniform("foc_len", focLen);
    const std::size_t n = points.vertices().size();
    BufferObject out(GL_TRANSFORM_FEEDBACK_BUFFER);
    out.data(n * sizeof(glm::vec4), nullptr);
    glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, out.id());
    glEnable(GL_RASTERIZER_DISCARD);
    glBeginTransformFeedback(GL_POINTS);
    g.draw(points);
    glEndTransformFeedback();
    glDisable(GL_RASTERIZER_DISCARD);
    std::vector<glm::vec4> clip(n);
    glGetBufferSubData(GL_TRANSFORM_FEEDBACK_BUFFER, 0,
                       static_cast<GLsizeiptr>(n * sizeof(glm::vec4)), clip.data());
    glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, 0);
    return clip;
  }

  static void expectClose(const glm::vec4& got, const glm::vec4& want, float relTol) {
    float scale = std::max(1.f, glm::length(want));
    for (int i = 0; i < 4; ++i)
      EXPECT_NEAR(got[i], want[i], relTol * scale)
          << "component " << i << " of (" << want.x << ", " << want.y << ", " << want.z << ", "
          << want.w << ")";
  }

  Pose pose;
  Viewpoint viewpoint;
  VAOMesh points;
};

}  // namespace

TEST_F(TransformTest, WithoutEyeSeparationEveryDefaultProgramProjectsExactly) {
  placeScene();
  const Mat4f mv = modelView(), proj = g.projMatrix();
  for (int i = 0; i < Graphics::NUM_DEFAULT_SHADERS; ++i) {
    SCOPED_TRACE(i);
    std::vector<glm::vec4> clip = capture(g.defaultShader(i), 0.f, 6.f);
    for (std::size_t k = 0; k < clip.size(); ++k) {
      const Vec3f& p = points.vertices()[k];
      expectClose(clip[k], proj * mv * glm::vec4(p[0], p[1], p[2], 1.f), 1e-5f);
    }
  }
}

TEST_F(TransformTest, StereoDisplacementFollowsItsDefinition) {
  placeScene();
  const Mat4f mv = modelView(), proj = g.projMatrix();
  const float e = 0.03f, f = 5.f;
  for (bool omni : {false, true}) {
    for (int lights : {0, 1, 8}) {
      SCOPED_TRACE(omni ? "spherical" : "planar");
      int index = Graphics::defaultShaderIndex(Mode::MESH, lights > 0, omni, lights);
      std::vector<glm::vec4> clip = capture(g.defaultShader(index), e, f);
      for (std::size_t k = 0; k < clip.size(); ++k) {
        const Vec3f& p = points.vertices()[k];
        glm::vec4 eye = mv * glm::vec4(p[0], p[1], p[2], 1.f);
        glm::vec4 shifted = omni ? sphericalDisplace(eye, e, f) : planarDisplace(eye, e, f);
        expectClose(clip[k], proj * shifted, 2e-4f);
        // The displacement is real: the point moved.
        EXPECT_GT(glm::length(clip[k] - proj * eye), 1e-4f);
      }
    }
  }
}

TEST_F(TransformTest, EyeSeparationUniformsComeFromTheEyeAndTheLens) {
  viewpoint.lens().eyeSep = 0.1;
  viewpoint.lens().focalLength = 7.0;
  g.camera(viewpoint);
  g.color(1, 1, 1);
  auto uniformValue = [&](const char* name) {
    float v = -100.f;
    glGetUniformfv(g.shader()->id(), glGetUniformLocation(g.shader()->id(), name), &v);
    return v;
  };
  g.update();
  EXPECT_EQ(uniformValue("eye_sep"), 0.f);  // centre eye
  EXPECT_FLOAT_EQ(uniformValue("foc_len"), 7.f);
  g.eye(1);
  g.update();
  EXPECT_FLOAT_EQ(uniformValue("eye_sep"), 0.05f);
  g.eye(-1);
  g.eyeSep(0.06);
  g.focalLength(4.0);
  g.lighting(true);
  g.update();
  EXPECT_FLOAT_EQ(uniformValue("eye_sep"), -0.03f);
  EXPECT_FLOAT_EQ(uniformValue("foc_len"), 4.f);
}

TEST_F(TransformTest, DrawnPointLandsOnItsProjectedPixel) {
  placeScene();
  const Mat4f mvp = g.projMatrix() * modelView();
  g.color(1, 1, 1);
  g.pointSize(1.f);
  VAOMesh one(Mesh::POINTS);
  one.vertex(0.1f, 0.2f, -0.3f);
  glm::vec4 c = mvp * glm::vec4(0.1f, 0.2f, -0.3f, 1.f);
  int px = static_cast<int>(std::floor((c.x / c.w + 1.f) * 0.5f * W));
  int py = static_cast<int>(std::floor((c.y / c.w + 1.f) * 0.5f * H));
  ASSERT_TRUE(px > 2 && px < W - 2 && py > 2 && py < H - 2);
  for (bool lit : {false, true}) {
    g.lighting(lit);
    g.clear(0, 0, 0, 0);
    g.draw(one);
    EXPECT_GT(pixel(px, py).r, 0.15f);
    EXPECT_EQ(pixel(px + 2, py).a, 0.f);
    EXPECT_EQ(pixel(px, py - 2).a, 0.f);
  }
}

TEST_F(GLTest, MatricesReachTheProgramOnlyWhenAStackChanged) {
  VAOMesh rect;
  addRect(rect, -1.f, -1.f, 2.f, 2.f);
  g.color(1, 1, 1);
  g.draw(rect);
  ASSERT_GT(pixel(16, 16).r, 0.9f);

  // Overwrite the uploaded matrices behind the manager's back, pushing the rect off screen.
  const unsigned prog = g.shader()->id();
  const Mat4f away = glm::translate(Mat4f(1.f), glm::vec3(5.f, 0.f, 0.f));
  glUniformMatrix4fv(glGetUniformLocation(prog, "vl_ModelViewMatrix"), 1, GL_FALSE, &away[0][0]);
  g.clear(0, 0, 0, 0);
  g.color(0.5f, 0.5f, 0.5f);  // a uniform change alone does not resend matrices
  g.draw(rect);
  EXPECT_EQ(pixel(16, 16).a, 0.f);

  g.translate(0.f, 0.f, 0.f);  // a model change resends the model-view
  g.clear(0, 0, 0, 0);
  g.draw(rect);
  EXPECT_GT(pixel(16, 16).r, 0.4f);

  glUniformMatrix4fv(glGetUniformLocation(prog, "vl_ProjectionMatrix"), 1, GL_FALSE, &away[0][0]);
  g.pushMatrix();
  g.scale(1.f);  // changes the model only: the projection stays as overwritten
  g.clear(0, 0, 0, 0);
  g.draw(rect);
  EXPECT_EQ(pixel(16, 16).a, 0.f);
  g.popMatrix();

  g.projMatrix(Mat4f(1.f));
  g.clear(0, 0, 0, 0);
  g.draw(rect);
  EXPECT_GT(pixel(16, 16).r, 0.4f);

  // Selecting another program sends both again.
  glUniformMatrix4fv(glGetUniformLocation(prog, "vl_ProjectionMatrix"), 1, GL_FALSE, &away[0][0]);
  g.lighting(true);
  g.draw(rect);
  g.lighting(false);
  g.clear(0, 0, 0, 0);
  g.draw(rect);
  EXPECT_GT(pixel(16, 16).r, 0.4f);
}

TEST_F(GLTest, ProgramSelectionFollowsModeLightingOmniAndLightCount) {
  struct Case {
    Mode mode;
    bool lit, omni;
    int lights, index;
  } cases[] = {
      {Mode::UNIFORM, false, false, 1, 0}, {Mode::MESH, false, false, 3, 1},
      {Mode::TEXTURE, false, true, 1, 37}, {Mode::MATERIAL, false, true, 1, 35},
      {Mode::UNIFORM, true, false, 1, 3},  {Mode::MATERIAL, true, false, 1, 6},
      {Mode::MESH, true, true, 8, 67},     {Mode::TEXTURE, true, false, 2, 9},
      {Mode::MATERIAL, true, true, 8, 69},
  };
  for (const Case& c : cases) {
    g.coloringMode(c.mode);
    g.lighting(c.lit);
    g.omni(c.omni);
    g.numLight(c.lights);
    g.update();
    EXPECT_EQ(Graphics::defaultShaderIndex(c.mode, c.lit, c.omni, c.lights), c.index);
    EXPECT_EQ(g.shader(), &g.defaultShader(c.index)) << c.index;
  }
  // The user's program stays until a colouring mode is chosen again.
  ShaderProgram own;
  ASSERT_TRUE(own.compile(g.defaultShader(0).vertSource(), g.defaultShader(0).fragSource()));
  g.shader(own);
  g.lighting(false);
  g.update();
  EXPECT_EQ(g.shader(), &own);
  EXPECT_EQ(g.coloringMode(), Mode::CUSTOM);
  g.color(1, 0, 0);
  g.update();
  EXPECT_EQ(g.shader(), &g.defaultShader(35));
}
