#pragma once

#include <vector>

#include "math/vl_Pose.hpp"
#include "math/vl_Vec.hpp"
#include "sound/vl_SynthVoice.hpp"
#include "ui/vl_Parameter.hpp"

namespace vl {

// A voice with a place in a scene: a pose and a drawing size. Its trigger values are those of
// its trigger parameters followed by the pose (position x, y, z, then the quaternion w, x, y, z)
// and the size, so that a trigger can also place the voice.
class PositionedVoice : public SynthVoice {
 public:
  PositionedVoice() = default;

  // Pose and size are taken when at least 8 values follow the trigger parameters.
  bool setTriggerParams(const std::vector<ParameterField>& fields) override;
  bool setTriggerParams(const std::vector<float>& values, bool noCalls = false) override;
  // Pose and size are taken only when exactly 8 values follow the trigger parameters.
  bool setTriggerParams(const float* values, int numValues) override;
  std::vector<ParameterField> getTriggerParams() override;
  using SynthVoice::getTriggerParams;

  // Called by the scene before it places the voice for drawing.
  virtual void preProcessGraphics(Graphics& g) { (void)g; }

  Pose pose() { return mPose.get(); }
  void setPose(const Pose& pose) { mPose.set(pose); }
  float size() { return mSize.get(); }
  void setSize(float size) { mSize.set(size); }
  ParameterPose& parameterPose() { return mPose; }
  Parameter& parameterSize() { return mSize; }

  // Positions of the output channels relative to the voice's pose, one per channel; a channel
  // without an offset sits at the pose itself.
  const std::vector<Vec3f>& audioOutOffsets() const { return mAudioOutOffsets; }
  void audioOutOffsets(const std::vector<Vec3f>& offsets) { mAudioOutOffsets = offsets; }

  bool useDistanceAttenuation() const { return mUseDistAtten; }
  void useDistanceAttenuation(bool use) { mUseDistAtten = use; }

 protected:
  ParameterPose mPose{"_pose"};
  Parameter mSize{"_size", "", 1.0f, "", -99999.0f, 99999.0f};
  std::vector<Vec3f> mAudioOutOffsets;
  bool mUseDistAtten = true;

 private:
  static constexpr int kPlacementValues = 8;

  void place(const float* values, bool quiet);
};

}  // namespace vl
