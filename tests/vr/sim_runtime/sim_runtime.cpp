// A simulated OpenVR runtime: loaded by the client library from <dir>/bin/linux64/vrclient.so,
// it plays the session of the script named by ZENTHA_VR_SCRIPT (see README.md), records
// every call it receives and keeps the last image submitted for each eye.
#include <epoxy/gl.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// The client core's header needs openvr.h before it.
#include "neutral_interfaces.hpp"
#include "sim_script.hpp"
// clang-format off
#include "ivrclientcore.h"
// clang-format on

namespace {

using namespace vrsim;

Session gSession;
std::string gCalls;
std::vector<unsigned char> gEyeImage[2];
int gEyeSize[2][2] = {};

void call(const std::string& text) {
  gCalls += text + "\n";
}

// A headset looking ahead (-z) at standing height and two idle controllers.
void defaultSession(Session& s) {
  const int classes[3] = {vr::TrackedDeviceClass_HMD, vr::TrackedDeviceClass_Controller,
                          vr::TrackedDeviceClass_Controller};
  for (int i = 0; i < 3; ++i) s.deviceClass[i] = classes[i], s.connected[i] = true;
  s.roles[1] = 1, s.roles[2] = 2;
  s.poses = {{0, 0, {0.f, 1.7f, 0.f}, {1, 0, 0, 0}},
             {0, 1, {-0.2f, 1.2f, -0.3f}, {1, 0, 0, 0}},
             {0, 2, {0.2f, 1.2f, -0.3f}, {1, 0, 0, 0}}};
}

// The device's pose at the current frame: its last scripted step at or before it.
bool poseAt(const Session& s, int index, vr::HmdMatrix34_t& m) {
  const PoseStep* found = nullptr;
  for (const PoseStep& p : s.poses)
    if (p.index == index && p.frame <= s.frame) found = &p;
  if (!found) return false;
  float w = found->q[0], x = found->q[1], y = found->q[2], z = found->q[3];
  float r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                   {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                   {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) m.m[row][col] = r[row][col];
    m.m[row][3] = found->p[row];
  }
  return true;
}

void fillPoses(vr::TrackedDevicePose_t* poses, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    vr::TrackedDevicePose_t pose{};
    pose.bDeviceIsConnected = i < kDevices && gSession.connected[i];
    pose.bPoseIsValid =
        pose.bDeviceIsConnected && poseAt(gSession, i, pose.mDeviceToAbsoluteTracking);
    pose.eTrackingResult =
        pose.bPoseIsValid ? vr::TrackingResult_Running_OK : vr::TrackingResult_Uninitialized;
    poses[i] = pose;
  }
}

