#pragma once

// Measures of a rendered sound for the checks of the piece's data: levels over windows, the
// longest silence, the mean of each channel, and the spectral centroid over windows.

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "data_support.hpp"
#include "sound/fft.hpp"

namespace zentha_data {

// RMS over all channels of consecutive windows of the given length (the last one may be short).
inline std::vector<double> windowRms(const Sound& s, double seconds) {
  const size_t frames = std::max<size_t>(1, size_t(seconds * s.rate));
  std::vector<double> out;
  for (size_t start = 0; start < s.frames(); start += frames) {
    const size_t end = std::min(s.frames(), start + frames);
    double sum = 0.0;
    for (size_t i = start * size_t(s.channels); i < end * size_t(s.channels); ++i) {
      sum += double(s.samples[i]) * s.samples[i];
    }
    out.push_back(std::sqrt(sum / double((end - start) * size_t(s.channels))));
  }
  return out;
}

// The longest run of windows below the threshold that ends before the last window above it,
// in windows: silence after the last sound is the piece's end, not a gap.
inline size_t longestGap(const std::vector<double>& rms, double threshold) {
  size_t last = 0;
  for (size_t i = 0; i < rms.size(); ++i) {
    if (rms[i] >= threshold) last = i;
  }
  size_t longest = 0, run = 0;
  for (size_t i = 0; i < last; ++i) {
    run = rms[i] < threshold ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

inline std::vector<double> channelMeans(const Sound& s) {
  std::vector<double> mean(size_t(s.channels), 0.0);
  for (size_t i = 0; i < s.samples.size(); ++i) mean[i % size_t(s.channels)] += s.samples[i];
  for (double& m : mean) m /= double(std::max<size_t>(1, s.frames()));
  return mean;
}

inline double peak(const Sound& s) {
  double p = 0.0;
  for (float x : s.samples) p = std::max(p, double(std::fabs(x)));
  return p;
}

// The spectral centroid (Hz) of the channels' mix over consecutive windows of the given length:
// the magnitude spectra of Hann-windowed frames of 4096 samples, summed over the window.
// Windows without sound give 0.
inline std::vector<double> spectralCentroids(const Sound& s, double seconds) {
  constexpr size_t kFrame = 4096;
  const size_t window = size_t(seconds * s.rate);
  std::vector<double> hann(kFrame);
  for (size_t i = 0; i < kFrame; ++i) hann[i] = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / kFrame);
  std::vector<double> centroids;
  std::vector<std::complex<double>> a(kFrame);
  std::vector<double> magnitude(kFrame / 2);
  for (size_t start = 0; start + window <= s.frames(); start += window) {
    std::fill(magnitude.begin(), magnitude.end(), 0.0);
    for (size_t f = start; f + kFrame <= start + window; f += kFrame) {
      for (size_t i = 0; i < kFrame; ++i) {
        double mix = 0.0;
        for (int c = 0; c < s.channels; ++c) mix += s.samples[(f + i) * size_t(s.channels) + c];
        a[i] = mix * hann[i];
      }
      zentha_test::fft(a);
      for (size_t k = 0; k < kFrame / 2; ++k) magnitude[k] += std::abs(a[k]);
    }
    double weighted = 0.0, total = 0.0;
    for (size_t k = 1; k < kFrame / 2; ++k) {
      weighted += magnitude[k] * double(k) * s.rate / kFrame;
      total += magnitude[k];
    }
    centroids.push_back(total > 0.0 ? weighted / total : 0.0);
  }
  return centroids;
}

}  // namespace zentha_data
