#include "sound/vl_PositionedVoice.hpp"

namespace vl {

void PositionedVoice::place(const float* v, bool quiet) {
  const Pose pose(Vec3d{v[0], v[1], v[2]}, Quatd{v[3], v[4], v[5], v[6]});
  if (quiet) {
    mPose.setQuiet(pose);
    mSize.setQuiet(v[7]);
  } else {
    mPose.set(pose);
    mSize.set(v[7]);
  }
}

bool PositionedVoice::setTriggerParams(const std::vector<ParameterField>& fields) {
  if (!SynthVoice::setTriggerParams(fields)) return false;
  const std::size_t first = mTriggerParams.size();
  if (fields.size() >= first + kPlacementValues) {
    float v[kPlacementValues];
    for (int i = 0; i < kPlacementValues; ++i) v[i] = fields[first + i].get<float>();
    place(v, false);
  }
  return true;
}

bool PositionedVoice::setTriggerParams(const std::vector<float>& values, bool noCalls) {
  if (!SynthVoice::setTriggerParams(values, noCalls)) return false;
  const std::size_t first = mTriggerParams.size();
  if (values.size() >= first + kPlacementValues) place(values.data() + first, noCalls);
  return true;
}

bool PositionedVoice::setTriggerParams(const float* values, int numValues) {
  if (!SynthVoice::setTriggerParams(values, numValues)) return false;
  const int first = static_cast<int>(mTriggerParams.size());
  if (numValues == first + kPlacementValues) place(values + first, false);
  return true;
}

std::vector<ParameterField> PositionedVoice::getTriggerParams() {
  std::vector<ParameterField> fields = SynthVoice::getTriggerParams();
  mPose.get(fields);
  fields.emplace_back(mSize.get());
  return fields;
}

}  // namespace vl
