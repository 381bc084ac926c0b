// Shader objects and their logs, warnings, and the life cycle of the OpenGL wrappers.
#include <regex>
#include <string>

#include "core/vl_Warn.hpp"
#include "gl_context.hpp"
#include "graphics/vl_VAOMesh.hpp"

using namespace vl;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

namespace {
int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}
}  // namespace

TEST_F(GLTest, MissingUniformWarnsOncePerProcess) {
  const ShaderProgram& p = g.defaultShader(0);
  CaptureStdout();
  EXPECT_EQ(p.uniform("not_there_at_all"), -1);
  EXPECT_EQ(p.uniform("not_there_at_all"), -1);
  ShaderProgram other;
  ASSERT_TRUE(other.compile(p.vertSource(), p.fragSource()));
  EXPECT_EQ(other.uniform("not_there_at_all"), -1);  // same message: still silent
  EXPECT_EQ(other.uniform("also_missing"), -1);
  EXPECT_GE(other.uniform("col0"), 0);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(countOf(out, "No such uniform named \"not_there_at_all\"\n"), 1) << out;
  EXPECT_EQ(countOf(out, "No such uniform named \"also_missing\"\n"), 1) << out;
  EXPECT_TRUE(std::regex_search(
      out, std::regex(R"(vl_Shader\.cpp:[0-9]+: No such uniform named "not_there_at_all"\n)")))
      << out;
  // A missing location makes uploads a harmless no-op.
  p.use();
  p.uniform("not_there_at_all", 1.f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(Warn, LocatedAndOnceVariants) {
  CaptureStdout();
  warn("here.cpp", 12, "plain\n");
  warn("here.cpp", 12, "plain\n");
  EXPECT_TRUE(warnOnce("here.cpp", 13, formatString("value %d\n", 7)));
  EXPECT_FALSE(warnOnce("here.cpp", 13, "value 7\n"));
  EXPECT_TRUE(warnOnce("here.cpp", 14, "value 7\n"));  // another place is another message
  EXPECT_EQ(GetCapturedStdout(),
            "here.cpp:12: plain\nhere.cpp:12: plain\nhere.cpp:13: value 7\nhere.cpp:14: value 7\n");
}

TEST_F(GLTest, CompileFailurePrintsTheLogsAndReportsIt) {
  ShaderProgram bad;
  CaptureStdout();
  bool ok = bad.compile("#version 330\nvoid main() { gl_Position = undefined_thing; }\n",
                        "#version 330\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
  std::string out = GetCapturedStdout();
  EXPECT_FALSE(ok);
  EXPECT_FALSE(bad.linked());
  EXPECT_NE(out.find("undefined_thing"), std::string::npos) << out;
  EXPECT_EQ(out.back(), '\n');

  // A good program afterwards replaces it, keeping its sources.
  const std::string vs = "#version 330\nvoid main() { gl_Position = vec4(0.0); }\n";
  const std::string fs = "#version 330\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n";
  unsigned oldId = bad.id();
  EXPECT_TRUE(bad.compile(vs, fs));
  EXPECT_EQ(bad.vertSource(), vs);
  EXPECT_EQ(bad.fragSource(), fs);
  EXPECT_FALSE(glIsProgram(oldId) && oldId != bad.id());
}

TEST_F(GLTest, ShaderObjectLifeCycle) {
  Shader s("#version 330\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n", Shader::FRAGMENT);
  EXPECT_FALSE(s.created());
  EXPECT_TRUE(s.compile());
  ASSERT_TRUE(s.created());
  GLint type = 0;
  glGetShaderiv(s.id(), GL_SHADER_TYPE, &type);
  EXPECT_EQ(type, GL_FRAGMENT_SHADER);
  unsigned first = s.id();
  s.create();  // replaces the old object
  EXPECT_FALSE(glIsShader(first) && first != s.id());
  s.destroy();
  EXPECT_FALSE(s.created());
  s.destroy();  // harmless twice
  EXPECT_EQ(s.id(), 0u);
}

TEST_F(GLTest, TextureParametersAndTargets) {
  Texture t;
  t.create2D(4, 4);
  ASSERT_TRUE(t.created());
  t.filterMin(GL_NEAREST).filterMag(GL_NEAREST).wrap(GL_REPEAT).mipmap(true);
  std::vector<unsigned char> pixels(4 * 4 * 4, 200);
  t.submit(pixels.data());
  glBindTexture(GL_TEXTURE_2D, t.id());
  GLint v = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &v);
  EXPECT_EQ(v, GL_NEAREST);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &v);
  EXPECT_EQ(v, GL_REPEAT);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, &v);
  EXPECT_EQ(v, 1000);
  t.mipmap(false);
  t.submit(pixels.data());
  glBindTexture(GL_TEXTURE_2D, t.id());
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, &v);
  EXPECT_EQ(v, 0);
  glBindTexture(GL_TEXTURE_2D, 0);

  Texture cube;
  cube.target(GL_TEXTURE_CUBE_MAP);
  CaptureStdout();
  cube.submit(pixels.data());
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find(": invalid texture target 34067\n"), std::string::npos) << out;

  // One- and three-dimensional uploads use their own calls.
  Texture line, volume;
  line.create1D(8);
  volume.create3D(2, 2, 2);
  line.submit(pixels.data());
  volume.submit(pixels.data());
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLTest, OneByteTexelsOfAnOddWidthArriveUnsheared) {
  // 5 x 3 single-channel texels, rows tightly packed; the spare bytes after them would be
  // read by rows padded to four bytes.
  std::vector<unsigned char> texels(5 * 3 + 8, 0);
  for (int i = 0; i < 5 * 3; ++i) texels[i] = static_cast<unsigned char>(10 + i);
  Texture t;
  t.create2D(5, 3, GL_R8, GL_RED, GL_UNSIGNED_BYTE);
  t.submit(texels.data());
  std::vector<unsigned char> back(5 * 3, 0);
  glBindTexture(GL_TEXTURE_2D, t.id());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, back.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(back, std::vector<unsigned char>(texels.begin(), texels.begin() + 5 * 3));
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4) << "left as it was";
}

