// VizavevuDer's set-up, its two modes' switches and its input hooks.
#include <sstream>
#include <stdexcept>

#include "HostProfiles.hpp"
#include "KeyNotes.hpp"
#include "PitchMaps.hpp"
#include "VizavevuDer.hpp"
#include "core/vl_Console.hpp"
#include "graphics/vl_FontPath.hpp"
#include "sound/vl_Lbap.hpp"
#include "sound/vl_SpeakerLayout.hpp"
#include "sound/vl_StereoPanner.hpp"

void VizavevuDer::onInit() {
  // 1. The mode flags.
  mFrameCount = 0;
  mParams.showStaticAtom.set(1.0f);
  mParams.keyboardMode.set(0);
  mParams.keyboardMode.reset();

  // 2, 3. The title panel and its font.
  mFont = std::make_unique<vl::Font>();
  if (!mFont->load(vl::defaultFontPath(), 128.f, 1024)) {
    vl::printError("ERROR: no font for the title panel; its texts are not shown\n");
  }
  mTitle.registerWith(mPickables, [this] { startPiece(); });

  // 4, 5. The host's configuration.
  readConfiguration();
  vl::AudioIO& io = audioDomain()->audioIO();
  if (mSubWooferChannel >= io.channelsOut()) {
    vl::printError("ERROR: Subwoofer channel > output channels! subwoofer ignored.\n");
  }

  // 6. Navigation: the application's own input turns the atom and takes the keys' place.
  mNavInput.nav(nav());
  defaultWindow().append(mNavInput);
  nav().set(homeNavPose());
  nav().setHome();

  // 7. The preset server, over the parameter server.
  HydrogenVoice& v = *mStaticVoice;
  mPresetServer = std::make_unique<vl::PresetServer>(oscDomain()->parameterServer());
  *mPresetServer << v.presets();
  v.presets().morphTimeParameter().registerChangeCallback([this](float seconds) {
    if (mPresetServer) mPresetServer->notifyListeners("/morphTime", seconds);
  });

  // 8. What the presets, sequencers and recorder hold.
  mFxPresets << v.sound().parameters().gain << v.visual().parameters().howTranslucent;
  mPresetSequencer << v.presets();
  mFxSequencer << mFxPresets;
  mRecorder << v.presets();
  mRecorder << v.atom().parameters().resetOnLoad << v.atom().parameters().resetSpinorOnTrigger;
  mPositionPresets << v.parameterPose() << v.parameterSize();
  for (vl::ParameterMeta* p : mParams.positionPresetParameters()) mPositionPresets << *p;
  mParams.storePitch.registerChangeCallback([this](float on) {
    mStaticVoice->presets().skipParameter(mStaticVoice->sound().parameters().pitch.getFullAddress(),
                                          on == 0.0f);
  });
  mParams.storeStartState.registerChangeCallback([this](float on) {
    for (vl::ParameterMeta* p : mStaticVoice->parameters().resonanceParameters()) {
      mStaticVoice->presets().skipParameter(p->getFullAddress(), on == 0.0f);
    }
  });
  mParams.storePose.registerChangeCallback([this](float on) {
    mPositionPresets.skipParameter(mStaticVoice->parameterPose().getFullAddress(), on == 0.0f);
    mPositionPresets.skipParameter(mStaticVoice->parameterSize().getFullAddress(), on == 0.0f);
  });
  mParams.setOrientationTarget(&v.parameterPose());
  mParams.defaultPresets.registerChangeCallback([this](int32_t index) {
    const auto& names = AppParameters::defaultPresetNames();
    if (index >= 0 && size_t(index) < names.size()) {
      mStaticVoice->recallPreset("defaults/" + names[size_t(index)]);
    }
  });
  mParams.goToHome.registerChangeCallback([this](bool) { mHomePosted.store(true); });
  mParams.screenshot.registerChangeCallback([this](bool) { mScreenshotRequest.store(true); });
  mParams.makePitchMap.registerChangeCallback([this](bool) {
    const std::string map = PitchMaps::buildQuarterTones(mStaticVoice->presets(),
                                                         mStaticVoice->sound().parameters().pitch);
    vl::print("Pitch map written: %s\n", map.c_str());
  });
  mParams.makePitchMapChromatic.registerChangeCallback([this](bool) {
    const std::string map = PitchMaps::buildChromatic(mStaticVoice->presets(),
                                                      mStaticVoice->sound().parameters().pitch);
    vl::print("Pitch map written: %s\n", map.c_str());
  });

  // 9. What the parameter server offers.
  exposeParameters();

  // 10. The scene.
  setUpScene();

  // 11. Menus.
  mParams.keyboardMode.setElements(AppParameters::keyboardModeNames());
  mParams.defaultPresets.setElements(AppParameters::defaultPresetNames());
  mParams.filterType.setElements(AppParameters::filterTypeNames());

  // 12. Output stage.
  navControl().active(false);
  setUpOutputFilters(io.channelsOut());
  io.gain(float(mAudioOutputLevel));

  // 13. The OSCQuery server and the control page.
  mControlPage = std::make_unique<ControlPage>(*this, oscDomain()->parameterServer());
  mControlPage->start(mConfig);

  // Releases what lives on the GPU while the window's context is still there.
  graphicsDomain()->onExit = [this] { releaseGraphics(); };
}

