#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "graphics/vl_FBO.hpp"
#include "graphics/vl_Light.hpp"
#include "graphics/vl_RenderManager.hpp"
#include "graphics/vl_Texture.hpp"
#include "graphics/vl_VAOMesh.hpp"

namespace vl {

// The drawing state handed to every draw callback. On top of the matrix stacks it keeps a
// colouring mode, a tint, lighting (up to eight lights), a material and the stereo
// displacement, and draws through 70 default programs compiled once by init(). Setters only
// record state; the matching program is picked and its uniforms uploaded lazily before the
// next draw (update()).
//
// Typical frame:
//   g.framebuffer(fbo); g.viewport(0, 0, w, h); g.resetMatrixStack(); g.camera(view);
//   g.clear(0, 0, 0); g.lighting(true); g.color(1, 0, 0);
//   g.pushMatrix(); g.translate(0, 1, 0); g.draw(mesh); g.popMatrix();
class Graphics : public RenderManager {
 public:
  enum class ColoringMode { UNIFORM = 0, MESH = 1, TEXTURE = 2, MATERIAL = 3, CUSTOM = 4 };
  static constexpr int MAX_LIGHTS = 8;
  static constexpr int NUM_DEFAULT_SHADERS = 70;

  // Compiles the default programs (once; needs a current OpenGL 3.3 context).
  void init();
  bool initialized() const { return mInitialized; }
  // Deletes the default programs and scratch buffers, with their context current, before the
  // context goes; the next init or draw makes them again in the context current then.
  void release();

  // --- Targets and fixed-function state -----------------------------------------------
  void framebuffer(FBO& fbo) { fbo.bind(); }
  void defaultFramebuffer() { FBO::unbind(); }
  // Clears colour to (r, g, b, a) and depth to 1.
  void clear(float r, float g, float b, float a = 1.f);
  void clear(const Color& c) { clear(c.r, c.g, c.b, c.a); }
  void clearColor(float r, float g, float b, float a = 1.f);
  void clearDepth(float d = 1.f);
  void blending(bool on);
  // Alpha blending (source alpha, one minus source alpha); turns blending on.
  void blendTrans();
  // Additive blending (source alpha, one); turns blending on.
  void blendAdd();
  // How the weighted source and destination combine, for colour and alpha alike.
  enum class BlendEquation { ADD, SUBTRACT, REVERSE_SUBTRACT, MIN, MAX };
  void blendEquation(BlendEquation e);
  void depthTesting(bool on);
  void depthMask(bool on);
  void culling(bool on);
  void pointSize(float size);
  // Core contexts may only support width 1.
  void lineWidth(float width);
  // Saves depth testing and writing, and blending with its factors and equation, as the
  // context has them; popState puts back the last saved set. A draw that changes them for
  // itself thus leaves them as it found them, whoever set them before.
  void pushState();
  void popState();

  // --- Colouring ----------------------------------------------------------------------
  // Uniform colour mode with this colour.
  void color(float r, float g, float b, float a = 1.f) { color(Color{r, g, b, a}); }
  void color(const Color& c);
  const Color& currentColor() const { return mColor; }
  // Multiplies the output of every default program.
  void tint(float r, float g, float b, float a = 1.f) { tint(Color{r, g, b, a}); }
  void tint(const Color& c);
  void tint(float grey) { tint(Color{grey, grey, grey, 1.f}); }
  const Color& currentTint() const { return mTint; }
  // Per-vertex colours of the mesh.
  void meshColor() { coloringMode(ColoringMode::MESH); }
  // The texture bound to unit 0, sampled with the mesh's texture coordinates.
  void texture() { coloringMode(ColoringMode::TEXTURE); }
  void texture(Texture& t);
  // The material's reflectances when lit; the uniform colour when unlit.
  void material() { coloringMode(ColoringMode::MATERIAL); }
  void material(const Material& m);
  // Mutable access to the material (marks uniforms for upload).
  Material& materialData();
  void coloringMode(ColoringMode m);
  ColoringMode coloringMode() const { return mMode; }

