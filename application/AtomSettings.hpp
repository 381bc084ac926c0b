#pragma once

// The atom's physics settings as plain values, read from its parameters once per frame (the
// wave-function groups are read only when they change).
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
};
