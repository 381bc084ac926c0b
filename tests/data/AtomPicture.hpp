#pragma once

// One voice's atom drawn as the program shows its static atom (camera 1.5 in front, the atom at
// half size 0.85 away, turned half round), after a number of simulation frames, into an
// offscreen framebuffer. Needs a current OpenGL 3.3 context.

#include <string>
#include <vector>

namespace vl {
class DynamicScene;
}

struct AtomPicture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;  // rows from the bottom, as OpenGL reads them

  // Fraction of pixels brighter than a faint threshold.
  double coverage() const;
  // The box round the pixels that coverage() counts, as fractions of the width and the height.
  double litWidth() const;
  double litHeight() const;
  // Grey levels averaged over cells x cells blocks, for comparing pictures coarsely.
  std::vector<double> downscaled(int cells) const;
  bool writePng(const std::string& path) const;
};

// The preset (a name below "hydrogen_presets" in the working directory, "defaults/Flower")
// triggered on a fresh voice with full envelope and stepped for `frames` frames at 60 Hz.
AtomPicture drawPreset(const std::string& preset, int frames, int width, int height);

// The scene's active voices drawn as the program draws the coda's world (scaled to half and
// brought 0.65 nearer), seen from above and behind the listener's place at the centre.
AtomPicture drawScene(vl::DynamicScene& scene, int width, int height);
