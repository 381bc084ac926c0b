#include "PickableButton.hpp"

PickableButton::PickableButton(std::string text, float x, float y, float width, float textHeight)
    : PickableWidget(text), trigger("trigger", text), mText(text), mTextHeight(textHeight) {
  place(x, y, width, 1.25f * textHeight);
  mBox.primitive(vl::Mesh::TRIANGLE_STRIP);
  mBox.vertex(0.f, 0.f).vertex(width, 0.f).vertex(0.f, height()).vertex(width, height());
}

void PickableButton::onPress(std::function<void()> f) {
  trigger.registerChangeCallback([f = std::move(f)](bool) { f(); });
}

bool PickableButton::onEvent(vl::PickEvent& e, vl::Hit& hit) {
  if (e.kind == vl::POINT) return PickableWidget::onEvent(e, hit);
  if (e.kind != vl::PICK) return false;
  if (hit.hit) {
    trigger.set(true);
    selected.set(1.f);
  } else {
    selected.set(0.f);
  }
  return true;
}

void PickableButton::draw(vl::Graphics& g, vl::Font& font) {
  const float grey = hover.get() != 0.f || selected.get() != 0.f ? 1.f : 0.5f;
  pushMatrix(g);
  g.color(grey, grey, grey, 1.f);
  g.draw(mBox);
  g.tint(0.f, 0.f, 0.f, 1.f);
  drawText(g, font, mTextMesh, mText, mTextHeight, width() / 2.f, true);
  g.tint(1.f);
  popMatrix(g);
}
