#include "HydrogenVisual.hpp"

#include <epoxy/gl.h>

#include <algorithm>

namespace {

// Tails are dark and mostly opaque; the head carries the particle's colour.
const vl::Color kTailColour(0.f, 0.f, 0.f, 0.8f);

vl::Vec3f toFloat(const vl::Vec3d& v) {
  return vl::Vec3f(float(v[0]), float(v[1]), float(v[2]));
}

}  // namespace

HydrogenVisual::HydrogenVisual(const std::vector<Particle>& particles) : particles_(particles) {}

void HydrogenVisual::init() {
  mesh_.reset();
  mesh_.vertices().assign(kVertices, vl::Vec3f());
  mesh_.colors().assign(kVertices, vl::Color(1.f, 1.f, 1.f, 1.f));
  params_.drawType.setElements(VisualParameters::drawTypeNames());
}

void HydrogenVisual::step() {
  // A mesh that was never sized is sized here, so that stepping before init() is harmless.
  if (mesh_.vertices().size() != size_t(kVertices) || mesh_.colors().size() != size_t(kVertices))
    init();
  buildNeedles();
  style_ = params_.drawType.get();
  if (style_ == kRibbon) {
    buildRibbon();
    primitive_ = vl::Mesh::TRIANGLE_STRIP;
  } else {
    buildLines();
    primitive_ = vl::Mesh::LINES;
  }
}

void HydrogenVisual::buildNeedles() {
  const double t = double(params_.thick.get()) * 32.0;
  const int count = std::min<int>(kParticles, int(particles_.size()));
  for (int k = 0; k < count; ++k) {
    const Particle& p = particles_[k];
    needlePoints_[2 * k] = p.position - p.spin * (t / 4.0);
    needlePoints_[2 * k + 1] = p.position + p.spin * t;
    needleColours_[2 * k] = kTailColour;
    needleColours_[2 * k + 1] = p.colour;
  }
}

void HydrogenVisual::buildRibbon() {
  const float fade = params_.howTranslucent.get() * level;
  for (vl::Color& c : needleColours_) c.a *= fade;
  std::vector<vl::Vec3f>& vertices = mesh_.vertices();
  std::vector<vl::Color>& colours = mesh_.colors();
  // The band passes through every needle and, between two needles, through the point that
  // the cubic through four neighbouring needles gives halfway: twice as fine as the ring.
  auto midpoint = [this](int k, int end) {
    auto at = [&](int j) { return needlePoints_[2 * ((j + kParticles) % kParticles) + end]; };
    return at(k - 1) * (-1.0 / 16) + at(k) * (9.0 / 16) + at(k + 1) * (9.0 / 16) +
           at(k + 2) * (-1.0 / 16);
  };
  for (int k = 0; k < kParticles; ++k) {
    const vl::Color& tail = needleColours_[2 * k];
    const vl::Color& head = needleColours_[2 * k + 1];
    vertices[4 * k] = toFloat(needlePoints_[2 * k]);
    vertices[4 * k + 1] = toFloat(needlePoints_[2 * k + 1]);
    vertices[4 * k + 2] = toFloat(midpoint(k, 0));
    vertices[4 * k + 3] = toFloat(midpoint(k, 1));
    colours[4 * k] = tail;
    colours[4 * k + 1] = head;
    colours[4 * k + 2] = tail;
    colours[4 * k + 3] = head;
  }
}

void HydrogenVisual::buildLines() {
  std::vector<vl::Vec3f>& vertices = mesh_.vertices();
  std::vector<vl::Color>& colours = mesh_.colors();
  for (int k = 0; k < kParticles; ++k) {
    const vl::Vec3f tail = toFloat(needlePoints_[2 * k]);
    const vl::Vec3f head = toFloat(needlePoints_[2 * k + 1]);
    vertices[4 * k] = vertices[4 * k + 2] = tail;
    vertices[4 * k + 1] = vertices[4 * k + 3] = head;
    colours[4 * k] = colours[4 * k + 2] = needleColours_[2 * k];
    colours[4 * k + 1] = colours[4 * k + 3] = needleColours_[2 * k + 1];
  }
}

void HydrogenVisual::draw(vl::Graphics& g) {
  if (style_ < kRibbon || style_ > kMarkers) return;
  // Translucent needles see each other through the ribbon: no depth test.
  g.depthTesting(false);
  g.blendTrans();
  glBlendEquation(GL_FUNC_ADD);
  g.pushMatrix();
  g.meshColor();
  mesh_.primitive(primitive_);
  mesh_.update();
  g.draw(mesh_);
  g.popMatrix();
}
