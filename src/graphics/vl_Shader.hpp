#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "graphics/vl_GPUObject.hpp"
#include "math/vl_Color.hpp"
#include "math/vl_Mat4.hpp"
#include "math/vl_Vec.hpp"

namespace vl {

// Common part of shader and program objects: their info log.
class ShaderBase : public GPUObject {
 public:
  ShaderBase() = default;
  ShaderBase(ShaderBase&&) noexcept = default;

  // The object's info log (empty when there is none).
  virtual std::string log() const = 0;
  // Prints the log followed by a line break when it is not empty.
  void printLog() const;
};

// One shader object of a given stage.
class Shader : public ShaderBase {
 public:
  enum Type { VERTEX = 0, GEOMETRY = 1, FRAGMENT = 2 };

  explicit Shader(Type type = VERTEX) : mType(type) {}
  Shader(const std::string& source, Type type) : mSource(source), mType(type) {}
  Shader(Shader&&) noexcept = default;
  ~Shader() override { destroy(); }

  Shader& source(const std::string& text) {
    mSource = text;
    return *this;
  }
  const std::string& source() const { return mSource; }
  Type type() const { return mType; }

  // Creates the object if needed, sets the source and compiles; returns the compile status.
  bool compile();
  bool compiled() const;
  std::string log() const override;

 protected:
  void onCreate() override;
  void onDestroy() override;

 private:
  std::string mSource;
  Type mType;
};

// A linked program with a cache of uniform locations. Setting uniforms requires the program
// to be in use (use()); a location of -1 makes a setter a no-op, as in OpenGL.
class ShaderProgram : public ShaderBase {
 public:
  ShaderProgram() = default;
  ShaderProgram(ShaderProgram&&) noexcept = default;
  ~ShaderProgram() override { destroy(); }

  // Discards the old program, compiles the given stages (the geometry stage only when its
  // text is not empty), prints every non-empty log, links and returns the link status.
  bool compile(const std::string& vertSource, const std::string& fragSource,
               const std::string& geomSource = "");
  // Outputs recorded by transform feedback (interleaved) from the next compile on.
  void captureVaryings(std::vector<std::string> names) { mCaptured = std::move(names); }

  const std::string& vertSource() const { return mVertSource; }
  const std::string& fragSource() const { return mFragSource; }
  const std::string& geomSource() const { return mGeomSource; }
  bool linked() const;
  std::string log() const override;
  // Distinct for every compile of every program, so caches keyed by it never go stale when
  // OpenGL reuses a deleted program's name.
  std::uint64_t serial() const { return mSerial; }

  void use() const;
  static void useNone();

  // Location of a uniform, looked up once; a missing name warns once per process and
  // yields -1.
  int uniform(const std::string& name) const;

  const ShaderProgram& uniform(int loc, int v) const;
  const ShaderProgram& uniform(int loc, float v) const;
  const ShaderProgram& uniform(int loc, float x, float y) const;
  const ShaderProgram& uniform(int loc, float x, float y, float z) const;
  const ShaderProgram& uniform(int loc, float x, float y, float z, float w) const;
  const ShaderProgram& uniform(int loc, const Vec3f& v) const;
  const ShaderProgram& uniform(int loc, const Vec4f& v) const;
  const ShaderProgram& uniform(int loc, const Color& c) const;
  const ShaderProgram& uniform(int loc, const Mat4f& m) const;
  template <class... A>
  const ShaderProgram& uniform(const std::string& name, A&&... values) const {
    return uniform(uniform(name), std::forward<A>(values)...);
  }

 protected:
  void onCreate() override;
  void onDestroy() override;

 private:
  std::string mVertSource, mFragSource, mGeomSource;
  std::vector<std::string> mCaptured;
  mutable std::unordered_map<std::string, int> mUniformLocations;
  std::uint64_t mSerial = 0;
};

}  // namespace vl