class System : public NeutralSystem {
 public:
  void GetRecommendedRenderTargetSize(uint32_t* w, uint32_t* h) override {
    call("GetRecommendedRenderTargetSize");
    *w = gSession.width, *h = gSession.height;
  }
  // OpenVR's own layout: row-major, depth mapped to [0, 1].
  HmdMatrix44_t GetProjectionMatrix(EVREye eye, float n, float f) override {
    call("GetProjectionMatrix " + std::to_string(eye));
    const float* t = gSession.frustum[eye];
    float l = t[0], r = t[1], b = t[2], tp = t[3], q = f / (n - f);
    return {{{2 / (r - l), 0, (r + l) / (r - l), 0},
             {0, 2 / (tp - b), (tp + b) / (tp - b), 0},
             {0, 0, q, q * n},
             {0, 0, -1, 0}}};
  }
  HmdMatrix34_t GetEyeToHeadTransform(EVREye eye) override {
    call("GetEyeToHeadTransform " + std::to_string(eye));
    const float* o = gSession.eyeOffset[eye];
    return {{{1, 0, 0, o[0]}, {0, 1, 0, o[1]}, {0, 0, 1, o[2]}}};
  }
  void GetDeviceToAbsoluteTrackingPose(ETrackingUniverseOrigin origin, float predict,
                                       TrackedDevicePose_t* poses, uint32_t count) override {
    call("GetDeviceToAbsoluteTrackingPose " + std::to_string(origin) + " " +
         std::to_string(predict == 0.f));
    fillPoses(poses, count);
  }
  TrackedDeviceIndex_t GetTrackedDeviceIndexForControllerRole(
      ETrackedControllerRole role) override {
    call("GetTrackedDeviceIndexForControllerRole " + std::to_string(role));
    int index = role == 1 || role == 2 ? gSession.roles[role] : -1;
    return index < 0 ? k_unTrackedDeviceIndexInvalid : index;
  }
  ETrackedDeviceClass GetTrackedDeviceClass(TrackedDeviceIndex_t i) override {
    call("GetTrackedDeviceClass " + std::to_string(i));
    return i < kDevices ? ETrackedDeviceClass(gSession.deviceClass[i]) : TrackedDeviceClass_Invalid;
  }
  bool IsTrackedDeviceConnected(TrackedDeviceIndex_t i) override {
    call("IsTrackedDeviceConnected " + std::to_string(i));
    return i < kDevices && gSession.connected[i];
  }
  uint32_t GetStringTrackedDeviceProperty(TrackedDeviceIndex_t i, ETrackedDeviceProperty prop,
                                          char* value, uint32_t size,
                                          ETrackedPropertyError* error) override {
    call("GetStringTrackedDeviceProperty " + std::to_string(i) + " " + std::to_string(prop));
    std::string text = prop == Prop_TrackingSystemName_String ? "zentha_sim"
                       : prop == Prop_SerialNumber_String     ? "SIM-" + std::to_string(i)
                                                              : "";
    if (error) *error = TrackedProp_Success;
    if (value && size > text.size()) std::memcpy(value, text.c_str(), text.size() + 1);
    return static_cast<uint32_t>(text.size() + 1);
  }
  bool PollNextEvent(VREvent_t* event, uint32_t size) override {
    call("PollNextEvent");
    Session& s = gSession;
    if (s.nextEvent >= s.events.size() || s.events[s.nextEvent].frame > s.frame) return false;
    const EventStep& e = s.events[s.nextEvent++];
    std::memset(event, 0, size);
    event->eventType = e.type;
    event->trackedDeviceIndex = e.index;
    event->data.controller.button = e.button;
    if (e.type == VREvent_TrackedDeviceActivated) s.connected[e.index] = true;
    if (e.type == VREvent_TrackedDeviceDeactivated) s.connected[e.index] = false;
    return true;
  }
  bool GetControllerState(TrackedDeviceIndex_t i, VRControllerState_t* state,
                          uint32_t size) override {
    call("GetControllerState " + std::to_string(i));
    if (i >= kDevices || !gSession.connected[i] || size != sizeof *state) return false;
    *state = {};
    state->unPacketNum = gSession.frame;
    for (const AxisStep& a : gSession.axes)
      if (a.index == int(i) && a.frame <= gSession.frame) state->rAxis[a.axis] = {a.x, a.y};
    for (const ButtonStep& b : gSession.buttons)
      if (b.index == int(i) && b.frame <= gSession.frame) state->ulButtonPressed = b.held;
    return true;
  }
};

class Compositor : public NeutralCompositor {
 public:
  EVRCompositorError WaitGetPoses(TrackedDevicePose_t* render, uint32_t count, TrackedDevicePose_t*,
                                  uint32_t) override {
    call("WaitGetPoses " + std::to_string(count));
    fillPoses(render, count);
    ++gSession.frame;
    return VRCompositorError_None;
  }
  EVRCompositorError Submit(EVREye eye, const Texture_t* texture, const VRTextureBounds_t* bounds,
                            EVRSubmitFlags flags) override {
    call("Submit " + std::to_string(eye) + " " + std::to_string(texture->eType) + " " +
         std::to_string(texture->eColorSpace) + " " + std::to_string(bounds == nullptr) + " " +
         std::to_string(flags));
    if (texture->eType != TextureType_OpenGL) return VRCompositorError_InvalidTexture;
    capture(eye, static_cast<GLuint>(reinterpret_cast<uintptr_t>(texture->handle)));
    return VRCompositorError_None;
  }
  void PostPresentHandoff() override { call("PostPresentHandoff"); }

