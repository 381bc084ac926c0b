#pragma once

#include <functional>
#include <map>
#include <string>

#include "graphics/vl_FBO.hpp"
#include "graphics/vl_Graphics.hpp"
#include "graphics/vl_Texture.hpp"
#include "math/vl_Mat4.hpp"
#include "vr/vl_VRController.hpp"

namespace vr {
class IVRSystem;
struct TrackedDevicePose_t;
}  // namespace vr

namespace vl {

// A head-mounted display and its two hand controllers through the OpenVR runtime. Without a
// runtime or a headset every operation only prints why and does nothing, so the same program
// runs on the desktop. All calls belong on the thread that owns the OpenGL context.
class OpenVRHeadset {
 public:
  static constexpr int kMaxDevices = 64;

  OpenVRHeadset();
  ~OpenVRHeadset();
  OpenVRHeadset(const OpenVRHeadset&) = delete;
  OpenVRHeadset& operator=(const OpenVRHeadset&) = delete;

  // Starts the runtime and makes the eye targets (the OpenGL context must be current).
  // Returns whether VR is on; a missing compositor throws std::runtime_error.
  bool init();
  // Events, tracked poses and controller states of this frame; waits for the compositor.
  void update();
  // Renders both eyes with their view and projection and hands them to the compositor.
  void draw(const std::function<void(Graphics&)>& drawScene, Graphics& g);
  void close();

  bool initialized() const { return mInitialized; }
  bool active() const { return mSystem != nullptr; }

  VRController& leftController() { return mLeft; }
  VRController& rightController() { return mRight; }
  const Mat4f& headMatrix() const { return mHeadMatrix; }
  const Vec3f& headPosition() const { return mHeadPosition; }
  const Quatf& headOrientation() const { return mHeadOrientation; }
  Pose headPose() const;
  FBO& eyeFbo(int eye) { return mEyes[eye].fbo; }
  Texture& eyeTexture(int eye) { return mEyes[eye].color; }
  const Mat4f& eyeProjection(int eye) const { return mEyes[eye].projection; }
  const Mat4f& eyeFromHead(int eye) const { return mEyes[eye].eyeFromHead; }
  int renderWidth() const { return mEyes[0].color.width(); }
  int renderHeight() const { return mEyes[0].color.height(); }
  // The class name of the device at an index, empty while it is detached.
  const std::string& deviceClassName(int index) const { return mDeviceClassNames[index]; }
  int validPoseCount() const { return mValidPoseCount; }
  const std::string& poseClasses() const { return mPoseClasses; }
  const std::string& displayName() const { return mDisplayName; }
  const std::string& displaySerial() const { return mDisplaySerial; }

  static const char* className(int deviceClass);
  static char classCode(int deviceClass);

 private:
  struct Eye {
    Mat4f projection{1.f};
    Mat4f eyeFromHead{1.f};  // the inverse of the eye-to-head transform
    Texture color;
    RBO depth;
    FBO fbo;
  };

  void handleEvents();
  void readControllers();
  void readRenderPoses();
  VRController* controllerOf(int deviceIndex);
  std::string deviceString(int index, int property);

  VRController mLeft, mRight;
  Mat4f mHeadMatrix{1.f};
  Vec3f mHeadPosition{0.f, 0.f, 0.f};
  Quatf mHeadOrientation;
  vr::IVRSystem* mSystem = nullptr;
  vr::TrackedDevicePose_t* mRenderPoses;  // kMaxDevices records, kept out of this header
  vr::TrackedDevicePose_t* mDevicePoses;
  std::string mDisplayName, mDisplaySerial;
  std::string mDeviceClassNames[kMaxDevices];
  Mat4f mDeviceMatrices[kMaxDevices];
  char mDeviceClassCodes[kMaxDevices] = {};
  int mValidPoseCount = 0;
  std::string mPoseClasses;
  float mNear = 0.01f, mFar = 100.f;
  Eye mEyes[2];
  std::map<int, VRController*> mControllers;
  std::uint64_t mOverlay = 0;
  bool mInitialized = false;
};

}  // namespace vl
