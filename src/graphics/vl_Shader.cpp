#include "graphics/vl_Shader.hpp"

#include <epoxy/gl.h>

#include <atomic>
#include <glm/gtc/type_ptr.hpp>

#include "core/vl_Console.hpp"
#include "core/vl_Warn.hpp"

namespace vl {

void ShaderBase::printLog() const {
  std::string text = log();
  if (!text.empty()) {
    vl::print("%s\n", text.c_str());
  }
}

static GLenum glShaderType(Shader::Type t) {
  switch (t) {
    case Shader::GEOMETRY:
      return GL_GEOMETRY_SHADER;
    case Shader::FRAGMENT:
      return GL_FRAGMENT_SHADER;
    default:
      return GL_VERTEX_SHADER;
  }
}

void Shader::onCreate() {
  mID = glCreateShader(glShaderType(mType));
  if (mID == 0) VL_WARN("Error creating shader object\n");
}

void Shader::onDestroy() {
  glDeleteShader(mID);
}

bool Shader::compile() {
  validate();
  if (!created()) return false;
  const char* text = mSource.c_str();
  glShaderSource(mID, 1, &text, nullptr);
  glCompileShader(mID);
  return compiled();
}

bool Shader::compiled() const {
  if (!created()) return false;
  GLint ok = GL_FALSE;
  glGetShaderiv(mID, GL_COMPILE_STATUS, &ok);
  return ok == GL_TRUE;
}

std::string Shader::log() const {
  if (!created()) return {};
  GLint len = 0;
  glGetShaderiv(mID, GL_INFO_LOG_LENGTH, &len);
  if (len <= 1) return {};
  std::string text(static_cast<std::size_t>(len), '\0');
  glGetShaderInfoLog(mID, len, nullptr, text.data());
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  return text;
}

void ShaderProgram::onCreate() {
  static std::atomic<std::uint64_t> serials{0};
  mID = glCreateProgram();
  mSerial = ++serials;
  mUniformLocations.clear();
}

void ShaderProgram::onDestroy() {
  glDeleteProgram(mID);
  mUniformLocations.clear();
}

bool ShaderProgram::compile(const std::string& vertSource, const std::string& fragSource,
                            const std::string& geomSource) {
  destroy();
  mVertSource = vertSource;
  mFragSource = fragSource;
  mGeomSource = geomSource;
  create();
  if (!created()) return false;

  std::vector<Shader> stages;
  stages.reserve(3);
  stages.emplace_back(vertSource, Shader::VERTEX);
  if (!geomSource.empty()) stages.emplace_back(geomSource, Shader::GEOMETRY);
  if (!fragSource.empty()) stages.emplace_back(fragSource, Shader::FRAGMENT);
  for (Shader& s : stages) {
    s.compile();
    s.printLog();
    if (s.created()) glAttachShader(mID, s.id());
  }
  if (!mCaptured.empty()) {
    std::vector<const char*> names;
    for (const auto& n : mCaptured) names.push_back(n.c_str());
    glTransformFeedbackVaryings(mID, static_cast<GLsizei>(names.size()), names.data(),
                                GL_INTERLEAVED_ATTRIBS);
  }
  glLinkProgram(mID);
  printLog();
  for (Shader& s : stages)
    if (s.created()) glDetachShader(mID, s.id());
  return linked();
}

bool ShaderProgram::linked() const {
  if (!created()) return false;
  GLint ok = GL_FALSE;
  glGetProgramiv(mID, GL_LINK_STATUS, &ok);
  return ok == GL_TRUE;
}

std::string ShaderProgram::log() const {
  if (!created()) return {};
  GLint len = 0;
  glGetProgramiv(mID, GL_INFO_LOG_LENGTH, &len);
  if (len <= 1) return {};
  std::string text(static_cast<std::size_t>(len), '\0');
  glGetProgramInfoLog(mID, len, nullptr, text.data());
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  return text;
}

void ShaderProgram::use() const {
  glUseProgram(mID);
}
void ShaderProgram::useNone() {
  glUseProgram(0);
}

int ShaderProgram::uniform(const std::string& name) const {
  auto it = mUniformLocations.find(name);
  if (it != mUniformLocations.end()) return it->second;
  int loc = created() ? glGetUniformLocation(mID, name.c_str()) : -1;
  mUniformLocations.emplace(name, loc);
  if (loc == -1) VL_WARN_ONCE("No such uniform named \"%s\"\n", name.c_str());
  return loc;
}

const ShaderProgram& ShaderProgram::uniform(int loc, int v) const {
  glUniform1i(loc, v);
  return *this;
}
const ShaderProgram& ShaderProgram::uniform(int loc, float v) const {
  glUniform1f(loc, v);
  return *this;
}
const ShaderProgram& ShaderProgram::uniform(int loc, float x, float y) const {
  glUniform2f(loc, x, y);
  return *this;
}
const ShaderProgram& ShaderProgram::uniform(int loc, float x, float y, float z) const {
  glUniform3f(loc, x, y, z);
  return *this;
}
const ShaderProgram& ShaderProgram::uniform(int loc, float x, float y, float z, float w) const {
  glUniform4f(loc, x, y, z, w);
  return *this;
}
const ShaderProgram& ShaderProgram::uniform(int loc, const Vec3f& v) const {
  glUniform3fv(loc, 1, v.data());
  return *this;
}
const ShaderProgram& ShaderProgram::uniform(int loc, const Vec4f& v) const {
  glUniform4fv(loc, 1, v.data());
  return *this;
}
const ShaderProgram& ShaderProgram::uniform(int loc, const Color& c) const {
  glUniform4fv(loc, 1, c.data());
  return *this;
}
const ShaderProgram& ShaderProgram::uniform(int loc, const Mat4f& m) const {
  glUniformMatrix4fv(loc, 1, GL_FALSE, glm::value_ptr(m));
  return *this;
}

}  // namespace vl
