// Draws presets as the program shows its static atom, or a synth sequence's scene at given
// times, and writes one PNG each:
//
//   draw_presets OUTDIR FRAMES PRESET...
//   draw_presets --sequence OUTDIR SEQUENCE SECONDS...
//
// Run it in the data folder under a display (xvfb-run). Prints each picture's coverage. A
// sequence is played as zentha_render plays it, in rendered time, up to each of the times.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "AtomPicture.hpp"
#include "OfflineRenderer.hpp"
#include "ParseNumber.hpp"
#include "core/vl_Console.hpp"
#include "hidden_gl_window.hpp"

namespace {

// A file name without spaces.
std::string fileName(std::string name) {
  for (char& c : name) c = c == ' ' ? '_' : c;
  return name;
}

int drawPresets(const std::string& dir, int frames, char** presets, int count) {
  int status = 0;
  for (int i = 0; i < count; ++i) {
    const std::string preset = presets[i];
    AtomPicture p = drawPreset(preset, frames, 320, 200);
    const std::string path = dir + "/" + fileName(preset.substr(preset.rfind('/') + 1)) + ".png";
    if (!p.writePng(path)) status = 1;
    vl::print("%s: coverage %.3f -> %s\n", preset.c_str(), p.coverage(), path.c_str());
  }
  return status;
}

int drawSequence(const std::string& dir, const std::string& sequence, char** times, int count) {
  OfflineRenderer renderer(OfflineRenderer::Options{});
  std::string error;
  if (!renderer.playSequence(sequence, error)) {
    vl::printError("ERROR: %s\n", error.c_str());
    return 1;
  }
  const std::string stem = fileName(std::filesystem::path(sequence).stem().string());
  int status = 0;
  for (int i = 0; i < count; ++i) {
    double t = 0.0;
    if (!parseNumber(times[i], t) || t < renderer.secondsRendered()) {
      vl::printError("ERROR: times must be numbers in rising order: \"%s\"\n", times[i]);
      return 2;
    }
    while (renderer.secondsRendered() < t) renderer.renderBlock();
    AtomPicture p = drawScene(renderer.scene(), 320, 200);
    char name[64];
    std::snprintf(name, sizeof(name), "-%02dm%02ds.png", int(t) / 60, int(t) % 60);
    const std::string path = dir + "/" + stem + name;
    if (!p.writePng(path)) status = 1;
    vl::print("%s at %.1f s: coverage %.3f -> %s\n", sequence.c_str(), renderer.secondsRendered(),
              p.coverage(), path.c_str());
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const bool sequence = argc > 1 && std::string(argv[1]) == "--sequence";
  if (argc < 4 || (sequence && argc < 5)) {
    vl::printError(
        "usage: draw_presets OUTDIR FRAMES PRESET...\n"
        "       draw_presets --sequence OUTDIR SEQUENCE SECONDS...\n");
    return 2;
  }
  GLFWwindow* window = openHiddenGLWindow(64, 64);
  // The renderer's voices keep meshes on the GPU: they go before the context.
  const int status = sequence ? drawSequence(argv[2], argv[3], argv + 4, argc - 4)
                              : drawPresets(argv[1], std::atoi(argv[2]), argv + 3, argc - 3);
  glfwDestroyWindow(window);
  glfwTerminate();
  return status;
}
