// The headset against the simulated runtime (tests/vr/sim_runtime), loaded by OpenVR's own
// client library. The test keeps its own handle on the runtime so that its call log and eye
// images outlive each shutdown.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "graphics/gl_context.hpp"
#include "graphics/vl_Mesh.hpp"
#include "graphics/vl_Shapes.hpp"
#include "vr/vl_OpenVRHeadset.hpp"

using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

struct SimRuntime {
  SimRuntime() {
    lib = dlopen(ZENTHA_VR_SIM_RUNTIME "/bin/linux64/vrclient.so", RTLD_NOW);
    if (!lib) throw std::runtime_error(dlerror());
    calls = reinterpret_cast<const char* (*)()>(dlsym(lib, "vrsimCalls"));
    clear = reinterpret_cast<void (*)()>(dlsym(lib, "vrsimClearCalls"));
    eye = reinterpret_cast<const unsigned char* (*)(int, int*, int*)>(dlsym(lib, "vrsimEyeImage"));
  }
  void* lib;
  const char* (*calls)();
  void (*clear)();
  const unsigned char* (*eye)(int, int*, int*);
};

class HeadsetTest : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    dir = fs::temp_directory_path() / ("vr_test_" + std::to_string(getpid()));
    fs::create_directories(dir);
    useRuntime(ZENTHA_VR_SIM_RUNTIME);
    unsetenv("ZENTHA_VR_SCRIPT");
    sim.clear();
  }
  void TearDown() override {
    hmd.close();
    fs::remove_all(dir);
    GLTest::TearDown();
  }
  void useRuntime(const std::string& runtime) {
    setenv("VR_OVERRIDE", runtime.c_str(), 1);
    setenv("VR_CONFIG_PATH", dir.c_str(), 1);
    setenv("VR_LOG_PATH", dir.c_str(), 1);
  }
  void script(const std::string& text) {
    std::ofstream(dir / "session.txt") << text;
    setenv("ZENTHA_VR_SCRIPT", (dir / "session.txt").c_str(), 1);
  }
  std::string initOutput(bool expectOn) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(hmd.init(), expectOn);
    return testing::internal::GetCapturedStdout();
  }

  static inline SimRuntime sim;
  fs::path dir;
  vl::OpenVRHeadset hmd;
};

TEST_F(HeadsetTest, StaysOffWithoutRuntimeHeadsetOrSystemInterface) {
  unsetenv("VR_OVERRIDE"), unsetenv("VR_CONFIG_PATH"), unsetenv("VR_LOG_PATH");
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);  // an empty path registry
  EXPECT_THAT(initOutput(false), HasSubstr("No HMD was found in the system.\n"));
  hmd.update();
  hmd.draw([](vl::Graphics&) { FAIL() << "drew without a headset"; }, g);
  EXPECT_FALSE(hmd.active());

  // A runtime directory without its library cannot answer whether a headset is there.
  fs::create_directories(dir / "empty/bin/linux64");
  useRuntime((dir / "empty").string());
  EXPECT_THAT(initOutput(false), HasSubstr("No HMD was found in the system.\n"));

  useRuntime(ZENTHA_VR_SIM_RUNTIME);
  script("nohmd\n");
  EXPECT_THAT(initOutput(false), HasSubstr("No HMD was found in the system.\n"));

  script("refuse IVRSystem_021\n");
  std::string out = initOutput(false);
  EXPECT_THAT(out, HasSubstr("An HMD was successfully found in the system\n"));
  EXPECT_THAT(out, HasSubstr("Runtime correctly installed at '" ZENTHA_VR_SIM_RUNTIME "'\n"));
  EXPECT_THAT(out, HasSubstr("Error while initializing SteamVR runtime. Error code is "
                             "VRInitError_Init_InterfaceNotFound\n"));
  EXPECT_THAT(sim.calls(), HasSubstr("IsInterfaceVersionValid IVRSystem_021\nCleanup\n"));
  EXPECT_FALSE(hmd.active());

  // The path registry finds the runtime as well as the variables do.
  unsetenv("VR_OVERRIDE"), unsetenv("VR_CONFIG_PATH"), unsetenv("VR_LOG_PATH");
  fs::create_directories(dir / "openvr");
  std::ofstream(dir / "openvr/openvrpaths.vrpath")
      << "{\"runtime\":[\"" ZENTHA_VR_SIM_RUNTIME "\"],\"config\":[" << dir << "],\"log\":[" << dir
      << "],\"version\":1}";
  unsetenv("ZENTHA_VR_SCRIPT");
  initOutput(true);
  hmd.close();

  useRuntime(ZENTHA_VR_SIM_RUNTIME);
  script("device 0 1\nrefuse IVRCompositor_026\n");
  testing::internal::CaptureStdout();
  EXPECT_THROW(hmd.init(), std::runtime_error);
  testing::internal::GetCapturedStdout();
}

