#include "TitlePanel.hpp"

TitlePanel::TitlePanel() {
  struct Line {
    const char* text;
    float y, width, height;
  };
  static const Line lines[kLabels] = {
      {"ZENTHA", 0.9f, 0.75f, 0.2f},
      {"ZENTHA: hydrogen atoms seen and heard, a real-time piece", 0.8f, 0.8f, 0.042f},
      {"Spin, light and sound of the hydrogen atom.  Version 1.0.2", 0.75f, 0.8f, 0.035f},
      {"Concept, physics and sound: the ZENTHA ensemble", 0.65f, 0.8f, 0.035f},
      {"Programming and visuals: the ZENTHA developers", 0.6f, 0.8f, 0.035f},
      {"This application was built using the vantlib multimedia framework.", 0.5f, 0.8f, 0.035f},
      {"Free to play and show for non-commercial use; all other rights reserved.", 0.45f, 0.8f,
       0.035f},
      {kKeysHelp, 0.35f, 0.8f, 0.035f},
      {"Click and drag the mouse to move the camera", 0.3f, 0.8f, 0.035f},
      {"If using Vive, press trigger button to start, menu button to stop", 0.2f, 0.8f, 0.035f},
      {"Use touchpads to move the camera, grab to reset", 0.15f, 0.8f, 0.035f},
  };
  for (int i = 0; i < kLabels; ++i) {
    const Line& l = lines[i];
    mLabels[size_t(i)] =
        std::make_unique<PickableLabel>(l.text, 0.1f, l.y - kDrop, l.width, l.height,
                                        /*centred=*/i == 0);
  }
}

void TitlePanel::registerWith(vl::PickableManager& pickables, std::function<void()> onStart) {
  for (auto& label : mLabels) pickables << *label;
  pickables << mStart << mStartVR;
  mStart.onPress(onStart);
  mStartVR.onPress(std::move(onStart));
}

void TitlePanel::draw(vl::Graphics& g, vl::Font& font) {
  if (font.loaded()) {
    for (auto& label : mLabels) label->draw(g, font);
  }
  mStart.draw(g, font);
  mStartVR.draw(g, font);
}
