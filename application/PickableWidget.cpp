#include "PickableWidget.hpp"

void PickableWidget::place(float x, float y, float width, float height, float z) {
  pose.set(vl::Pose({x, y, z}));
  box({0.f, 0.f, 0.f}, {width, height, 0.f});
}

bool PickableWidget::onEvent(vl::PickEvent& e, vl::Hit& hit) {
  if (e.kind != vl::POINT) return false;
  hover.set(hit.hit ? 1.f : 0.f);
  return hit.hit;
}

void PickableWidget::drawText(vl::Graphics& g, vl::Font& font, vl::Mesh& mesh,
                              const std::string& text, float textHeight, float x, bool centred) {
  font.alignment(centred ? -0.5f : 0.f);
  font.write(mesh, text, textHeight);
  g.pushState();
  g.pushMatrix();
  // A hair in front of the item's own surface, so that the depth test keeps the text.
  g.translate(x, textHeight / 4.f, 1e-3f);
  g.blendTrans();
  g.texture(font.tex());
  g.draw(mesh);
  g.popMatrix();
  g.popState();
}