void VizavevuDer::readConfiguration() {
  const std::string file = currentHostName() + ".toml";
  try {
    mConfig.setFile(file);
  } catch (const std::exception& e) {
    vl::printError("ERROR: configuration %s: %s; defaults used\n", file.c_str(), e.what());
    return;
  }
  bool missing = false;
  auto read = [&](const char* key, auto& value) {
    using T = std::decay_t<decltype(value)>;
    try {
      value = mConfig.get<T>(key);
    } catch (const std::runtime_error&) {
      mConfig.set(key, value);
      missing = true;
    }
  };
  read("audioOutputLevel", mAudioOutputLevel);
  read("subWooferLevel", mSubWooferLevel);
  read("subWooferChannel", mSubWooferChannel);
  if (missing) mConfig.writeFile();
}

void VizavevuDer::exposeParameters() {
  vl::ParameterServer& server = oscDomain()->parameterServer();
  HydrogenVoice& v = *mStaticVoice;
  for (vl::ParameterMeta* p : v.atom().parameters().parameters()) server << *p;
  for (vl::ParameterMeta* p : v.visual().parameters().parameters()) server << *p;
  for (vl::ParameterMeta* p : v.sound().parameters().parameters()) server << *p;
  server << mParams.showPositionMarker << v.parameterPose() << v.parameterSize();
  for (vl::ParameterMeta* p : mParams.positionPresetParameters()) server << *p;
  server << mParams.showStaticAtom << v.atom().parameters().resetOnLoad
         << v.atom().parameters().resetSpinorOnTrigger;
  server << mParams.highShelfFreq << mParams.highShelfRes << mParams.filterType
         << mParams.useShelfFilters;
  // Beyond the panel's own: an installation switches its automatic return from afar.
  server << mParams.startDrone;
}

void VizavevuDer::setUpScene() {
  mScene = std::make_unique<vl::DistributedScene>("hydrogen", 6, vl::TIME_MASTER_CPU);
  const int outputs = audioDomain()->audioIO().channelsOut();
  std::shared_ptr<vl::Spatializer> panner;
  if (outputs == 2 || outputs == 6) {
    panner = mScene->setSpatializer<vl::StereoPanner>(vl::StereoSpeakerLayout(0, 30.f, 1.f, 1.f));
    mLayoutName = "stereo";
  } else if (outputs >= 13) {
    panner = mScene->setSpatializer<vl::Lbap>(vl::ThreeRingSpeakerLayout());
    mLayoutName = "array";
  } else {
    panner = mScene->setSpatializer<vl::Lbap>(vl::EightSpeakerRingLayout());
    mLayoutName = "ring8";
  }
  std::ostringstream description;
  panner->print(description);
  vl::print("Scene layout %s for %d output channels\n%s", mLayoutName, outputs,
            description.str().c_str());
  mScene->listenerPose(vl::Pose(vl::Vec3d(0.0, 0.0, 4.0)));

  mScene->registerSynthClass<HydrogenVoice>("HydrogenVoice");
  const bool computes = !isReplica();
  mScene->registerAllocateCallback([computes](vl::SynthVoice* voice, void*) {
    if (auto* h = dynamic_cast<HydrogenVoice*>(voice)) h->computing(computes);
  });
  mScene->allocatePolyphony("HydrogenVoice", kSceneVoices);
  mScene->disableAllocation("HydrogenVoice");
  mScene->prepare(audioDomain()->audioIO());
  oscDomain()->parameterServer().addConsumer(mScene.get());
  // The primary's voices start, stop and end on the other instances too.
  if (!isReplica()) mScene->setDestination(oscDomain()->parameterServer());

  mVoicePool = std::make_unique<vl::PolySynthVoicePool>(*mScene);
  mSynthSequencer.setVoicePool(*mVoicePool);
  mSynthSequencer.registerEndCallback([this](vl::SynthSequencer*) {
    vl::print("sequence done\n");
    scheduleAutoStop(12.0);
  });
}