TEST_F(GLTest, FramebufferNeedsAnAttachment) {
  FBO empty;
  EXPECT_EQ(empty.status(), static_cast<unsigned>(GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT));
  EXPECT_STREQ(FBO::statusString(empty.status()), "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT");
  RBO colour(GL_RGBA8);
  colour.resize(8, 8);
  empty.attachRBO(colour, GL_COLOR_ATTACHMENT0);
  EXPECT_EQ(empty.status(), static_cast<unsigned>(GL_FRAMEBUFFER_COMPLETE));
  empty.detach(GL_COLOR_ATTACHMENT0);
  EXPECT_NE(empty.status(), static_cast<unsigned>(GL_FRAMEBUFFER_COMPLETE));
}

TEST_F(GLTest, PopWithoutPushKeepsTheMatrixAndWarns) {
  g.translate(1.f, 2.f, 3.f);
  CaptureStdout();
  g.popMatrix();
  g.popMatrix();
  std::string out = GetCapturedStdout();
  EXPECT_LE(countOf(out, "popMatrix without a matching pushMatrix\n"), 1);
  EXPECT_FLOAT_EQ(g.modelMatrix()[3][1], 2.f);
  g.pushMatrix();
  g.translate(1.f, 0.f, 0.f);
  EXPECT_FLOAT_EQ(g.modelMatrix()[3][0], 2.f);
  g.popMatrix();
  EXPECT_FLOAT_EQ(g.modelMatrix()[3][0], 1.f);
  g.resetMatrixStack();
  EXPECT_EQ(g.modelMatrix(), Mat4f(1.f));
}

TEST_F(GLTest, MeshIndexOutOfRangeIsRefused) {
  VAOMesh bad;
  bad.vertex(-1, -1).vertex(1, -1).vertex(1, 1);
  bad.index(0).index(1).index(7);
  g.color(1, 1, 1);
  CaptureStdout();
  g.draw(bad);
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("mesh index 7 out of range of 3 vertices"), std::string::npos) << out;
  EXPECT_EQ(pixel(20, 10).a, 0.f);
  // Fixed indices draw again.
  bad.indices().back() = 2;
  bad.update();
  g.draw(bad);
  EXPECT_GT(pixel(20, 10).a, 0.9f);
}