TEST_F(HeadsetTest, CallsTheRuntimeInOrder) {
  std::string out = initOutput(true);  // the default session: a headset and two controllers
  EXPECT_THAT(out,
              HasSubstr("Tracking device 0 is connected \n  Device type: hmd. Name: zentha_sim\n"
                        "Tracking device 1 is connected \n  Device type: controller."));
  EXPECT_THAT(out, HasSubstr("Tracking device 3 not connected\n"));
  EXPECT_THAT(out, HasSubstr("Driver name: zentha_sim Driver serial ID: SIM-0\n"));
  std::string initCalls = sim.calls();

  testing::internal::CaptureStderr();
  EXPECT_FALSE(hmd.init());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Another vantlib application is using the HMD. Not runnning HMD\n");
  EXPECT_EQ(sim.calls(), initCalls);
  EXPECT_TRUE(hmd.active());

  for (int frame = 0; frame < 2; ++frame) {
    hmd.update();
    hmd.draw([](vl::Graphics& gr) { gr.clear(0, 0, 0); }, g);
  }
  hmd.close();

  std::string expected =
      "BIsHmdPresent\nInit 1\nIsInterfaceVersionValid IVRSystem_021\n"
      "GetGenericInterface IVRSystem_021\nGetGenericInterface IVROverlay_024\n"
      "CreateOverlay MainKey.SystemOverlay SystemOverlay\nSetOverlayFlag 128 1\n"
      "SetOverlayFlag 256 1\nSetOverlayInputMethod 1\n";
  for (int i = 0; i < 64; ++i) {
    expected += "IsTrackedDeviceConnected " + std::to_string(i) + "\n";
    if (i < 3)
      expected += "GetTrackedDeviceClass " + std::to_string(i) +
                  "\nGetStringTrackedDeviceProperty " + std::to_string(i) + " 1000\n";
    if (i == 0) expected += "GetStringTrackedDeviceProperty 0 1002\n";
  }
  expected +=
      "GetGenericInterface IVRCompositor_026\nGetRecommendedRenderTargetSize\n"
      "GetProjectionMatrix 0\nGetEyeToHeadTransform 0\nGetProjectionMatrix 1\n"
      "GetEyeToHeadTransform 1\n";
  for (int frame = 0; frame < 2; ++frame) {
    expected += "PollNextEvent\nGetDeviceToAbsoluteTrackingPose 1 1\n";
    if (frame == 0)
      expected +=
          "GetTrackedDeviceIndexForControllerRole 1\n"
          "GetTrackedDeviceIndexForControllerRole 2\n";
    expected +=
        "GetControllerState 1\nGetControllerState 2\nWaitGetPoses 64\n"
        "Submit 0 1 1 1 0\nSubmit 1 1 1 1 0\nPostPresentHandoff\n";
  }
  EXPECT_EQ(sim.calls(), expected + "Cleanup\n");
  EXPECT_FALSE(hmd.initialized());

  // The default headset looks ahead at standing height.
  EXPECT_FLOAT_EQ(hmd.headPosition()[1], 1.7f);
  EXPECT_EQ(hmd.poseClasses(), "HCC");
}

TEST_F(HeadsetTest, ReadsControllersAndDeviceChanges) {
  // Left hand is device 1, right hand device 2, a tracker device 3. Frames count updates from 0.
  script(
      "device 0 1\ndevice 1 2\ndevice 2 2\ndevice 3 3\nrole left 1\nrole right 2\n"
      "pose 0 0 0 1.6 0\npose 0 1 -0.2 1 -0.3\npose 2 1 -0.1 1.2 -0.3\n"
      "event 1 202 1 33\naxis 1 1 1 0.5 0\naxis 2 1 1 0.89 0\naxis 3 1 1 0.9 0\n"
      "event 1 202 2 32\naxis 1 2 0 0.2 0.1\naxis 2 2 0 0.3 0.3\nevent 3 203 2 32\n"
      "buttons 2 1 2\nbuttons 4 1 0\n"
      "event 2 101 3 0\nevent 4 100 3 0\n");
  initOutput(true);
  vl::VRController& left = hmd.leftController();
  vl::VRController& right = hmd.rightController();
  const bool triggerOn[] = {false, false, false, true, true};
  const bool menuPressed[] = {false, false, true, false, false};
  const bool menuReleased[] = {false, false, false, false, true};
  testing::internal::CaptureStdout();
  for (int frame = 0; frame < 5; ++frame) {
    hmd.update();
    SCOPED_TRACE("frame " + std::to_string(frame));
    EXPECT_EQ(left.triggerOn, triggerOn[frame]);
    EXPECT_EQ(left.pressed(1), menuPressed[frame]);
    EXPECT_EQ(left.released(1), menuReleased[frame]);
    EXPECT_EQ(hmd.deviceClassName(3), frame == 2 || frame == 3 ? "" : "generic tracker");
    if (frame == 1) {  // first touched frame: a position, no change yet
      EXPECT_FLOAT_EQ(right.touchpadX, 0.2f);
      EXPECT_FLOAT_EQ(right.touchpadDX, 0.f);
    }
    if (frame == 2) {
      EXPECT_FLOAT_EQ(right.touchpadDX, 0.3f - 0.2f);
      EXPECT_FLOAT_EQ(right.touchpadDY, 0.3f - 0.1f);
      EXPECT_NEAR(left.vel[0], 0.1f, 1e-6f);
      EXPECT_NEAR(left.vel[1], 0.2f, 1e-6f);
    }
    if (frame == 3) {
      EXPECT_FLOAT_EQ(right.touchpadX, 0.f);  // untouched
    }
  }
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(out, HasSubstr("Device 3 detached (generic tracker)\n"));
  EXPECT_THAT(out, HasSubstr("Device 3 attached (generic tracker)\n"));
  EXPECT_FLOAT_EQ(left.triggerValue, 0.9f);
}

