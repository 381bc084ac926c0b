#pragma once

#include <array>
#include <vector>

#include "Particle.hpp"
#include "VisualParameters.hpp"
#include "graphics/vl_Graphics.hpp"
#include "graphics/vl_VAOMesh.hpp"
#include "math/vl_Color.hpp"
#include "math/vl_Vec.hpp"

// Draws an atom as a field of spin needles, one per particle: a short line along the
// particle's spin, dark at its tail and in the particle's colour at its head. "drawType" picks
// the style: a translucent ribbon through all needles (0), or the needles as separate lines
// (1 and 2, the same picture).
class HydrogenVisual {
 public:
  static constexpr int kParticles = 512;
  static constexpr int kNeedlePoints = 2 * kParticles;
  static constexpr int kVertices = 4 * kParticles;
  enum DrawType { kRibbon = 0, kParticlesStyle = 1, kMarkers = 2 };

  // The square of the voice's envelope level, set by the owner every frame; it fades the
  // ribbon.
  float level = 1.0f;

  // Reads the particles of an atom that outlives the visual.
  explicit HydrogenVisual(const std::vector<Particle>& particles);
  HydrogenVisual(const HydrogenVisual&) = delete;
  HydrogenVisual& operator=(const HydrogenVisual&) = delete;

  // "thick", "howTranslucent", "drawType".
  VisualParameters& parameters() { return mParams; }

  // Sizes the mesh (white vertices at the origin) and names the styles.
  void init();
  // Rebuilds the needles and the mesh from the particles; every frame, drawn or not.
  void step();
  // With blending and without depth testing, both put back as they were afterwards; the owner
  // has placed the atom. Draws the style that the last step built (nothing for an index that
  // names no style).
  void draw(vl::Graphics& g);
  // Deletes the mesh's GPU copy (its context current); a later draw uploads it again. For a
  // visual that outlives its window.
  void releaseGpu() { mMesh.vao().release(); }

  // Shows needles that another instance computed in place of the last step's, until the next
  // step: kNeedlePoints points (x, y, z each, tail then head per particle), as many colours
  // (r, g, b, a, as the mesh takes them, faded) and the style they were built for.
  void showNeedles(const float* points, const float* colours, int style);
  // The style the last step or showNeedles built.
  int style() const { return mStyle; }

  const vl::VAOMesh& mesh() const { return mMesh; }
  vl::Mesh::Primitive primitive() const { return mPrimitive; }
  // Point 2k is the tail of particle k's needle and 2k + 1 its head. The colours are those the
  // mesh has, the ribbon's fade applied.
  const std::array<vl::Vec3d, kNeedlePoints>& needlePoints() const { return mNeedlePoints; }
  const std::array<vl::Color, kNeedlePoints>& needleColours() const { return mNeedleColours; }

 private:
  void sizeMesh();
  void buildNeedles();
  void buildMesh();
  void buildRibbon();
  void buildLines();

  VisualParameters mParams;
  vl::VAOMesh mMesh;
  vl::Mesh::Primitive mPrimitive = vl::Mesh::TRIANGLE_STRIP;
  int mStyle = kRibbon;  // "drawType" as the mesh was built for it
  std::array<vl::Vec3d, kNeedlePoints> mNeedlePoints{};
  std::array<vl::Color, kNeedlePoints> mNeedleColours{};
  const std::vector<Particle>& mParticles;
};
