#include "AtomParameters.hpp"

namespace {
constexpr float kWide = 99999.0f;
}

AtomParameters::AtomParameters()
    : polyX("polyX", "", 0.0f, "", -99.0f, 99.0f),
      polyY("polyY", "", 0.0f, "", -99.0f, 99.0f),
      polyZ("polyZ", "", 0.0f, "", -99.0f, 99.0f),
      polyAlpha("polyAlpha", "", 0.0f, "", 0.0f, 1.0f),
      polyBeta("polyBeta", "", 0.0f, "", 0.0f, 1.0f),
      polyGamma("polyGamma", "", 0.0f, "", 0.0f, 1.0f),
      polyRadius("polyRadius", "", 0.08f, "", -99.0f, 99.0f),
      polyRigid("polyRigid", "", 0.001f, "", 0.0f, 1.0f),
      polySmooth("polySmooth", "", 1.0f, "", 0.0f, 1.0f),
      polyVel("polyVel", "", 0.01f, "", -9.0f, 9.0f),
      der("der", "", 0.02f, "", -1.0f, 1.0f),
      contour("contour", "", 1.0f, "", 0.0f, 1.0f),
      zoom("zoom", "", 0.0f, "", -99.0f, 99.0f),
      lenEps("lenEps", "", 0.0f, "", 0.0f, 1.0f),
      hueRotation("hueRotation", "", 0.0f, "", 0.0f, 1.0f),
      newColors("newColors", "", 1.0f, "", 0.0f, 1.0f),
      springForce("springForce", "", 1.0f, "", 0.0f, 1.0f),
      simulationSpeed("simulationSpeed", "", 1.0f, "", 0.1f, 4.0f),
      freeze("freeze", "", 0.0f, "", 0.0f, 1.0f),
      resetOnLoad("ResetOnLoad", "", 1.0f, "", 0.0f, 1.0f),
      resetSpinorOnTrigger("ResetSpinorOnTrigger", "", 1.0f, "", 0.0f, 1.0f),
      forceReset("ForceReset", "", ""),
      mute("mute", "", 0.0f, "", -kWide, kWide),
      wfs1("wfs1"),
      wfs2("wfs2"),
      wfs3("wfs3") {}

std::vector<vl::ParameterMeta*> AtomParameters::physicsParameters() {
  return {&polyX,      &polyY,       &polyZ,
          &polyAlpha,  &polyBeta,    &polyGamma,
          &polyRadius, &polyRigid,   &polySmooth,
          &polyVel,    &der,         &contour,
          &zoom,       &lenEps,      &hueRotation,
          &newColors,  &springForce, &simulationSpeed,
          &freeze,     &resetOnLoad, &resetSpinorOnTrigger,
          &forceReset, &mute};
}

std::vector<vl::ParameterMeta*> AtomParameters::waveFunctionParameters() {
  std::vector<vl::ParameterMeta*> list;
  for (WaveFunctionParameters* group : waveFunctions()) {
    for (vl::ParameterMeta* p : group->parameters()) list.push_back(p);
  }
  return list;
}

std::vector<vl::ParameterMeta*> AtomParameters::parameters() {
  std::vector<vl::ParameterMeta*> list = physicsParameters();
  for (vl::ParameterMeta* p : waveFunctionParameters()) list.push_back(p);
  return list;
}
