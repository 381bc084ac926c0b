#pragma once

// The items of the title panel: flat boxes in the panel's plane that show a text.

#include <string>

#include "graphics/vl_Font.hpp"
#include "graphics/vl_Graphics.hpp"
#include "io/vl_PickableBB.hpp"

// A box of a width and height with its lower left corner at the item's position, hovered
// while the pointer is over it.
class PickableWidget : public vl::PickableBB {
 public:
  explicit PickableWidget(std::string name) : vl::PickableBB(std::move(name)) {}

  // The panel's items all stand at z = −2, in front of the viewer's home position.
  void place(float x, float y, float width, float height, float z = -2.f);
  float width() const { return boxMax()[0]; }
  float height() const { return boxMax()[1]; }

  bool onEvent(vl::PickEvent& e, vl::Hit& hit) override;

 protected:
  // Draws a text with the font, in the item's frame: its pen starts at x (or is centred
  // there) and its baseline is raised by a quarter of the text height. Leaves alpha blending
  // on, which the text needs.
  static void drawText(vl::Graphics& g, vl::Font& font, vl::Mesh& mesh, const std::string& text,
                       float textHeight, float x, bool centred);
};
