#include "vr/vl_OpenVRHeadset.hpp"

#include <epoxy/gl.h>
#include <openvr.h>

#include <glm/gtc/quaternion.hpp>
#include <stdexcept>

#include "core/vl_Console.hpp"

namespace vl {

namespace {

constexpr vr::EVREye kEyes[2] = {vr::Eye_Left, vr::Eye_Right};

Mat4f toMat4(const vr::HmdMatrix34_t& m) {
  Mat4f r(1.f);
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 4; ++col) r[col][row] = m.m[row][col];
  return r;
}

Mat4f toMat4(const vr::HmdMatrix44_t& m) {
  Mat4f r;
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col) r[col][row] = m.m[row][col];
  return r;
}

Quatf quatOf(const Mat4f& m) {
  glm::quat q = glm::quat_cast(glm::mat3(m));
  return {q.w, q.x, q.y, q.z};
}

}  // namespace

OpenVRHeadset::OpenVRHeadset()
    : mRenderPoses(new vr::TrackedDevicePose_t[kMaxDevices]()),
      mDevicePoses(new vr::TrackedDevicePose_t[kMaxDevices]()) {
  for (auto& m : mDeviceMatrices) m = Mat4f(1.f);
}

OpenVRHeadset::~OpenVRHeadset() {
  close();
  delete[] mRenderPoses;
  delete[] mDevicePoses;
}

const char* OpenVRHeadset::className(int deviceClass) {
  switch (deviceClass) {
    case vr::TrackedDeviceClass_Invalid:
      return "invalid";
    case vr::TrackedDeviceClass_HMD:
      return "hmd";
    case vr::TrackedDeviceClass_Controller:
      return "controller";
    case vr::TrackedDeviceClass_GenericTracker:
      return "generic tracker";
    case vr::TrackedDeviceClass_TrackingReference:
      return "base station";
    case vr::TrackedDeviceClass_DisplayRedirect:
      return "display redirect";
    default:
      return "Unknown class";
  }
}

char OpenVRHeadset::classCode(int deviceClass) {
  switch (deviceClass) {
    case vr::TrackedDeviceClass_Invalid:
      return 'I';
    case vr::TrackedDeviceClass_HMD:
      return 'H';
    case vr::TrackedDeviceClass_Controller:
      return 'C';
    case vr::TrackedDeviceClass_GenericTracker:
      return 'G';
    case vr::TrackedDeviceClass_TrackingReference:
      return 'T';
    default:
      return '?';
  }
}

std::string OpenVRHeadset::deviceString(int index, int property) {
  char buffer[vr::k_unMaxPropertyStringSize] = "";
  mSystem->GetStringTrackedDeviceProperty(index, static_cast<vr::ETrackedDeviceProperty>(property),
                                          buffer, sizeof buffer);
  return buffer;
}

