#pragma once

#include <functional>

#include "PickableWidget.hpp"
#include "ui/vl_Parameter.hpp"

// A button of the title panel. A press on it sets its trigger, whose callbacks run there and
// then, and selects it; the next press that misses it clears the selection (a release does
// not), so it shows pressed from its press until then.
class PickableButton : public PickableWidget {
 public:
  PickableButton(std::string text, float x, float y, float width, float textHeight);

  vl::Trigger trigger;

  // Runs f at every press of the button.
  void onPress(std::function<void()> f);

  bool onEvent(vl::PickEvent& e, vl::Hit& hit) override;

  // A grey box, full grey while hovered or selected and half grey otherwise, with its text
  // in black, centred.
  void draw(vl::Graphics& g, vl::Font& font);

  const std::string& text() const { return mText; }
  float textHeight() const { return mTextHeight; }

 private:
  std::string mText;
  float mTextHeight;
  vl::Mesh mBox, mTextMesh;
};
