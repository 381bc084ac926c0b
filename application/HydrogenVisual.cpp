#include "HydrogenVisual.hpp"

#include <algorithm>

namespace {

// Tails are dark and mostly opaque; the head carries the particle's colour.
const vl::Color kTailColour(0.f, 0.f, 0.f, 0.8f);

vl::Vec3f toFloat(const vl::Vec3d& v) {
  return vl::Vec3f(float(v[0]), float(v[1]), float(v[2]));
}

}  // namespace

HydrogenVisual::HydrogenVisual(const std::vector<Particle>& particles) : mParticles(particles) {}

void HydrogenVisual::init() {
  mMesh.reset();
  mMesh.vertices().assign(kVertices, vl::Vec3f());
  mMesh.colors().assign(kVertices, vl::Color(1.f, 1.f, 1.f, 1.f));
  mParams.drawType.setElements(VisualParameters::drawTypeNames());
}

// A mesh that was never sized is sized here, so that stepping before init() is harmless.
void HydrogenVisual::sizeMesh() {
  if (mMesh.vertices().size() != size_t(kVertices) || mMesh.colors().size() != size_t(kVertices))
    init();
}

void HydrogenVisual::step() {
  sizeMesh();
  buildNeedles();
  mStyle = mParams.drawType.get();
  if (mStyle == kRibbon) {
    const float fade = mParams.howTranslucent.get() * level;
    for (vl::Color& c : mNeedleColours) c.a *= fade;
  }
  buildMesh();
}

void HydrogenVisual::showNeedles(const float* points, const float* colours, int style) {
  sizeMesh();
  for (int i = 0; i < kNeedlePoints; ++i) {
    mNeedlePoints[size_t(i)] = vl::Vec3d(points[3 * i], points[3 * i + 1], points[3 * i + 2]);
    mNeedleColours[size_t(i)] =
        vl::Color(colours[4 * i], colours[4 * i + 1], colours[4 * i + 2], colours[4 * i + 3]);
  }
  mStyle = style;
  buildMesh();
}

void HydrogenVisual::buildMesh() {
  if (mStyle == kRibbon) {
    buildRibbon();
    mPrimitive = vl::Mesh::TRIANGLE_STRIP;
  } else {
    buildLines();
    mPrimitive = vl::Mesh::LINES;
  }
}

void HydrogenVisual::buildNeedles() {
  const double t = double(mParams.thick.get()) * 32.0;
  const int count = std::min<int>(kParticles, int(mParticles.size()));
  for (int k = 0; k < count; ++k) {
    const Particle& p = mParticles[k];
    mNeedlePoints[2 * k] = p.position - p.spin * (t / 4.0);
    mNeedlePoints[2 * k + 1] = p.position + p.spin * t;
    mNeedleColours[2 * k] = kTailColour;
    mNeedleColours[2 * k + 1] = p.colour;
  }
}

void HydrogenVisual::buildRibbon() {
  std::vector<vl::Vec3f>& vertices = mMesh.vertices();
  std::vector<vl::Color>& colours = mMesh.colors();
  // The band passes through every needle and, between two needles, through the point that
  // the cubic through four neighbouring needles gives halfway: twice as fine as the ring.
  auto midpoint = [this](int k, int end) {
    auto at = [&](int j) { return mNeedlePoints[2 * ((j + kParticles) % kParticles) + end]; };
    return at(k - 1) * (-1.0 / 16) + at(k) * (9.0 / 16) + at(k + 1) * (9.0 / 16) +
           at(k + 2) * (-1.0 / 16);
  };
  for (int k = 0; k < kParticles; ++k) {
    const vl::Color& tail = mNeedleColours[2 * k];
    const vl::Color& head = mNeedleColours[2 * k + 1];
    vertices[4 * k] = toFloat(mNeedlePoints[2 * k]);
    vertices[4 * k + 1] = toFloat(mNeedlePoints[2 * k + 1]);
    vertices[4 * k + 2] = toFloat(midpoint(k, 0));
    vertices[4 * k + 3] = toFloat(midpoint(k, 1));
    colours[4 * k] = tail;
    colours[4 * k + 1] = head;
    colours[4 * k + 2] = tail;
    colours[4 * k + 3] = head;
  }
}

void HydrogenVisual::buildLines() {
  std::vector<vl::Vec3f>& vertices = mMesh.vertices();
  std::vector<vl::Color>& colours = mMesh.colors();
  for (int k = 0; k < kParticles; ++k) {
    const vl::Vec3f tail = toFloat(mNeedlePoints[2 * k]);
    const vl::Vec3f head = toFloat(mNeedlePoints[2 * k + 1]);
    vertices[4 * k] = vertices[4 * k + 2] = tail;
    vertices[4 * k + 1] = vertices[4 * k + 3] = head;
    colours[4 * k] = colours[4 * k + 2] = mNeedleColours[2 * k];
    colours[4 * k + 1] = colours[4 * k + 3] = mNeedleColours[2 * k + 1];
  }
}

void HydrogenVisual::draw(vl::Graphics& g) {
  if (mStyle < kRibbon || mStyle > kMarkers) return;
  // Translucent needles see each other through the ribbon: no depth test. Whatever is drawn
  // next finds depth testing and blending as they were.
  g.pushState();
  g.depthTesting(false);
  g.blendTrans();
  g.blendEquation(vl::Graphics::BlendEquation::ADD);
  g.pushMatrix();
  g.meshColor();
  mMesh.primitive(mPrimitive);
  mMesh.update();
  g.draw(mMesh);
  g.popMatrix();
  g.popState();
}