 private:
  static void capture(int eye, GLuint name) {
    GLint previous = 0, w = 0, h = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    gEyeImage[eye].resize(size_t(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, gEyeImage[eye].data());
    glBindTexture(GL_TEXTURE_2D, previous);
    gEyeSize[eye][0] = w, gEyeSize[eye][1] = h;
    if (const char* dir = std::getenv("ZENTHA_VR_PNG_DIR")) {
      std::string path = std::string(dir) + "/eye" + (eye ? "R" : "L") + "_" +
                         std::to_string(gSession.frame) + ".png";
      stbi_flip_vertically_on_write(1);  // OpenGL's rows run bottom-up
      stbi_write_png(path.c_str(), w, h, 4, gEyeImage[eye].data(), w * 4);
    }
  }
};

class Overlay : public NeutralOverlay {
 public:
  EVROverlayError CreateOverlay(const char* key, const char* name,
                                VROverlayHandle_t* handle) override {
    call(std::string("CreateOverlay ") + key + " " + name);
    *handle = 1;
    return VROverlayError_None;
  }
  EVROverlayError SetOverlayFlag(VROverlayHandle_t, VROverlayFlags flag, bool on) override {
    call("SetOverlayFlag " + std::to_string(flag) + " " + std::to_string(on));
    return VROverlayError_None;
  }
  EVROverlayError SetOverlayInputMethod(VROverlayHandle_t, VROverlayInputMethod method) override {
    call("SetOverlayInputMethod " + std::to_string(method));
    return VROverlayError_None;
  }
};

System gSystem;
Compositor gCompositor;
Overlay gOverlay;

class ClientCore : public vr::IVRClientCore {
 public:
  vr::EVRInitError Init(vr::EVRApplicationType type, const char*) override {
    call("Init " + std::to_string(type));
    gSession = Session();
    if (const char* script = std::getenv("ZENTHA_VR_SCRIPT"))
      loadScript(gSession, script);
    else
      defaultSession(gSession);
    return vr::VRInitError_None;
  }
  void Cleanup() override { call("Cleanup"); }
  vr::EVRInitError IsInterfaceVersionValid(const char* version) override {
    call(std::string("IsInterfaceVersionValid ") + version);
    return interfaceOf(version) ? vr::VRInitError_None : vr::VRInitError_Init_InvalidInterface;
  }
  void* GetGenericInterface(const char* version, vr::EVRInitError* error) override {
    call(std::string("GetGenericInterface ") + version);
    void* found = interfaceOf(version);
    if (error) *error = found ? vr::VRInitError_None : vr::VRInitError_Init_InterfaceNotFound;
    return found;
  }
  bool BIsHmdPresent() override {
    call("BIsHmdPresent");
    Session s;
    if (const char* script = std::getenv("ZENTHA_VR_SCRIPT")) loadScript(s, script);
    return s.hmdPresent;
  }
  const char* GetEnglishStringForHmdError(vr::EVRInitError) override { return "simulated"; }
  const char* GetIDForVRInitError(vr::EVRInitError error) override {
    return error == vr::VRInitError_Init_InterfaceNotFound ? "VRInitError_Init_InterfaceNotFound"
                                                           : "VRInitError_Unknown";
  }

 private:
  static void* interfaceOf(const std::string& version) {
    if (gSession.refused.count(version)) return nullptr;
    if (version == vr::IVRSystem_Version) return static_cast<vr::IVRSystem*>(&gSystem);
    if (version == vr::IVRCompositor_Version) return static_cast<vr::IVRCompositor*>(&gCompositor);
    if (version == vr::IVROverlay_Version) return static_cast<vr::IVROverlay*>(&gOverlay);
    return nullptr;
  }
};

ClientCore gCore;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* VRClientCoreFactory(const char* name, int* code) {
  bool known = std::strcmp(name, vr::IVRClientCore_Version) == 0;
  if (code) *code = known ? 0 : vr::VRInitError_Init_InterfaceNotFound;
  return known ? static_cast<vr::IVRClientCore*>(&gCore) : nullptr;
}

// For tests that load this library themselves: the calls so far, one per line.
__attribute__((visibility("default"))) const char* vrsimCalls() {
  return gCalls.c_str();
}
__attribute__((visibility("default"))) void vrsimClearCalls() {
  gCalls.clear();
}
// The last image submitted for an eye, RGBA rows bottom-up; null before the first.
__attribute__((visibility("default"))) const unsigned char* vrsimEyeImage(int eye, int* w, int* h) {
  *w = gEyeSize[eye][0], *h = gEyeSize[eye][1];
  return gEyeImage[eye].empty() ? nullptr : gEyeImage[eye].data();
}
}
