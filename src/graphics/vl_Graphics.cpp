#include "graphics/vl_Graphics.hpp"

#include <epoxy/gl.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "core/vl_Warn.hpp"
#include "graphics/vl_DefaultShaders.hpp"

namespace vl {

namespace {
// The global ambient light, with a generation count so that every Graphics notices a change.
std::mutex gAmbientMutex;
Color gAmbient{0.2f, 0.2f, 0.2f, 1.f};
std::atomic<std::uint64_t> gAmbientGeneration{1};
}  // namespace

void Graphics::globalAmbient(const Color& c) {
  std::lock_guard<std::mutex> lock(gAmbientMutex);
  gAmbient = c;
  ++gAmbientGeneration;
}

Color Graphics::globalAmbient() {
  std::lock_guard<std::mutex> lock(gAmbientMutex);
  return gAmbient;
}

int Graphics::defaultShaderIndex(ColoringMode mode, bool lighting, bool omni, int numLights) {
  int base = omni ? NUM_DEFAULT_SHADERS / 2 : 0;
  int m = static_cast<int>(mode);
  if (mode == ColoringMode::CUSTOM) m = 0;
  if (!lighting) return base + (mode == ColoringMode::MATERIAL ? 0 : m);
  int n = std::clamp(numLights, 1, MAX_LIGHTS);
  return base + 3 + (n - 1) * 4 + m;
}

void Graphics::init() {
  if (mInitialized) return;
  mInitialized = true;
  int index = 0;
  for (bool omniFlag : {false, true}) {
    for (int n = 0; n <= MAX_LIGHTS; ++n) {
      int kinds = n == 0 ? 3 : 4;
      for (int k = 0; k < kinds; ++k) {
        auto kind = static_cast<DefaultShaderKind>(k);
        DefaultProgram& p = mPrograms[index++];
        p.program.compile(defaultVertexShader(kind, omniFlag, n), defaultFragmentShader(kind, n));
        p.lit = n > 0;
        p.material = kind == DefaultShaderKind::MATERIAL;
        p.usesColor = kind == DefaultShaderKind::UNIFORM_COLOR;
        const ShaderProgram& s = p.program;
        Locations& l = p.loc;
        if (p.usesColor) l.col0 = s.uniform("col0");
        l.tint = s.uniform("tint");
        l.eyeSep = s.uniform("eye_sep");
        l.focLen = s.uniform("foc_len");
        if (p.lit) {
          l.normalMatrix = s.uniform("vl_NormalMatrix");
          l.globalAmbient = s.uniform("light_global_ambient");
          l.eye.fill(-1);
          l.ambient.fill(-1);
          l.diffuse.fill(-1);
          l.specular.fill(-1);
          l.enabled.fill(-1);
          for (int i = 0; i < n; ++i) {
            std::string name = "light" + std::to_string(i);
            l.eye[i] = s.uniform(name + "_eye");
            l.ambient[i] = s.uniform(name + "_ambient");
            l.diffuse[i] = s.uniform(name + "_diffuse");
            l.specular[i] = s.uniform(name + "_specular");
            l.enabled[i] = s.uniform(name + "_enabled");
          }
        }
        if (p.material) {
          l.matAmbient = s.uniform("material_ambient");
          l.matDiffuse = s.uniform("material_diffuse");
          l.matSpecular = s.uniform("material_specular");
          l.matShininess = s.uniform("material_shininess");
        }
        if (kind == DefaultShaderKind::TEXTURE) {
          s.use();
          s.uniform(s.uniform("tex0"), 0);
        }
      }
    }
  }
  ShaderProgram::useNone();
  mReselect = true;
  mUniformsChanged = true;
}

void Graphics::release() {
  for (DefaultProgram& p : mPrograms) {
    p.program.destroy();
    p.loc = Locations{};
  }
  mScratch = std::make_unique<EasyVAO>();
  mShader = nullptr;
  mCurrent = -1;
  mInitialized = false;
  mReselect = true;
  mUniformsChanged = true;
}

// --- Fixed-function state ---------------------------------------------------------------

void Graphics::clear(float r, float g, float b, float a) {
  glClearColor(r, g, b, a);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void Graphics::clearColor(float r, float g, float b, float a) {
  glClearColor(r, g, b, a);
  glClear(GL_COLOR_BUFFER_BIT);
}

void Graphics::clearDepth(float d) {
  glClearDepth(d);
  glClear(GL_DEPTH_BUFFER_BIT);
}

void Graphics::blending(bool on) {
  on ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
}

void Graphics::blendTrans() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void Graphics::blendAdd() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}

void Graphics::blendEquation(BlendEquation e) {
  static constexpr GLenum kEquations[] = {GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT,
                                          GL_MIN, GL_MAX};
  glBlendEquation(kEquations[static_cast<int>(e)]);
}

void Graphics::pushState() {
  FixedState s;
  s.depthTest = glIsEnabled(GL_DEPTH_TEST);
  s.blend = glIsEnabled(GL_BLEND);
  GLboolean mask = GL_TRUE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
  s.depthMask = mask;
  glGetIntegerv(GL_BLEND_SRC_RGB, &s.srcRGB);
  glGetIntegerv(GL_BLEND_DST_RGB, &s.dstRGB);
  glGetIntegerv(GL_BLEND_SRC_ALPHA, &s.srcAlpha);
  glGetIntegerv(GL_BLEND_DST_ALPHA, &s.dstAlpha);
  glGetIntegerv(GL_BLEND_EQUATION_RGB, &s.equationRGB);
  glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &s.equationAlpha);
  mSavedStates.push_back(s);
}

