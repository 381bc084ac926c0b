#include "VoiceParameters.hpp"

namespace {
constexpr float kWide = 99999.0f;
}

VoiceParameters::VoiceParameters()
    : reson1R("reson1R", "", 1.0f, "", -kWide, kWide),
      reson1I("reson1I", "", 0.0f, "", -kWide, kWide),
      reson2R("reson2R", "", 1.0f, "", -kWide, kWide),
      reson2I("reson2I", "", 0.0f, "", -kWide, kWide),
      reson3R("reson3R", "", 1.0f, "", -kWide, kWide),
      reson3I("reson3I", "", 0.0f, "", -kWide, kWide),
      env("env", "", 0.0f, "", -kWide, kWide),
      presetToLoad("presetToLoad", "", ""),
      sequenceToPlay("sequenceToPlay", "", ""),
      seqTimeScale("seqTimeScale", "", 1.0f, "", 0.01f, 10.0f) {}

void VoiceParameters::resetResonances() {
  reson1R.set(1.0f);
  reson1I.set(0.0f);
  reson2R.set(1.0f);
  reson2I.set(0.0f);
  reson3R.set(1.0f);
  reson3I.set(0.0f);
}

std::vector<vl::ParameterMeta*> VoiceParameters::resonanceParameters() {
  return {&reson1R, &reson1I, &reson2R, &reson2I, &reson3R, &reson3I};
}

std::vector<vl::ParameterMeta*> VoiceParameters::parameters() {
  std::vector<vl::ParameterMeta*> list = resonanceParameters();
  list.insert(list.end(), {&env, &presetToLoad, &sequenceToPlay, &seqTimeScale});
  return list;
}
