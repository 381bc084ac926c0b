#pragma once

// The parameters of a voice's atom: the physics group and the three wave-function groups. The
// atom holds them (as a member or base) after its reset-pending flag.

#include <array>
#include <vector>

#include "WaveFunctionParameters.hpp"
#include "ui/vl_Parameter.hpp"

class AtomParameters {
 public:
  AtomParameters();
  AtomParameters(const AtomParameters&) = delete;
  AtomParameters& operator=(const AtomParameters&) = delete;

  // Physics group. Ring placement at reset (centre, Euler angles in turns, radius):
  vl::Parameter polyX;
  vl::Parameter polyY;
  vl::Parameter polyZ;
  vl::Parameter polyAlpha;
  vl::Parameter polyBeta;
  vl::Parameter polyGamma;
  vl::Parameter polyRadius;
  // Ring dynamics:
  vl::Parameter polyRigid;
  vl::Parameter polySmooth;
  vl::Parameter polyVel;
  vl::Parameter der;
  vl::Parameter contour;
  vl::Parameter zoom;
  vl::Parameter lenEps;  // stored and served only
  vl::Parameter hueRotation;
  vl::ParameterBool newColors;
  vl::ParameterBool springForce;  // stored and served only
  vl::Parameter simulationSpeed;
  vl::ParameterBool freeze;  // stored and served only
  vl::ParameterBool resetOnLoad;
  vl::ParameterBool resetSpinorOnTrigger;
  // The atom binds its reset of phases, rotors and ring to this trigger.
  vl::Trigger forceReset;
  vl::Parameter mute;  // stored and served only

  // "wfs1", "wfs2", "wfs3".
  WaveFunctionParameters wfs1;
  WaveFunctionParameters wfs2;
  WaveFunctionParameters wfs3;

  std::array<WaveFunctionParameters*, 3> waveFunctions() { return {&wfs1, &wfs2, &wfs3}; }

  // "polyX" to "mute" in table order.
  std::vector<vl::ParameterMeta*> physicsParameters();
  // The groups' parameters, "wfs1" first, each n, l, J, j, f, w.
  std::vector<vl::ParameterMeta*> waveFunctionParameters();
  // Physics, then wave functions: the order in which they are registered.
  std::vector<vl::ParameterMeta*> parameters();
};