void VizavevuDer::setUpOutputFilters(int channels) {
  mOutputFilters.clear();
  for (int c = 0; c < channels; ++c) {
    mOutputFilters.push_back(std::make_unique<snl::Biquad<>>(snl::FilterType(2), 1200.f, 0.001f));
  }
  mParams.onOutputFilterFrequency = [this](float hz) {
    mFilterFreq.store(hz);
    mFilterChanged.store(true);
  };
  mParams.onOutputFilterResonance = [this](float res) {
    mFilterRes.store(res);
    mFilterChanged.store(true);
  };
  mParams.onOutputFilterType = [this](int type) {
    if (type < 0 || type > 8) return;
    mFilterType.store(type);
    mFilterChanged.store(true);
  };
}

void VizavevuDer::startPiece() {
  mAutoStop.stop();
  mParams.showStaticAtom.set(0.0f);
  if (!mScene || mSynthSequencer.playing()) return;
  // Voices of the last performance may hold its presets' state; the coda gets fresh ones.
  while (vl::SynthVoice* old = mScene->getFreeVoice()) delete old;
  mScene->allocatePolyphony("HydrogenVoice", kSceneVoices);
  if (!mSynthSequencer.playSequence(kCoda, -1.0f)) {
    vl::printError("ERROR: cannot play the synth sequence \"%s\"; back to the static atom\n",
                   kCoda);
    stopPiece();
    return;
  }
  mSceneNav.set(startScenePose());
}

void VizavevuDer::stopPiece() {
  mSynthSequencer.stopSequence();
  homeNavigation();
  mSceneNav.set(vl::Pose(vl::Vec3d(0.0, 1.5, -0.5)));
  mParams.showStaticAtom.set(1.0f);
}

void VizavevuDer::homeNavigation() {
  nav().set(homeNavPose());
}

void VizavevuDer::scheduleAutoStop(double seconds) {
  if (mParams.startDrone.get() != 1.0f) return;
  double phase = 1.0 - seconds / 30.0;
  if (phase >= 1.0) phase = 0.0;
  mAutoStop.start([this] { mStopPosted.store(true); }, 30000000000ull, 100000000ull, phase);
}

bool VizavevuDer::onKeyDown(const vl::Keyboard& k) {
  if (k.ctrl()) return true;  // the framework's own keys
  switch (k.key()) {
    case vl::Keyboard::ENTER:
      startPiece();
      return false;
    case vl::Keyboard::BACKSPACE:
      stopPiece();
      return false;
    case ' ':
      homeNavigation();
      return false;
    default:
      if (mParams.showStaticAtom.get() == 1.0f) {
        mStaticVoice->presets().recallPreset(presetNumberForKey(k.key()));
      }
      return true;
  }
}

void VizavevuDer::pickEvent(uint32_t kind, const vl::Mouse& m) {
  vl::Window& w = defaultWindow();
  vl::PickEvent e;
  e.kind = kind;
  e.ray = vl::PickableManager::pickRay(m.x(), m.y(), w.width(), w.height(),
                                       view().projMatrix(float(w.aspect())), view().viewMatrix());
  mPickables.event(e);
}

bool VizavevuDer::onMouseDown(const vl::Mouse& m) {
  vl::Window& w = defaultWindow();
  mMouseX = 2.f * float(m.x()) / float(w.width()) - 1.f;
  mMouseY = 2.f * float(w.height() - m.y()) / float(w.height()) - 1.f;
  pickEvent(vl::PICK, m);
  return true;
}

bool VizavevuDer::onMouseDrag(const vl::Mouse& m) {
  vl::Window& w = defaultWindow();
  mPickables.drag(vl::PickableManager::pickRay(m.x(), m.y(), w.width(), w.height(),
                                               view().projMatrix(float(w.aspect())),
                                               view().viewMatrix()));
  const float x = 2.f * float(m.x()) / float(w.width()) - 1.f;
  const float y = 2.f * float(w.height() - m.y()) / float(w.height()) - 1.f;
  mParams.mx.set(0.01f * (x - mMouseX));
  mParams.mz.set(0.01f * (y - mMouseY));
  return true;
}

bool VizavevuDer::onMouseUp(const vl::Mouse& m) {
  pickEvent(vl::UNPICK, m);
  mParams.mx.set(0.0f);
  mParams.mz.set(0.0f);
  return true;
}

bool VizavevuDer::onMouseMove(const vl::Mouse& m) {
  pickEvent(vl::POINT, m);
  return true;
}
