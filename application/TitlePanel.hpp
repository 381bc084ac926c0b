#pragma once

#include <array>
#include <functional>
#include <memory>

#include "PickableButton.hpp"
#include "PickableLabel.hpp"
#include "graphics/vl_Font.hpp"
#include "io/vl_PickableManager.hpp"

// The panel of static-atom mode: eleven lines of text (title, credits, help) and the buttons
// "start" and "start VR", standing at z = −2 in front of the home position. The whole panel
// stands kDrop lower than its layout's heights: seen from the home position through the
// window's 30-degree lens, the layout's title row would lie above the top of the picture.
class TitlePanel {
 public:
  static constexpr int kLabels = 11;
  static constexpr float kDrop = 0.3f;
  static constexpr const char* kKeysHelp =
      "Enter: Start | Backspace: Stop | Esc: Toggle Fullscreen | Space:  Reset Camera";

  TitlePanel();

  // Adds the labels and buttons to the collection (which must not outlive the panel) and
  // runs onStart at a press of either button.
  void registerWith(vl::PickableManager& pickables, std::function<void()> onStart);

  // Labels, then the buttons; a font that failed to load draws the buttons' boxes only.
  void draw(vl::Graphics& g, vl::Font& font);

  PickableLabel& label(int i) { return *mLabels[size_t(i)]; }
  PickableButton& startButton() { return mStart; }
  PickableButton& startVRButton() { return mStartVR; }

 private:
  std::array<std::unique_ptr<PickableLabel>, kLabels> mLabels;
  PickableButton mStart{"start", 0.2f, 0.05f - kDrop, 0.6f, 0.07f};
  PickableButton mStartVR{"start VR", 0.5f, 0.1f - kDrop, 0.3f, 0.07f};
};