void Graphics::popState() {
  if (mSavedStates.empty()) {
    VL_WARN_ONCE("popState without a matching pushState\n");
    return;
  }
  const FixedState s = mSavedStates.back();
  mSavedStates.pop_back();
  depthTesting(s.depthTest);
  blending(s.blend);
  depthMask(s.depthMask);
  glBlendFuncSeparate(GLenum(s.srcRGB), GLenum(s.dstRGB), GLenum(s.srcAlpha), GLenum(s.dstAlpha));
  glBlendEquationSeparate(GLenum(s.equationRGB), GLenum(s.equationAlpha));
}

void Graphics::depthTesting(bool on) {
  on ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
}
void Graphics::depthMask(bool on) {
  glDepthMask(on ? GL_TRUE : GL_FALSE);
}
void Graphics::culling(bool on) {
  on ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
}
void Graphics::pointSize(float size) {
  glPointSize(size);
}
void Graphics::lineWidth(float width) {
  glLineWidth(width);
}

// --- Colouring and lighting state ---------------------------------------------------------

void Graphics::coloringMode(ColoringMode m) {
  if (m == ColoringMode::CUSTOM) {
    mMode = m;  // the user's program is chosen with shader()
    return;
  }
  if (m != mMode) {
    mMode = m;
    mReselect = true;
  }
  mUniformsChanged = true;
}

void Graphics::color(const Color& c) {
  mColor = c;
  coloringMode(ColoringMode::UNIFORM);
}

void Graphics::tint(const Color& c) {
  mTint = c;
  mUniformsChanged = true;
}

void Graphics::texture(Texture& t) {
  t.bind(0);
  coloringMode(ColoringMode::TEXTURE);
}

void Graphics::material(const Material& m) {
  mMaterial = m;
  coloringMode(ColoringMode::MATERIAL);
}

Material& Graphics::materialData() {
  mUniformsChanged = true;
  return mMaterial;
}

void Graphics::lighting(bool on) {
  if (on != mLighting) mReselect = true;
  mLighting = on;
  mUniformsChanged = true;
}

void Graphics::numLight(int n) {
  n = std::clamp(n, 1, MAX_LIGHTS);
  if (n != mNumLights) mReselect = true;
  mNumLights = n;
  mUniformsChanged = true;
}

Light& Graphics::light(int i) {
  mUniformsChanged = true;
  return mLights[static_cast<std::size_t>(std::clamp(i, 0, MAX_LIGHTS - 1))];
}

void Graphics::lightEnabled(int i, bool on) {
  if (i < 0 || i >= MAX_LIGHTS) return;
  mLightEnabled[static_cast<std::size_t>(i)] = on;
  mUniformsChanged = true;
}

bool Graphics::lightEnabled(int i) const {
  return i >= 0 && i < MAX_LIGHTS && mLightEnabled[static_cast<std::size_t>(i)];
}

void Graphics::omni(bool on) {
  if (on != mOmni) mReselect = true;
  mOmni = on;
  mUniformsChanged = true;
}

void Graphics::eye(int e) {
  mEye = e;
  mUniformsChanged = true;
}

void Graphics::eyeSep(double s) {
  mEyeSep = s;
  mUniformsChanged = true;
}

