// Renders the piece into a WAV file (32-bit float) without an audio device, through the same
// voices, scene, spatialiser and output stage as the program, faster than real time:
//
//   zentha_render [options] SEQUENCE.synthSequence
//   zentha_render [options] --preset NAME [NAME=VALUE ...]
//
// Run it in the data folder: voices read their presets from "hydrogen_presets" below the
// working directory, as the program does. The same input always renders the same file.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "OfflineRenderer.hpp"
#include "ParseNumber.hpp"
#include "core/vl_Console.hpp"

namespace {

constexpr double kMaxSeconds = 24.0 * 3600.0;

void usage() {
  vl::printError(
      "usage: zentha_render [options] SEQUENCE.synthSequence\n"
      "       zentha_render [options] --preset NAME [NAME=VALUE ...]\n"
      "options:\n"
      "  --out FILE.wav      output file (default: the input's name with .wav)\n"
      "  --seconds S         length (default: the sequence's end plus the longest release,\n"
      "                      or 10 s for a preset)\n"
      "  --layout L          stereo, ring8 or array54 (default stereo)\n"
      "  --rate HZ           sample rate (default 44100)\n"
      "  --fps N             simulation frames per second, up to 100 (default 60)\n");
}

double dbfs(double v) {
  return v > 0.0 ? 20.0 * std::log10(v) : -INFINITY;
}

struct Arguments {
  OfflineRenderer::Options options;
  std::string out, input, preset;
  std::vector<std::string> settings;
  double seconds = -1.0;
  bool help = false;
};

// False with a message for anything that is not a valid command line.
bool parse(int argc, char** argv, Arguments& a) {
  auto number = [&](int& i, const char* option, double lo, double hi, double& out) {
    if (i + 1 >= argc || !parseNumber(argv[i + 1], out) || out < lo || out > hi) {
      vl::printError("ERROR: %s needs a number from %g to %g\n", option, lo, hi);
      return false;
    }
    ++i;
    return true;
  };
  bool presetMode = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      a.help = true;
      return true;
    } else if (arg == "--out" || arg == "--layout" || arg == "--preset") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        vl::printError("ERROR: %s needs a value\n", arg.c_str());
        return false;
      }
      const std::string value = argv[++i];
      if (arg == "--out") a.out = value;
      if (arg == "--layout") a.options.layout = value;
      if (arg == "--preset") a.preset = value, presetMode = true;
    } else if (arg == "--seconds") {
      if (!number(i, "--seconds", 0.001, kMaxSeconds, a.seconds)) return false;
    } else if (arg == "--rate") {
      double rate = 0;
      if (!number(i, "--rate", 8000, 384000, rate)) return false;
      if (rate != std::floor(rate)) {
        vl::printError("ERROR: --rate needs a whole number of Hz\n");
        return false;
      }
      a.options.rate = rate;
    } else if (arg == "--fps") {
      if (!number(i, "--fps", 1, 100, a.options.fps)) return false;
    } else if (arg.rfind("--", 0) == 0) {
      vl::printError("ERROR: unknown option \"%s\"\n", arg.c_str());
      return false;
    } else if (arg.find('=') != std::string::npos) {
      a.settings.push_back(arg);
    } else if (a.input.empty()) {
      a.input = arg;
    } else {
      vl::printError("ERROR: more than one input: \"%s\" and \"%s\"\n", a.input.c_str(),
                     arg.c_str());
      return false;
    }
  }
  const auto& layouts = OfflineRenderer::layouts();
  if (std::find(layouts.begin(), layouts.end(), a.options.layout) == layouts.end()) {
    vl::printError("ERROR: unknown layout \"%s\" (stereo, ring8 or array54)\n",
                   a.options.layout.c_str());
    return false;
  }
  if (presetMode && !a.input.empty()) {
    vl::printError("ERROR: give a synth sequence or --preset, not both\n");
    return false;
  }
  if (!presetMode && a.input.empty()) {
    vl::printError("ERROR: nothing to render\n");
    return false;
  }
  if (!presetMode && !a.settings.empty()) {
    vl::printError("ERROR: NAME=VALUE settings go with --preset\n");
    return false;
  }
  if (a.out.empty()) {
    a.out = presetMode ? std::filesystem::path(a.preset).filename().string() + ".wav"
                       : std::filesystem::path(a.input).replace_extension(".wav").string();
  }
  return true;
}

void progress(double done, double total) {
  constexpr int kWidth = 40;
  const int filled = int(kWidth * std::min(1.0, done / total));
  vl::printError("\r[%s%s] %3d%%", std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(kWidth - filled), '.').c_str(), int(100.0 * done / total));
}

}  // namespace

int main(int argc, char** argv) {
  Arguments a;
  if (!parse(argc, argv, a)) {
    usage();
    return 2;
  }
  if (a.help) {
    usage();
    return 0;
  }
  OfflineRenderer renderer(a.options);
  std::string error;
  const bool started = a.preset.empty() ? renderer.playSequence(a.input, error)
                                        : renderer.playPreset(a.preset, a.settings, error);
  if (!started) {
    vl::printError("ERROR: %s\n", error.c_str());
    return 2;
  }
  const double seconds =
      a.seconds > 0 ? a.seconds : (a.preset.empty() ? renderer.naturalLength() : 10.0);
  const long long total = std::max(1LL, std::llround(seconds * renderer.rate()));

  SF_INFO info{};
  info.samplerate = int(renderer.rate());
  info.channels = renderer.channels();
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(a.out.c_str(), SFM_WRITE, &info);
  if (!file) {
    vl::printError("ERROR: cannot write \"%s\": %s\n", a.out.c_str(), sf_strerror(nullptr));
    return 1;
  }
  // The peak chunk carries the time of writing; without it equal renders are equal files.
  sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);

  const bool tty = isatty(STDERR_FILENO);
  const auto wallStart = std::chrono::steady_clock::now();
  long long written = 0;
  int shown = -1;
  bool ok = true;
  while (written < total && ok) {
    const int frames = int(std::min<long long>(OfflineRenderer::kFramesPerBuffer, total - written));
    const std::vector<float>& block = renderer.renderBlock(frames);
    ok = sf_writef_float(file, block.data(), frames) == frames;
    written += frames;
    const int percent = int(100 * written / total);
    if (tty && percent != shown) progress(double(written), double(total)), shown = percent;
  }
  if (tty) vl::printError("\n");
  if (!ok) {
    vl::printError("ERROR: writing \"%s\" failed: %s\n", a.out.c_str(), sf_strerror(file));
    sf_close(file);
    return 1;
  }
  if (sf_close(file) != 0) {
    vl::printError("ERROR: closing \"%s\" failed\n", a.out.c_str());
    return 1;
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double rendered = double(written) / renderer.rate();
  std::string line;
  char text[512];
  std::snprintf(text, sizeof(text), "%s: %.3f s rendered in %.3f s wall (%.2fx real time);",
                a.out.c_str(), rendered, wall, wall > 0 ? rendered / wall : 0.0);
  line += text;
  for (int c = 0; c < renderer.channels(); ++c) {
    std::snprintf(text, sizeof(text), " ch%d peak %.1f rms %.1f dBFS", c + 1,
                  dbfs(renderer.peak(c)), dbfs(renderer.rms(c)));
    line += text;
    if (c + 1 < renderer.channels()) line += ",";
  }
  std::snprintf(text, sizeof(text), "; peak %d voices at once", renderer.peakVoices());
  line += text;
  vl::print("%s\n", line.c_str());
  return 0;
}
