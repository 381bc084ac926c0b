#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "AppParameters.hpp"
#include "AutoStopTimer.hpp"
#include "ControlPage.hpp"
#include "FrameStats.hpp"
#include "HydrogenVoice.hpp"
#include "PieceBase.hpp"
#include "TitlePanel.hpp"
#include "app/vl_TomlLoader.hpp"
#include "dsp/Biquad.hpp"
#include "graphics/vl_Font.hpp"
#include "io/vl_Nav.hpp"
#include "io/vl_NavInputControl.hpp"
#include "io/vl_PickableManager.hpp"
#include "protocol/vl_DistributedScene.hpp"
#include "protocol/vl_PresetServer.hpp"
#include "sound/vl_PolySynthVoicePool.hpp"
#include "ui/vl_PresetHandler.hpp"
#include "ui/vl_PresetSequencer.hpp"
#include "ui/vl_SequenceRecorder.hpp"
#include "ui/vl_SynthSequencer.hpp"
#include "vr/vl_OpenVRHeadset.hpp"

// ZENTHA: in static-atom mode one atom is shown and heard under a title panel and keys recall
// its presets; Start plays the coda, a synth sequence of up to 32 atoms in a spatial scene,
// and Stop (or the automatic return after the coda) comes back.
//
// Threads: everything but onSound runs on the main thread. The automatic-return timer only
// posts its Stop, which the next frame runs, so that the navigation and the scene's pose are
// only ever touched by the main thread.
class VizavevuDer : public PieceBase {
 public:
  static constexpr const char* kCoda = "ZENTHA-coda11minutesT60.synthSequence";
  static constexpr int kSceneVoices = 32;

  // The application's own navigation input: its mouse drags turn the static atom.
  class InputControl : public vl::NavInputControl {
   public:
    explicit InputControl(vl::Nav& nav) : vl::NavInputControl(nav, 0.125, 2.0) {
      mouseNavigation(true);
    }
    bool keyDown(const vl::Keyboard&) override { return true; }
    bool keyUp(const vl::Keyboard&) override { return true; }
    bool mouseDrag(const vl::Mouse& m) override;
    float angles[3] = {0.f, 180.f, 0.f};  // degrees about x, y, z
  };

  VizavevuDer();
  ~VizavevuDer() override;

  void onInit() override;
  void onCreate() override;
  void onAnimate(double dt) override;
  void onDraw(vl::Graphics& g) override;
  void onSound(vl::AudioIOData& io) override;
  void onExit() override;
  bool onKeyDown(const vl::Keyboard& k) override;
  bool onMouseDown(const vl::Mouse& m) override;
  bool onMouseUp(const vl::Mouse& m) override;
  bool onMouseDrag(const vl::Mouse& m) override;
  bool onMouseMove(const vl::Mouse& m) override;

  void startPiece();  // Start
  void stopPiece();   // Stop
  void scheduleAutoStop(double seconds);

  // Asks the main loop to end at its next frame; safe from a signal handler.
  static void requestQuit() { sQuitRequested.store(true); }

  AppParameters& appParameters() { return mParams; }
  HydrogenVoice& staticVoice() { return *mStaticVoice; }
  vl::DistributedScene& scene() { return *mScene; }
  vl::SynthSequencer& synthSequencer() { return mSynthSequencer; }
  const FrameStats& frameStats() const { return mStats; }
  // The speaker layout that onInit chose: "stereo", "ring8" or "array".
  const char* layoutName() const { return mLayoutName; }

  static const vl::Pose& startScenePose();
  static vl::Pose homeNavPose() { return vl::Pose(vl::Vec3d(0.0, 0.0, 1.5)); }

 private:
  void setUpScene();
  void setUpOutputFilters(int channels);
  void sequenceFrame(double dt);
  void sequenceFrameVR(double dt);
  // The state record: the primary fills a slot for each drawn voice, a replica shows them.
  void fillState();
  void showState();
  void drawWorld(vl::Graphics& g);
  void drawEye(vl::Graphics& g);
  void drawPanel(vl::Graphics& g);
  void takeScreenshot();
  // Before the window's context goes (the graphics domain's exit): audio stopped, GPU objects
  // deleted, the GUI and VR shut down.
  void releaseGraphics();
  void pickEvent(uint32_t kind, const vl::Mouse& m);
  void homeNavigation();
  double fpsOfGraphics();
  void readConfiguration();
  void exposeParameters();

  static std::atomic<bool> sQuitRequested;

  AppParameters mParams;
  vl::Nav mPlaceholderNav;  // until onInit binds the window's navigation
  InputControl mNavInput{mPlaceholderNav};
  std::unique_ptr<HydrogenVoice> mStaticVoice;
  std::atomic<bool> mScreenshotRequest{false};
  std::unique_ptr<vl::OpenVRHeadset> mVR;
  vl::Nav mSceneNav;
  bool mVRActive = false;
  float mMouseX = 0.f, mMouseY = 0.f;

  std::unique_ptr<vl::DistributedScene> mScene;
  double mAudioOutputLevel = 1.0;
  double mSubWooferLevel = 0.1;
  int64_t mSubWooferChannel = 47;
  vl::TomlLoader mConfig;
  vl::PresetHandler mFxPresets{"hydrogen_presets/fx"};
  vl::PresetHandler mPositionPresets{"hydrogen_presets/position"};
  vl::PresetSequencer mPresetSequencer;
  vl::PresetSequencer mFxSequencer;
  vl::SequenceRecorder mRecorder;
  std::unique_ptr<vl::PresetServer> mPresetServer;
  vl::SynthSequencer mSynthSequencer{vl::SynthSequencer::TIME_MASTER_AUDIO};
  std::unique_ptr<vl::PolySynthVoicePool> mVoicePool;
  AutoStopTimer mAutoStop;
  std::atomic<bool> mStopPosted{false};
  std::atomic<bool> mHomePosted{false};

  // Output filters: the parameters' threads post new settings, the audio block takes them.
  std::vector<std::unique_ptr<snl::Biquad<>>> mOutputFilters;
  std::atomic<float> mFilterFreq{1200.f}, mFilterRes{0.001f};
  std::atomic<int> mFilterType{2};
  std::atomic<bool> mFilterChanged{false};

  std::unique_ptr<vl::Font> mFont;
  vl::PickableManager mPickables;
  TitlePanel mTitle;
  FrameStats mStats;
  uint64_t mFrameCount = 0;
  const char* mLayoutName = "stereo";
  bool mGraphicsReleased = false;
  // The OSCQuery server and the control page; after the members whose state the page reads.
  std::unique_ptr<ControlPage> mControlPage;
};