// Centre of the red pixels of an RGBA image (rows bottom-up, like OpenGL's).
glm::vec2 redCentroid(const unsigned char* p, int w, int h) {
  glm::vec2 sum(0.f);
  int n = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (p[(y * w + x) * 4] > 128) sum += glm::vec2(x + 0.5f, y + 0.5f), ++n;
  return n ? sum / float(n) : glm::vec2(-1.f);
}

TEST_F(HeadsetTest, EyesSeeAnObjectWhereTheirProjectionsAndOffsetsPutIt) {
  // Asymmetric frusta (tangents left right bottom top), eyes 8 cm apart, head turned 10
  // degrees to the left.
  const float frustum[2][4] = {{-0.6f, 0.4f, -0.5f, 0.5f}, {-0.4f, 0.6f, -0.5f, 0.5f}};
  const float eyeX[2] = {-0.04f, 0.04f};
  const float yaw = glm::radians(10.f);
  const glm::vec3 head(0.f, 1.5f, 0.f), object(-0.1f, 1.6f, -2.f);
  std::ostringstream s;
  s << "device 0 1\nsize 256 256\npose 0 0 0 1.5 0 " << std::cos(yaw / 2) << " 0 "
    << std::sin(yaw / 2) << " 0\n";
  for (int e = 0; e < 2; ++e) {
    s << "frustum " << e;
    for (float f : frustum[e]) s << ' ' << f;
    s << "\neye " << e << ' ' << eyeX[e] << " 0 0\n";
  }
  script(s.str());
  initOutput(true);

  vl::Mesh ball;
  vl::addSphere(ball, 0.03f);
  setenv("ZENTHA_VR_PNG_DIR", dir.c_str(), 1);
  hmd.update();
  hmd.draw(
      [&](vl::Graphics& gr) {
        gr.clear(0, 0, 0);
        gr.translate(object.x, object.y, object.z);
        gr.color(1, 0, 0);
        gr.draw(ball);
      },
      g);

  glm::mat4 headPose = glm::translate(glm::mat4(1.f), head) *
                       glm::rotate(glm::mat4(1.f), yaw, glm::vec3(0.f, 1.f, 0.f));
  glm::vec2 seen[2], expected[2];
  for (int e = 0; e < 2; ++e) {
    int w = 0, h = 0;
    const unsigned char* image = sim.eye(e, &w, &h);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(w, 256);
    const float* t = frustum[e];
    glm::mat4 proj = glm::frustum(t[0], t[1], t[2], t[3], 1.f, 10.f);
    glm::mat4 eyeInHead = glm::translate(glm::mat4(1.f), glm::vec3(eyeX[e], 0.f, 0.f));
    glm::vec4 clip = proj * glm::inverse(headPose * eyeInHead) * glm::vec4(object, 1.f);
    expected[e] = (glm::vec2(clip) / clip.w + 1.f) * 0.5f * float(w);
    seen[e] = redCentroid(image, w, h);
    EXPECT_NEAR(seen[e].x, expected[e].x, 1.f) << "eye " << e;
    EXPECT_NEAR(seen[e].y, expected[e].y, 1.f) << "eye " << e;
  }
  unsetenv("ZENTHA_VR_PNG_DIR");
  EXPECT_GT(fs::file_size(dir / "eyeL_1.png"), 0u);
  EXPECT_GT(fs::file_size(dir / "eyeR_1.png"), 0u);
  // The eyes' views differ by their separation (and their frusta) only.
  EXPECT_NEAR(seen[0].x - seen[1].x, expected[0].x - expected[1].x, 1.f);
  EXPECT_GT(std::fabs(seen[0].x - seen[1].x), 5.f);
  EXPECT_NEAR(seen[0].y, seen[1].y, 0.5f);
}

}  // namespace
