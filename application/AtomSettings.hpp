#pragma once

#include <array>

// The numbers one wave-function group holds, as its parameters hold them.
struct WaveSettings {
  double n = 0.0, l = 0.0, J = 0.0, j = 0.0, f = 0.0, w = 0.0;
};

// The atom's physics and wave-function settings as plain values, with the parameters'
// defaults; the owner keeps them in step with its parameters.
struct AtomSettings {
  double polyX = 0.0, polyY = 0.0, polyZ = 0.0;
  double polyAlpha = 0.0, polyBeta = 0.0, polyGamma = 0.0;
  double polyRadius = 0.08;
  double polyRigid = 0.001;
  double polySmooth = 1.0;
  double polyVel = 0.01;
  double der = 0.02;
  double contour = 1.0;
  double zoom = 0.0;
  double hueRotation = 0.0;
  bool newColors = true;
  double simulationSpeed = 1.0;
  bool resetOnLoad = true;
  std::array<WaveSettings, 3> waves{};
};