  // --- Lighting -----------------------------------------------------------------------
  void lighting(bool on);
  bool lighting() const { return mLighting; }
  // Lights 0..n-1 take part (1 to 8).
  void numLight(int n);
  int numLight() const { return mNumLights; }
  // Mutable access to light i (marks uniforms for upload).
  Light& light(int i = 0);
  const Light& light(int i = 0) const {
    return mLights[static_cast<std::size_t>(std::clamp(i, 0, MAX_LIGHTS - 1))];
  }
  void light(const Light& l, int i = 0) { light(i) = l; }
  void lightEnabled(int i, bool on);
  bool lightEnabled(int i) const;
  // The process-wide ambient light added to every lit surface.
  static void globalAmbient(const Color& c);
  static Color globalAmbient();

  // --- Stereo -------------------------------------------------------------------------
  // Spherical (omnidirectional) instead of planar stereo displacement.
  void omni(bool on);
  bool omni() const { return mOmni; }
  // Which eye is drawn: 0 centre (no displacement), -1 left, 1 right.
  void eye(int e);
  int eye() const { return mEye; }
  void eyeSep(double s);
  double eyeSep() const { return mEyeSep; }
  void focalLength(double f);
  double focalLength() const { return mFocalLength; }

  // --- Programs and drawing -----------------------------------------------------------
  // Draws with the user's own program from now on (colouring mode CUSTOM).
  void shader(ShaderProgram& program) override;
  using RenderManager::shader;
  // Takes the lens's eye separation and focal length, then view and projection.
  void camera(const Viewpoint& v) override;
  // Picks the program, uploads changed uniforms and matrices. Called by every draw.
  void update();
  void draw(VAOMesh& mesh);
  // Uploads the mesh into a scratch VAO and draws it.
  void draw(const Mesh& mesh);
  void draw(EasyVAO& vao);

  // The default programs, in compile order (see defaultShaderIndex).
  const ShaderProgram& defaultShader(int index) const { return mPrograms[index].program; }
  // Planar programs first, then spherical; within each the unlit uniform colour, mesh and
  // texture programs, then for 1 to 8 lights the lit uniform colour, mesh, texture and
  // material programs. Unlit material maps to unlit uniform colour.
  static int defaultShaderIndex(ColoringMode mode, bool lighting, bool omni, int numLights);

 private:
  struct Locations {
    int col0 = -1, tint = -1, eyeSep = -1, focLen = -1;
    int normalMatrix = -1, globalAmbient = -1;
    int matAmbient = -1, matDiffuse = -1, matSpecular = -1, matShininess = -1;
    std::array<int, MAX_LIGHTS> eye{}, ambient{}, diffuse{}, specular{}, enabled{};
  };
  struct DefaultProgram {
    ShaderProgram program;
    Locations loc;
    bool usesColor = false;  // a uniform colour program: "col0"
    bool lit = false, material = false;
  };

  // The fixed-function state that pushState saves, as the context reports it.
  struct FixedState {
    bool depthTest = false, depthMask = true, blend = false;
    int srcRGB = 0, dstRGB = 0, srcAlpha = 0, dstAlpha = 0, equationRGB = 0, equationAlpha = 0;
  };

  void uploadLighting(const DefaultProgram& p);
  void uploadNormalMatrix(const DefaultProgram& p);
  void uploadLightPositions(const DefaultProgram& p);

  bool mInitialized = false;
  Color mColor{1.f, 1.f, 1.f, 1.f}, mTint{1.f, 1.f, 1.f, 1.f};
  ColoringMode mMode = ColoringMode::UNIFORM;
  bool mReselect = true, mUniformsChanged = true;
  bool mLighting = false;
  int mNumLights = 1;
  Material mMaterial;
  std::array<Light, MAX_LIGHTS> mLights{};
  std::array<bool, MAX_LIGHTS> mLightEnabled{true, true, true, true, true, true, true, true};
  bool mOmni = false;
  int mEye = 0;
  double mEyeSep = 0.02, mFocalLength = 6.0;
  std::array<DefaultProgram, NUM_DEFAULT_SHADERS> mPrograms;
  int mCurrent = -1;  // index of the default program in use, -1 for none or the user's
  std::uint64_t mAmbientSeen = 0;
  std::unique_ptr<EasyVAO> mScratch = std::make_unique<EasyVAO>();
  std::vector<FixedState> mSavedStates;
};

}  // namespace vl
