#pragma once

// Helpers for tests of the voice and the renderer: a scratch working directory (voices keep
// their presets under the working directory, as the program does), a preset that sounds, and
// the strongest frequency of a rendered signal.

#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "HydrogenVoice.hpp"
#include "dsp/Domain.hpp"
#include "sound/fft.hpp"

namespace zentha_test {

// Enters a fresh directory for the object's lifetime.
class WorkingDirectory {
 public:
  WorkingDirectory() : mPrevious(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "zentha_voiceXXXXXX").string();
    if (mkdtemp(pattern.data())) mPath = pattern;
    std::filesystem::current_path(mPath);
  }
  ~WorkingDirectory() {
    std::error_code ec;
    std::filesystem::current_path(mPrevious, ec);
    std::filesystem::remove_all(mPath, ec);
  }
  const std::string& path() const { return mPath; }

 private:
  std::filesystem::path mPrevious;
  std::string mPath;
};

// Three low states that sample strongly on the ring's path, at "pitch" 7 (110 Hz).
inline void setSoundingAtom(HydrogenVoice& v) {
  auto set = [](WaveFunctionParameters& g, float n, float l, float J, float j, float f, float w) {
    g.n.set(n), g.l.set(l), g.J.set(J), g.j.set(j), g.f.set(f), g.w.set(w);
  };
  AtomParameters& p = v.atom().parameters();
  set(p.wfs1, 2, 1, 1.5f, 0.5f, 0.002f, 1.0f);
  set(p.wfs2, 1, 0, 0.5f, 0.5f, -0.003f, 0.9f);
  set(p.wfs3, 2, 1, 0.5f, -0.5f, 0.001f, 0.8f);
  p.polyBeta.set(0.15f);
  v.sound().parameters().pitch.set(7.0f);
}

// Stores that atom as a preset of the voice's own handler, in a sub-folder when given.
inline void storeSoundingPreset(const std::string& name, const std::string& folder = "") {
  HydrogenVoice v;
  v.init();
  setSoundingAtom(v);
  if (!folder.empty()) v.presets().setSubDirectory(folder);
  v.presets().storePreset(name);
}

// The frequency of the largest bin of the spectrum of the first 2^k samples (Hann window),
// refined by a parabola through the bin and its neighbours.
inline double peakFrequency(const std::vector<float>& x, double rate) {
  size_t n = 1;
  while (n * 2 <= x.size()) n *= 2;
  std::vector<std::complex<double>> a(n);
  for (size_t i = 0; i < n; ++i) {
    a[i] = x[i] * (0.5 - 0.5 * std::cos(2.0 * M_PI * double(i) / double(n)));
  }
  fft(a);
  size_t best = 1;
  for (size_t k = 1; k < n / 2; ++k) {
    if (std::abs(a[k]) > std::abs(a[best])) best = k;
  }
  const double l = std::abs(a[best - 1]), c = std::abs(a[best]), r = std::abs(a[best + 1]);
  const double shift = (l - r) / (2.0 * (l - 2.0 * c + r));
  return (double(best) + (std::isfinite(shift) ? shift : 0.0)) * rate / double(n);
}

}  // namespace zentha_test
