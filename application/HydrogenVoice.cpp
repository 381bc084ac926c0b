#include "HydrogenVoice.hpp"

#include <exception>

#include "core/vl_File.hpp"
#include "ui/vl_PresetFile.hpp"

HydrogenVoice::HydrogenVoice() {
  setNumOutChannels(2);
  // The second channel sits a metre behind the first.
  audioOutOffsets({vl::Vec3f(-0.4f, 0.0f, 0.0f), vl::Vec3f(0.4f, 0.0f, 1.0f)});
  SoundParameters& s = mSound.parameters();
  registerTriggerParameter(s.attackTime);
  registerTriggerParameter(s.releaseTime);
  registerTriggerParameter(mParams.presetToLoad);
  registerTriggerParameter(mParams.sequenceToPlay);
  registerTriggerParameter(s.pitchShift);
  registerTriggerParameter(mParams.seqTimeScale);
  registerTriggerParameter(s.gain);
  registerParameter(mParams.env);
  mSequencer << mPresets;
}

HydrogenVoice::~HydrogenVoice() {
  // The sequencer's steps reach the handler and the atom; stop it while both are here.
  mSequencer.stopSequence();
}

void HydrogenVoice::init() {
  mAtom.init();
  mVisual.init();
  for (vl::ParameterMeta* p : mAtom.parameters().parameters()) {
    // A preset holds values; "ForceReset" is an action, not a value.
    if (!dynamic_cast<vl::Trigger*>(p)) mPresets << *p;
  }
  for (vl::ParameterMeta* p : mVisual.parameters().parameters()) mPresets << *p;
  mPresets << mSound.parameters().pitch << mSound.parameters().curvatureCompensation;
  for (vl::ParameterMeta* p : mParams.resonanceParameters()) mPresets << *p;
  mSequencer << mAtom.parameters().resetOnLoad;
  mPresets.registerRecallNameCallback([this](const std::string& name, float) { onRecalled(name); });
}

void HydrogenVoice::recallPreset(const std::string& name) {
  const size_t slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : name.substr(0, slash);
  const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
  {
    std::lock_guard<std::mutex> lock(mRecallLock);
    mRecallFolder = folder;
  }
  if (folder.empty()) {
    mPresets.recallPreset(file);
  } else {
    mPresets.recallPresetFrom(folder, file);
  }
  std::lock_guard<std::mutex> lock(mRecallLock);
  mRecallFolder.clear();
}

void HydrogenVoice::onRecalled(const std::string& name) {
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(mRecallLock);
    folder = mRecallFolder;
  }
  const std::string path = mPresets.getCurrentPath() +
                           (folder.empty() ? "" : vl::File::conformDirectory(folder)) + name +
                           ".preset";
  Recalled r;
  r.pending = true;
  try {
    const vl::PresetFile::ParameterStates values = vl::PresetFile::read(path);
    r.newColors = values.count(mAtom.parameters().newColors.getFullAddress()) > 0;
    r.resonances = values.count(mParams.reson1R.getFullAddress()) > 0;
    r.drawType = values.count(mVisual.parameters().drawType.getFullAddress()) > 0;
  } catch (const std::exception&) {
    // The handler has read the same file already and reports what is wrong with it.
  }
  std::lock_guard<std::mutex> lock(mRecallLock);
  mRecalled = r;
}

void HydrogenVoice::applyRecalled() {
  Recalled r;
  {
    std::lock_guard<std::mutex> lock(mRecallLock);
    if (!mRecalled.pending) return;
    r = mRecalled;
    mRecalled.pending = false;
  }
  if (computing()) {
    if (!r.newColors) mAtom.parameters().newColors.set(1.0f);
    if (!r.resonances) mParams.resetResonances();
    if (!r.drawType) mVisual.parameters().drawType.set(0);
  }
  mAtom.presetLoaded(mParams);
}

void HydrogenVoice::applyRecallNow() {
  mPresets.morphStep(mPresets.morphStepInterval());
  applyRecalled();
}

void HydrogenVoice::onTriggerPrepare() {
  if (mStopSequence.exchange(false)) mSequencer.stopSequence();
  mParams.env.set(0.0f);
  if (computing()) {
    if (mAtom.parameters().resetSpinorOnTrigger.get() == 1.0f) mParams.resetResonances();
    mAtom.takeResonances(mParams);
    mAtom.trigger();
  }
  // Also on a voice that does not compute: its envelope must start again, or a finished
  // voice would be freed at once on every later trigger.
  mSound.reset();
  const std::string preset = mParams.presetToLoad.get();
  if (!preset.empty()) {
    mSequencer.stopSequence();
    recallPreset(preset);
  }
  const std::string sequence = mParams.sequenceToPlay.get();
  if (!sequence.empty()) {
    mAtom.parameters().forceReset.set(true);
    mSequencer.playSequence(sequence, mParams.seqTimeScale.get(), 0.0f);
  }
  mPrepared.store(true);
}

void HydrogenVoice::onTriggerOn() {
  if (!mPrepared.exchange(false)) {
    onTriggerPrepare();
    mPrepared.store(false);
  }
}

void HydrogenVoice::onTriggerOff() {
  mStopSequence.store(true);
  mSound.release();
}

void HydrogenVoice::update(double dt) {
  if (mStopSequence.exchange(false)) mSequencer.stopSequence();
  mPresets.morphStep(dt);
  applyRecalled();
  mSequencer.stepSequencer(dt);
  mAtom.step(dt);
  mVisual.step();
  mSound.updateTable(mAtom);
  if (computing()) {
    mAtom.publishResonances(mParams);
    mParams.env.set(mSound.level());
  }
  const float env = mParams.env.get();
  mVisual.level = env * env;
}

void HydrogenVoice::onProcessGraphics(vl::Graphics& g) {
  mVisual.draw(g);
}

void HydrogenVoice::onProcessAudio(vl::AudioIOData& io) {
  mSound.process(io);
  if (mSound.done()) free();
}