bool OpenVRHeadset::init() {
  if (mInitialized) {
    printError("Another vantlib application is using the HMD. Not runnning HMD\n");
    return false;
  }
  if (!vr::VR_IsHmdPresent()) {
    print("No HMD was found in the system.\n");
    return false;
  }
  print("An HMD was successfully found in the system\n");
  if (!vr::VR_IsRuntimeInstalled()) {
    print("Runtime was not found.\n");
    return false;
  }
  char path[255] = "";
  uint32_t length = 0;
  vr::VR_GetRuntimePath(path, sizeof path, &length);
  if (length < 256) print("Runtime correctly installed at '%s'\n", path);
  if (!vr::VR_IsRuntimeInstalled())
    throw std::runtime_error("Error : OpenVR Runtime not detected on the system");

  // VR_Init also checks the system interface's version and shuts down when it is refused.
  vr::EVRInitError error = vr::VRInitError_None;
  mSystem = vr::VR_Init(&error, vr::VRApplication_Scene);
  if (!mSystem || error != vr::VRInitError_None) {
    mSystem = nullptr;
    print("Error while initializing SteamVR runtime. Error code is %s\n",
          vr::VR_GetVRInitErrorAsSymbol(error));
    return false;
  }
  print("SteamVR runtime successfully initialized\n");

  if (vr::IVROverlay* overlay = vr::VROverlay()) {
    overlay->CreateOverlay("MainKey.SystemOverlay", "SystemOverlay", &mOverlay);
    overlay->SetOverlayFlag(mOverlay, vr::VROverlayFlags_SendVRTouchpadEvents, true);
    overlay->SetOverlayFlag(mOverlay, vr::VROverlayFlags_ShowTouchPadScrollWheel, true);
    overlay->SetOverlayInputMethod(mOverlay, vr::VROverlayInputMethod_Mouse);
  }

  for (int i = 0; i < kMaxDevices; ++i) {
    if (!mSystem->IsTrackedDeviceConnected(i)) {
      print("Tracking device %d not connected\n", i);
      continue;
    }
    int deviceClass = mSystem->GetTrackedDeviceClass(i);
    mDeviceClassNames[i] = className(deviceClass);
    mDeviceClassCodes[i] = classCode(deviceClass);
    std::string name = deviceString(i, vr::Prop_TrackingSystemName_String);
    print("Tracking device %d is connected \n", i);
    print("  Device type: %s. Name: %s\n", mDeviceClassNames[i].c_str(), name.c_str());
    if (i == vr::k_unTrackedDeviceIndex_Hmd) {
      mDisplayName = name;
      mDisplaySerial = deviceString(i, vr::Prop_SerialNumber_String);
    }
  }
  print("Driver name: %s Driver serial ID: %s\n", mDisplayName.c_str(), mDisplaySerial.c_str());

  if (!vr::VRCompositor()) throw std::runtime_error("Unable to initialize VR compositor!\n ");

  uint32_t width = 0, height = 0;
  mSystem->GetRecommendedRenderTargetSize(&width, &height);
  for (Eye& eye : mEyes) {
    eye.color.create2D(width, height, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE);
    eye.color.wrap(GL_CLAMP_TO_EDGE).filter(GL_LINEAR);
    eye.color.bind();  // applies the filter and wrap settings
    eye.color.unbind();
    eye.depth.resize(width, height);
    eye.fbo.attachTexture2D(eye.color).attachRBO(eye.depth);
  }
  FBO::unbind();
  printError("Initialized HMD with suggested render target size : %ux%u\n", width, height);

  for (int e = 0; e < 2; ++e) {
    mEyes[e].projection = toMat4(mSystem->GetProjectionMatrix(kEyes[e], mNear, mFar));
    mEyes[e].eyeFromHead = glm::inverse(toMat4(mSystem->GetEyeToHeadTransform(kEyes[e])));
  }
  // A new session names its hands' devices afresh.
  mLeft = VRController();
  mRight = VRController();
  mControllers.clear();
  mInitialized = true;
  return true;
}

VRController* OpenVRHeadset::controllerOf(int deviceIndex) {
  auto it = mControllers.find(deviceIndex);
  return it == mControllers.end() ? nullptr : it->second;
}

