#include "PickableLabel.hpp"

PickableLabel::PickableLabel(std::string text, float x, float y, float width, float textHeight,
                             bool centred)
    : PickableWidget("label"), mText(std::move(text)), mTextHeight(textHeight), mCentred(centred) {
  place(x, y, width, 1.25f * textHeight);
}

void PickableLabel::draw(vl::Graphics& g, vl::Font& font) {
  pushMatrix(g);
  drawText(g, font, mMesh, mText, mTextHeight, mCentred ? width() / 2.f : 0.f, mCentred);
  popMatrix(g);
}
