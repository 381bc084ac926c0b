// Draws presets as the program shows its static atom and writes one PNG each:
//
//   draw_presets OUTDIR FRAMES PRESET...
//
// Run it in the data folder under a display (xvfb-run). Prints each picture's coverage.
#include <cstdlib>
#include <string>

#include "AtomPicture.hpp"
#include "core/vl_Console.hpp"
#include "hidden_gl_window.hpp"

int main(int argc, char** argv) {
  if (argc < 4) {
    vl::printError("usage: draw_presets OUTDIR FRAMES PRESET...\n");
    return 2;
  }
  GLFWwindow* window = openHiddenGLWindow(64, 64);
  const int frames = std::atoi(argv[2]);
  int status = 0;
  for (int i = 3; i < argc; ++i) {
    const std::string preset = argv[i];
    AtomPicture p = drawPreset(preset, frames, 320, 200);
    std::string file = preset.substr(preset.rfind('/') + 1);
    for (char& c : file) c = c == ' ' ? '_' : c;
    const std::string path = std::string(argv[1]) + "/" + file + ".png";
    if (!p.writePng(path)) status = 1;
    vl::print("%s: coverage %.3f -> %s\n", preset.c_str(), p.coverage(), path.c_str());
  }
  glfwDestroyWindow(window);
  glfwTerminate();
  return status;
}