void OpenVRHeadset::handleEvents() {
  vr::VREvent_t event;
  while (mSystem->PollNextEvent(&event, sizeof event)) {
    int index = static_cast<int>(event.trackedDeviceIndex);
    bool known = index >= 0 && index < kMaxDevices;
    switch (event.eventType) {
      case vr::VREvent_TrackedDeviceActivated:
      case vr::VREvent_TrackedDeviceDeactivated:
      case vr::VREvent_TrackedDeviceUpdated: {
        if (!known) break;
        const char* what = event.eventType == vr::VREvent_TrackedDeviceActivated     ? "attached"
                           : event.eventType == vr::VREvent_TrackedDeviceDeactivated ? "detached"
                                                                                     : "updated";
        int deviceClass = mSystem->GetTrackedDeviceClass(index);
        const char* name = className(deviceClass);
        mDeviceClassCodes[index] = classCode(deviceClass);
        print("Device %d %s (%s)\n", index, what, name);
        mDeviceClassNames[index] =
            event.eventType == vr::VREvent_TrackedDeviceDeactivated ? "" : name;
        break;
      }
      case vr::VREvent_ButtonPress:
      case vr::VREvent_ButtonUnpress: {
        VRController* c = controllerOf(index);
        if (!c) break;
        bool down = event.eventType == vr::VREvent_ButtonPress;
        switch (event.data.controller.button) {
          case vr::k_EButton_System:
            c->systemPressed = down;
            break;
          case vr::k_EButton_Grip:
            c->gripPressed = down;
            break;
          case vr::k_EButton_SteamVR_Touchpad:
            c->touchpadPressed = down;
            break;
          case vr::k_EButton_SteamVR_Trigger:
            c->triggerPressed = down;
            break;
          default:
            break;
        }
        break;
      }
      case vr::VREvent_ButtonTouch:
      case vr::VREvent_ButtonUntouch: {
        VRController* c = controllerOf(index);
        if (!c) break;
        bool down = event.eventType == vr::VREvent_ButtonTouch;
        if (event.data.controller.button == vr::k_EButton_SteamVR_Touchpad)
          c->touchpadTouched = down;
        else if (event.data.controller.button == vr::k_EButton_SteamVR_Trigger)
          c->triggerTouched = down;
        break;
      }
      default:
        break;
    }
  }
}

void OpenVRHeadset::readControllers() {
  VRController* hands[2] = {&mLeft, &mRight};
  const vr::ETrackedControllerRole roles[2] = {vr::TrackedControllerRole_LeftHand,
                                               vr::TrackedControllerRole_RightHand};
  for (int h = 0; h < 2; ++h) {
    if (hands[h]->deviceIndex != -1) continue;
    vr::TrackedDeviceIndex_t index = mSystem->GetTrackedDeviceIndexForControllerRole(roles[h]);
    if (index < static_cast<vr::TrackedDeviceIndex_t>(kMaxDevices)) {
      hands[h]->deviceIndex = static_cast<int>(index);
      mControllers[hands[h]->deviceIndex] = hands[h];
    }
  }

  for (int i = 0; i < kMaxDevices; ++i) {
    if (!mDevicePoses[i].bDeviceIsConnected || !mDevicePoses[i].bPoseIsValid) continue;
    const vr::HmdMatrix34_t& m = mDevicePoses[i].mDeviceToAbsoluteTracking;
    Vec3f position{m.m[0][3], m.m[1][3], m.m[2][3]};
    if (i == vr::k_unTrackedDeviceIndex_Hmd) mHeadPosition = position;
    if (VRController* c = controllerOf(i)) {
      Vec3f previous{float(c->pose.position[0]), float(c->pose.position[1]),
                     float(c->pose.position[2])};
      c->vel = position - previous;
      c->pose.position = Vec3d{position[0], position[1], position[2]};
    }
  }

  for (VRController* c : hands) {
    vr::VRControllerState_t state;
    if (c->deviceIndex < 0 || !mSystem->GetControllerState(c->deviceIndex, &state, sizeof state))
      continue;
    if (!c->touchpadTouched) {
      c->touchpadX = c->touchpadY = c->touchpadDX = c->touchpadDY = 0.f;
    } else {
      // The first touched frame has no previous position to move from.
      if (c->touchpadX != 0.f || c->touchpadY != 0.f) {
        c->touchpadDX = state.rAxis[0].x - c->touchpadX;
        c->touchpadDY = state.rAxis[0].y - c->touchpadY;
      }
      c->touchpadX = state.rAxis[0].x;
      c->touchpadY = state.rAxis[0].y;
    }
    if (!c->triggerTouched && !c->triggerPressed) {
      c->triggerOn = false;
      c->triggerValue = 0.f;
    } else {
      c->triggerValue = state.rAxis[1].x;
      c->triggerOn = c->triggerValue >= c->triggerThreshold;
    }
    std::uint64_t now = state.ulButtonPressed;
    c->buttonsPressed = now & ~c->buttonsHeld;
    c->buttonsReleased = c->buttonsHeld & ~now;
    c->buttonsHeld = now;
  }
}