void Graphics::focalLength(double f) {
  mFocalLength = f;
  mUniformsChanged = true;
}

// --- Programs and uploads -------------------------------------------------------------------

void Graphics::shader(ShaderProgram& program) {
  mMode = ColoringMode::CUSTOM;
  mCurrent = -1;
  mReselect = false;
  mUniformsChanged = true;
  RenderManager::shader(program);
}

void Graphics::camera(const Viewpoint& v) {
  mEyeSep = v.lens().eyeSep;
  mFocalLength = v.lens().focalLength;
  mUniformsChanged = true;
  RenderManager::camera(v);
}

void Graphics::uploadNormalMatrix(const DefaultProgram& p) {
  Mat4f normal = glm::transpose(glm::inverse(mView.top() * mModel.top()));
  p.program.uniform(p.loc.normalMatrix, normal);
}

void Graphics::uploadLightPositions(const DefaultProgram& p) {
  for (int i = 0; i < mNumLights; ++i) {
    const Vec4f& lp = mLights[static_cast<std::size_t>(i)].position;
    glm::vec4 eyePos = mView.top() * glm::vec4(lp[0], lp[1], lp[2], lp[3]);
    p.program.uniform(p.loc.eye[static_cast<std::size_t>(i)], eyePos.x, eyePos.y, eyePos.z,
                      eyePos.w);
  }
}

void Graphics::uploadLighting(const DefaultProgram& p) {
  const ShaderProgram& s = p.program;
  s.uniform(p.loc.globalAmbient, globalAmbient());
  uploadNormalMatrix(p);
  uploadLightPositions(p);
  for (int i = 0; i < mNumLights; ++i) {
    auto k = static_cast<std::size_t>(i);
    s.uniform(p.loc.ambient[k], mLights[k].ambient);
    s.uniform(p.loc.diffuse[k], mLights[k].diffuse);
    s.uniform(p.loc.specular[k], mLights[k].specular);
    s.uniform(p.loc.enabled[k], mLightEnabled[k] ? 1.f : 0.f);
  }
  if (p.material) {
    s.uniform(p.loc.matAmbient, mMaterial.ambient);
    s.uniform(p.loc.matDiffuse, mMaterial.diffuse);
    s.uniform(p.loc.matSpecular, mMaterial.specular);
    // pow(0, 0) is undefined in GLSL; keep the exponent positive.
    s.uniform(p.loc.matShininess, std::max(mMaterial.shininess, 1e-4f));
  }
}

void Graphics::update() {
  if (!mInitialized) init();
  if (mReselect) {
    if (mMode != ColoringMode::CUSTOM) {
      mCurrent = defaultShaderIndex(mMode, mLighting, mOmni, mNumLights);
      RenderManager::shader(mPrograms[static_cast<std::size_t>(mCurrent)].program);
    }
    mReselect = false;
    mUniformsChanged = true;
  }
  std::uint64_t ambientGeneration = gAmbientGeneration.load();
  if (ambientGeneration != mAmbientSeen) {
    mAmbientSeen = ambientGeneration;
    mUniformsChanged = true;
  }
  const bool useDefault = mMode != ColoringMode::CUSTOM && mCurrent >= 0;
  const DefaultProgram* p = useDefault ? &mPrograms[static_cast<std::size_t>(mCurrent)] : nullptr;

  if (!mUniformsChanged) {
    // The normal matrix and the lights' eye positions follow the matrices.
    if (p && p->lit) {
      if (modelViewChanged()) uploadNormalMatrix(*p);
      if (mView.changed()) uploadLightPositions(*p);
    }
    RenderManager::update();
    return;
  }
  if (p) {
    if (p->lit) uploadLighting(*p);
    if (p->usesColor) p->program.uniform(p->loc.col0, mColor);
    p->program.uniform(p->loc.tint, mTint);
    p->program.uniform(p->loc.eyeSep, static_cast<float>(mEye * mEyeSep * 0.5));
    p->program.uniform(p->loc.focLen, static_cast<float>(mFocalLength));
  }
  mUniformsChanged = false;
  RenderManager::update();
}

void Graphics::draw(VAOMesh& mesh) {
  update();
  mesh.draw();
}

void Graphics::draw(const Mesh& mesh) {
  mScratch->update(mesh);
  update();
  mScratch->draw();
}

void Graphics::draw(EasyVAO& vao) {
  update();
  vao.draw();
}

}  // namespace vl
