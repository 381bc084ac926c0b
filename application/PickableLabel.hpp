#pragma once

#include "PickableWidget.hpp"

// A line of text of the title panel, left-aligned or centred on its width. Its box is the
// width by a line and a quarter of the text height.
class PickableLabel : public PickableWidget {
 public:
  PickableLabel(std::string text, float x, float y, float width, float textHeight,
                bool centred = false);

  const std::string& text() const { return mText; }
  void text(std::string t) { mText = std::move(t); }
  float textHeight() const { return mTextHeight; }
  bool centred() const { return mCentred; }

  // White text (times the tint) at the label's place.
  void draw(vl::Graphics& g, vl::Font& font);

 private:
  std::string mText;
  float mTextHeight;
  bool mCentred;
  vl::Mesh mMesh;
};