void OpenVRHeadset::readRenderPoses() {
  mValidPoseCount = 0;
  mPoseClasses.clear();
  for (int i = 0; i < kMaxDevices; ++i) {
    if (!mRenderPoses[i].bPoseIsValid) continue;
    ++mValidPoseCount;
    mDeviceMatrices[i] = toMat4(mRenderPoses[i].mDeviceToAbsoluteTracking);
    mPoseClasses += mDeviceClassCodes[i];
    if (mDeviceClassNames[i] == "controller") {
      if (VRController* c = controllerOf(i)) {
        c->mat = glm::inverse(mDeviceMatrices[i]);
        c->pose.orientation = Quatd(quatOf(c->mat));
      }
    }
  }
  if (mRenderPoses[vr::k_unTrackedDeviceIndex_Hmd].bPoseIsValid) {
    mHeadMatrix = glm::inverse(mDeviceMatrices[vr::k_unTrackedDeviceIndex_Hmd]);
    mHeadOrientation = quatOf(mHeadMatrix);
  }
}

void OpenVRHeadset::update() {
  if (!mSystem) return;
  handleEvents();
  mSystem->GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseStanding, 0.f, mDevicePoses,
                                           kMaxDevices);
  readControllers();
  if (vr::IVRCompositor* compositor = vr::VRCompositor())
    compositor->WaitGetPoses(mRenderPoses, kMaxDevices, nullptr, 0);
  readRenderPoses();
}

Pose OpenVRHeadset::headPose() const {
  return Pose(Vec3d{mHeadPosition[0], mHeadPosition[1], mHeadPosition[2]}, Quatd(mHeadOrientation));
}

void OpenVRHeadset::draw(const std::function<void(Graphics&)>& drawScene, Graphics& g) {
  if (!mSystem) return;
  GLint framebuffer = 0, viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
  glGetIntegerv(GL_VIEWPORT, viewport);
  for (Eye& eye : mEyes) {
    g.framebuffer(eye.fbo);
    g.viewport(0, 0, eye.color.width(), eye.color.height());
    g.pushProjMatrix();
    g.pushViewMatrix();
    g.pushMatrix();
    g.projMatrix(eye.projection);
    g.viewMatrix(eye.eyeFromHead * mHeadMatrix);
    g.loadIdentity();
    drawScene(g);
    g.popMatrix();
    g.popViewMatrix();
    g.popProjMatrix();
  }
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  g.viewport(viewport[0], viewport[1], viewport[2], viewport[3]);

  // The draw function may have closed the headset.
  if (!mSystem) throw std::runtime_error("Error : presenting frames when VR system handle is NULL");
  vr::IVRCompositor* compositor = vr::VRCompositor();
  if (!compositor) return;
  vr::EVRCompositorError errors[2];
  for (int e = 0; e < 2; ++e) {
    vr::Texture_t texture = {reinterpret_cast<void*>(static_cast<uintptr_t>(mEyes[e].color.id())),
                             vr::TextureType_OpenGL, vr::ColorSpace_Gamma};
    errors[e] = compositor->Submit(kEyes[e], &texture, nullptr, vr::Submit_Default);
  }
  if (errors[0] != vr::VRCompositorError_None || errors[1] != vr::VRCompositorError_None)
    print("%d, from error message %d\n", errors[0], errors[1]);
  compositor->PostPresentHandoff();
}

void OpenVRHeadset::close() {
  if (mSystem) vr::VR_Shutdown();
  mSystem = nullptr;
  mInitialized = false;
}

}  // namespace vl
